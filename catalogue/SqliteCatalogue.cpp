#include "SqliteCatalogue.h"

#include "AddTally.h"
#include "CallScope.h"
#include "CatalogueMessages.h"
#include "FindSql.h"
#include "MediaRules.h"
#include "NameKey.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

// Marks a file as this program's catalogue ("CtLg").
constexpr int kApplicationId = 0x43744c67;

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtFinalizer {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};

class Sqlite;

// The inode numbers of `path` and of its shared-memory file, where SQLite keeps its locks.
std::vector<ino_t> LockFiles(const std::string& path) {
    std::vector<ino_t> inodes;
    for (const auto& file : {path, path + "-shm"}) {
        struct stat st;
        if (::stat(file.c_str(), &st) == 0)
            inodes.push_back(st.st_ino);
    }
    return inodes;
}

// Another process that holds a lock on the catalogue file at `path`, from /proc/locks
// ("1: POSIX  ADVISORY  WRITE 4242 08:01:1234 120 120"), as "process PID (NAME)".
std::string LockHolderOf(const std::string& path) {
    const auto inodes = LockFiles(path);
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, file;
        if (!(fields >> number >> kind >> mode >> access >> pid >> file) ||
            pid == std::to_string(::getpid()))
            continue;
        const auto inode = static_cast<ino_t>(
            std::strtoull(file.substr(file.rfind(':') + 1).c_str(), nullptr, 10));
        if (std::find(inodes.begin(), inodes.end(), inode) == inodes.end())
            continue;
        std::ifstream comm("/proc/" + pid + "/comm");
        std::string name;
        std::getline(comm, name);
        return "process " + pid + (name.empty() ? "" : " (" + name + ")");
    }
    return "another program";
}

// A prepared statement, reset for reuse by Bind.
class Statement {
public:
    Statement(Sqlite& db, const std::string& sql);

    Statement& Bind(const std::vector<SqlValue>& values);
    Statement& Bind(int index, const SqlValue& value);
    // True while there is a row.
    bool Step();
    void Run() {
        while (Step()) {
        }
    }
    std::int64_t Int(int column) const { return sqlite3_column_int64(m_stmt.get(), column); }
    std::string Text(int column) const {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(m_stmt.get(), column));
        return data ? std::string(data, sqlite3_column_bytes(m_stmt.get(), column)) : std::string();
    }

private:
    int ParameterIndex(std::size_t i);

    Sqlite& m_db;
    std::unique_ptr<sqlite3_stmt, StmtFinalizer> m_stmt;
    std::vector<int> m_indexes;
};

class Sqlite {
public:
    // `path` names the file in messages; SQLite opens `name` (the path, or a URI of it).
    Sqlite(const std::string& path, const std::string& name, int flags) : m_path(path) {
        sqlite3* db = nullptr;
        const int rc = sqlite3_open_v2(name.c_str(), &db, flags, nullptr);
        m_db.reset(db);
        Check(rc);
        sqlite3_extended_result_codes(db, 1);
    }

    sqlite3* Get() const { return m_db.get(); }

    // Safe from any thread: the statement running now, or the next one, fails.
    void Interrupt() {
        m_interrupted = true;
        sqlite3_interrupt(m_db.get());
    }
    // A call has ended: an interruption that came too late for it is forgotten.
    void EndCall() { m_interrupted = false; }
    bool Interrupted() const { return m_interrupted; }

    void SetWaits(CatalogueWaits waits) { m_waits = std::move(waits); }

    // Called again and again while another program holds the lock; false to stop waiting.
    std::string LockHolder() const { return LockHolderOf(m_path); }

    bool WaitForLock(int count) {
        if (m_interrupted)
            return false;
        const auto now = std::chrono::steady_clock::now();
        if (count == 0) {
            m_waitStart = now;
            m_noted = false;
        }
        const auto waited = now - m_waitStart;
        if (!m_noted && m_waits.note && waited >= m_waits.noteAfter) {
            m_noted = true;
            m_waits.note("Waiting for the catalogue " + m_path + ", which " + LockHolder() +
                         " is writing...");
        }
        if (m_waits.giveUpAfter && waited >= *m_waits.giveUpAfter) {
            m_gaveUp = true;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return true;
    }

    void Exec(const std::string& sql) {
        Check(sqlite3_exec(m_db.get(), sql.c_str(), nullptr, nullptr, nullptr));
    }

    std::int64_t Number(const std::string& sql) {
        Statement s(*this, sql);
        return s.Step() ? s.Int(0) : 0;
    }

    void Check(int rc) const {
        if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE)
            return;
        const int primary = rc & 0xff;
        if (primary == SQLITE_BUSY && std::exchange(m_gaveUp, false))
            throw CatalogueGaveUp("Gave up waiting for the catalogue " + m_path + " after " +
                                  std::to_string(m_waits.giveUpAfter->count() / 1000) +
                                  " s: another program is writing it.");
        // A wait for a lock that was interrupted ends as "busy".
        // The interruption is delivered: what the caller does next (a rollback) runs as usual.
        if (m_interrupted.exchange(false) || primary == SQLITE_INTERRUPT)
            throw CatalogueInterrupted("The catalogue " + m_path + " was left as it was: stopped.");
        if (primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT)
            throw CatalogueError("The catalogue " + m_path + " is damaged; it is left as it is.");
        const char* detail = m_db ? sqlite3_errmsg(m_db.get()) : sqlite3_errstr(rc);
        throw CatalogueError("The catalogue " + m_path + " cannot be used: " + detail);
    }

private:
    std::string m_path;
    std::unique_ptr<sqlite3, DbCloser> m_db;
    mutable std::atomic<bool> m_interrupted = false;
    CatalogueWaits m_waits;
    std::chrono::steady_clock::time_point m_waitStart;
    bool m_noted = false;
    mutable bool m_gaveUp = false;
};

using Call = CallScope<Sqlite>;

Statement::Statement(Sqlite& db, const std::string& sql) : m_db(db) {
    sqlite3_stmt* stmt = nullptr;
    const int rc =
        sqlite3_prepare_v3(db.Get(), sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    m_stmt.reset(stmt);
    db.Check(rc);
}

Statement& Statement::Bind(const std::vector<SqlValue>& values) {
    sqlite3_reset(m_stmt.get());
    for (std::size_t i = 0; i < values.size(); ++i)
        Bind(ParameterIndex(i), values[i]);
    return *this;
}

// Parameter $N by its position in the statement, looked up once.
int Statement::ParameterIndex(std::size_t i) {
    while (m_indexes.size() <= i)
        m_indexes.push_back(sqlite3_bind_parameter_index(
            m_stmt.get(), ("$" + std::to_string(m_indexes.size() + 1)).c_str()));
    return m_indexes[i];
}

Statement& Statement::Bind(int index, const SqlValue& value) {
    sqlite3_stmt* s = m_stmt.get();
    int rc = SQLITE_OK;
    if (std::holds_alternative<std::monostate>(value))
        rc = sqlite3_bind_null(s, index);
    else if (const auto* number = std::get_if<std::int64_t>(&value))
        rc = sqlite3_bind_int64(s, index, *number);
    else if (const auto* text = std::get_if<std::string>(&value))
        rc = sqlite3_bind_text(s, index, text->data(), static_cast<int>(text->size()),
                               SQLITE_TRANSIENT);
    else {
        const auto& bytes = std::get<SqlBytes>(value).bytes;
        rc = sqlite3_bind_blob(s, index, bytes.data(), static_cast<int>(bytes.size()),
                               SQLITE_TRANSIENT);
    }
    m_db.Check(rc);
    return *this;
}

bool Statement::Step() {
    // SQLite forgets an interruption that comes between two statements of a call.
    const int rc = m_db.Interrupted() ? SQLITE_INTERRUPT : sqlite3_step(m_stmt.get());
    m_db.Check(rc);
    return rc == SQLITE_ROW;
}

// catalogue_glob(patternKey, key): whether a name's key matches a glob pattern. The key is a
// text, or a name (bytes) that is its own key: both are read as bytes, never converted.
void GlobFunction(sqlite3_context* context, int, sqlite3_value** args) {
    const auto text = [](sqlite3_value* v) {
        const auto* bytes = static_cast<const char*>(sqlite3_value_blob(v));
        return std::string_view(bytes ? bytes : "",
                                static_cast<std::size_t>(sqlite3_value_bytes(v)));
    };
    sqlite3_result_int(context, GlobMatches(text(args[0]), text(args[1])) ? 1 : 0);
}

// Names are bytes (BLOB); the key is the name's search form (TEXT) that the trigram index
// holds, NULL when it equals the name (as for most names). Folder paths below the listed folder end
// with "/" (the listed folder's is empty), so that a folder's path followed by a name is the
// entry's path.
// A medium's volume_path is the listed folder's path within its volume, empty when unknown.
const char* const kSchema = R"(
CREATE TABLE media(
    id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE, folder BLOB NOT NULL,
    label TEXT NOT NULL, uuid TEXT NOT NULL, fstype TEXT NOT NULL, added INTEGER NOT NULL,
    files INTEGER NOT NULL, folders INTEGER NOT NULL, bytes INTEGER NOT NULL,
    volume_path BLOB NOT NULL DEFAULT x'');
CREATE TABLE folders(
    id INTEGER PRIMARY KEY, medium INTEGER NOT NULL REFERENCES media(id), path BLOB NOT NULL);
CREATE INDEX folders_medium ON folders(medium);
CREATE TABLE entries(
    id INTEGER PRIMARY KEY, medium INTEGER NOT NULL REFERENCES media(id),
    parent INTEGER NOT NULL REFERENCES folders(id), name BLOB NOT NULL, key TEXT,
    size INTEGER NOT NULL, modified INTEGER NOT NULL, attributes INTEGER NOT NULL);
CREATE INDEX entries_medium ON entries(medium);
CREATE VIRTUAL TABLE entry_names USING fts5(
    key, content='', columnsize=0, detail=none, tokenize='trigram case_sensitive 1');
)";

class SqliteAdd;

class SqliteCatalogue final : public ICatalogue {
public:
    SqliteCatalogue(const std::string& path, SqliteAccess access)
        : m_db(path, NameToOpen(path, access), FlagsFor(access)), m_access(access) {
        sqlite3_busy_handler(m_db.Get(), &SqliteCatalogue::WaitForLock, &m_db);
        CheckVersion();
        if (access != SqliteAccess::Read)
            m_db.Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
        // A page cache of 16 MiB for searches, whose pages the system caches too; an add, which
        // writes the name index all over, raises it to 64 MiB.
        m_db.Exec("PRAGMA foreign_keys=OFF; PRAGMA cache_size=-16384; PRAGMA temp_store=MEMORY");
        sqlite3_create_function(m_db.Get(), "catalogue_glob", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                nullptr, GlobFunction, nullptr, nullptr);
        if (access != SqliteAccess::Read)
            CreateSchema();
    }

    void Interrupt() override { m_db.Interrupt(); }
    void SetWaits(CatalogueWaits waits) override { m_db.SetWaits(std::move(waits)); }

    std::vector<Medium> Media() override {
        const Call call(m_db);
        Statement s(m_db, "SELECT name, folder, label, uuid, fstype, added, files, folders, "
                          "bytes FROM media ORDER BY name");
        std::vector<Medium> media;
        while (s.Step())
            media.push_back({s.Text(0),
                             s.Text(1),
                             {s.Text(2), s.Text(3), s.Text(4), {}},
                             s.Int(5),
                             s.Int(6),
                             s.Int(7),
                             static_cast<std::uint64_t>(s.Int(8))});
        return media;
    }

    std::vector<std::string> Conflicts(const std::string& name, const VolumeInfo& volume) override {
        const Call call(m_db);
        return FindConflicts(name, volume);
    }

    // Conflicts, within a call under way.
    std::vector<std::string> FindConflicts(const std::string& name, const VolumeInfo& volume) {
        Statement s(m_db,
                    "SELECT name, uuid, volume_path FROM media WHERE name = $1 OR (uuid <> '' AND "
                    "uuid = $2)"
                    " ORDER BY name");
        s.Bind({name, volume.uuid});
        std::vector<std::string> names;
        while (s.Step())
            if (s.Text(0) == name || SameFolder({{}, s.Text(1), {}, s.Text(2)}, volume))
                names.push_back(s.Text(0));
        return names;
    }

    std::unique_ptr<ICatalogueAdd> BeginAdd(const Medium& medium, bool replace) override;

    void Find(const FindQuery& query,
              const std::function<bool(const CatalogueMatch&)>& each) override {
        const Call call(m_db);
        const SqlStatement sql = FindStatement(query, SqlDialect::Sqlite, false);
        Statement s(m_db, sql.text);
        s.Bind(sql.params);
        while (s.Step()) {
            const CatalogueMatch match{s.Text(0), MatchPath(s.Text(1), s.Text(2), s.Text(3)),
                                       static_cast<std::uint64_t>(s.Int(4)), s.Int(5),
                                       static_cast<std::uint32_t>(s.Int(6))};
            if (!each(match))
                return;
        }
    }

    std::size_t Count(const FindQuery& query) override {
        const Call call(m_db);
        const SqlStatement sql = FindStatement(query, SqlDialect::Sqlite, true);
        Statement s(m_db, sql.text);
        s.Bind(sql.params);
        return s.Step() ? static_cast<std::size_t>(s.Int(0)) : 0;
    }

    std::string ExplainFind(const FindQuery& query) override {
        const Call call(m_db);
        const SqlStatement sql = FindStatement(query, SqlDialect::Sqlite, false);
        Statement s(m_db, "EXPLAIN QUERY PLAN " + sql.text);
        s.Bind(sql.params);
        std::string plan;
        while (s.Step())
            plan += s.Text(3) + '\n';
        return plan;
    }

    bool Forget(const std::string& name) override {
        const Call call(m_db);
        Transaction transaction(m_db);
        const bool found = RemoveMedium(name);
        transaction.Commit();
        return found;
    }

    bool Rename(const std::string& name, const std::string& newName) override {
        const Call call(m_db);
        Transaction transaction(m_db);
        RefuseTakenName(*this, name, newName);
        Statement s(m_db, "UPDATE media SET name = $1 WHERE name = $2");
        s.Bind({newName, name}).Run();
        const bool found = sqlite3_changes(m_db.Get()) > 0;
        transaction.Commit();
        return found;
    }

    // Removes the medium and everything catalogued under it; false when there is none.
    bool RemoveMedium(const std::string& name) {
        Statement find(m_db, "SELECT id FROM media WHERE name = $1");
        if (!find.Bind({name}).Step())
            return false;
        const std::int64_t id = find.Int(0);
        // A contentless index forgets a row when told the very key it was given.
        Statement(m_db, "INSERT INTO entry_names(entry_names, rowid, key) "
                        "SELECT 'delete', id, coalesce(key, name) FROM entries WHERE medium = $1")
            .Bind({id})
            .Run();
        for (const char* table : {"entries WHERE medium", "folders WHERE medium", "media WHERE id"})
            Statement(m_db, std::string("DELETE FROM ") + table + " = $1").Bind({id}).Run();
        return true;
    }

    Sqlite& Db() { return m_db; }

    // BEGIN IMMEDIATE ... COMMIT; rolled back when dropped before Commit.
    class Transaction {
    public:
        explicit Transaction(Sqlite& db) : m_db(db) { m_db.Exec("BEGIN IMMEDIATE"); }
        ~Transaction() {
            if (!m_done)
                sqlite3_exec(m_db.Get(), "ROLLBACK", nullptr, nullptr, nullptr);
        }
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        void Commit() {
            m_db.Exec("COMMIT");
            m_done = true;
        }

    private:
        Sqlite& m_db;
        bool m_done = false;
    };

private:
    // Another program holds the write lock while it adds a medium: wait for it, until the
    // call is interrupted.
    static int WaitForLock(void* db, int count) {
        return static_cast<Sqlite*>(db)->WaitForLock(count) ? 1 : 0;
    }

    // Nothing is written before the version is known: a newer catalogue stays as it is.
    void CheckVersion() {
        const std::int64_t version = m_db.Number("PRAGMA user_version");
        const std::int64_t application = m_db.Number("PRAGMA application_id");
        const std::int64_t tables = m_db.Number("SELECT count(*) FROM sqlite_schema");
        if (version > kCatalogueSchemaVersion)
            throw CatalogueError(NewerSchemaMessage(LocationForMessages(DbPath())));
        if (tables > 0 && (application != kApplicationId || version == 0))
            throw CatalogueError("The file " + DbPath() +
                                 " is not a catalogue of this program; it is left as it is.");
        if (tables == 0 && m_access != SqliteAccess::Create)
            throw NoCatalogueError("There is no catalogue at " + DbPath() + ".");
    }

    static int FlagsFor(SqliteAccess access) {
        switch (access) {
        case SqliteAccess::Read:
            return SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX;
        case SqliteAccess::Write:
            return SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
        case SqliteAccess::Create:
            break;
        }
        return SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    }

    // A file that cannot be written is read through a URI. When its journal has been merged
    // into it and its folder cannot be written either (read-only storage), SQLite could not
    // make the shared-memory file it reads with: it is told that the file does not change.
    static std::string NameToOpen(const std::string& path, SqliteAccess access) {
        if (access != SqliteAccess::Read)
            return path;
        const auto absolute = std::filesystem::absolute(path);
        std::string uri = "file:";
        for (const unsigned char c : absolute.string()) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            if (std::isalnum(c) || c == '/' || c == '.' || c == '-' || c == '_' || c == '~') {
                uri += static_cast<char>(c);
            } else {
                uri += '%';
                uri += kHex[c >> 4];
                uri += kHex[c & 0xF];
            }
        }
        std::error_code ec;
        const bool journal = std::filesystem::exists(absolute.string() + "-wal", ec);
        if (!journal && ::access(absolute.parent_path().c_str(), W_OK) != 0)
            uri += "?immutable=1";
        return uri;
    }

    // Only a new or an older catalogue takes the write lock, so that opening never waits for an
    // add. An older one is brought up to date in place, in one transaction; its version then
    // keeps the programs that wrote it from changing it.
    void CreateSchema() {
        if (m_db.Number("PRAGMA user_version") == kCatalogueSchemaVersion)
            return;
        Transaction transaction(m_db);
        const std::int64_t version = m_db.Number("PRAGMA user_version");
        if (version == 0)
            m_db.Exec(kSchema);
        if (version == 1)
            m_db.Exec("ALTER TABLE media ADD COLUMN volume_path BLOB NOT NULL DEFAULT x''");
        m_db.Exec("PRAGMA application_id=" + std::to_string(kApplicationId) +
                  "; PRAGMA user_version=" + std::to_string(kCatalogueSchemaVersion));
        transaction.Commit();
    }

    std::string DbPath() const {
        const char* name = sqlite3_db_filename(m_db.Get(), "main");
        return name ? name : "";
    }

    Sqlite m_db;
    SqliteAccess m_access;
};

class SqliteAdd final : public ICatalogueAdd {
public:
    SqliteAdd(SqliteCatalogue& catalogue, const Medium& medium, bool replace)
        : m_db(catalogue.Db()), m_transaction(m_db),
          m_insertFolder(m_db, "INSERT INTO folders(medium, path) VALUES ($1, $2)"),
          m_insertEntry(m_db, "INSERT INTO entries(medium, parent, name, key, size, modified, "
                              "attributes) VALUES ($1, $2, $3, $4, $5, $6, $7)"),
          m_insertKey(m_db, "INSERT INTO entry_names(rowid, key) VALUES ($1, $2)") {
        m_db.Exec("PRAGMA cache_size=-65536");
        RemoveConflictingMedia(catalogue, medium, replace);
        Statement(m_db, "INSERT INTO media(name, folder, label, uuid, fstype, added, files, "
                        "folders, bytes, volume_path) VALUES ($1, $2, $3, $4, $5, $6, 0, 0, 0, $7)")
            .Bind({medium.name, SqlBytes{medium.folder}, medium.volume.label, medium.volume.uuid,
                   medium.volume.fsType, medium.added, SqlBytes{medium.volume.path}})
            .Run();
        m_medium = sqlite3_last_insert_rowid(m_db.Get());
    }

    void AddFolder(std::string_view relativePath,
                   const std::vector<RecordedEntry>& entries) override {
        std::string path(relativePath);
        if (!path.empty())
            path += '/';
        m_insertFolder.Bind({m_medium, SqlBytes{path}}).Run();
        const std::int64_t folder = sqlite3_last_insert_rowid(m_db.Get());
        std::vector<std::int64_t> ids;
        ids.reserve(entries.size());
        for (const auto& entry : entries)
            ids.push_back(Insert(folder, entry));
        m_tally.AddFolder(relativePath, entries, ids);
    }

    void Commit() override {
        const Call call(m_db);
        Statement setSize(m_db, "UPDATE entries SET size = $1 WHERE id = $2");
        for (const auto& [id, size] : m_tally.FolderSizes())
            setSize.Bind({static_cast<std::int64_t>(size), id}).Run();
        Statement(m_db, "UPDATE media SET files = $1, folders = $2, bytes = $3 WHERE id = $4")
            .Bind({m_tally.files, m_tally.folders, static_cast<std::int64_t>(m_tally.bytes),
                   m_medium})
            .Run();
        m_transaction.Commit();
    }

private:
    std::int64_t Insert(std::int64_t folder, const RecordedEntry& entry) {
        std::string key = SearchKey(entry.name);
        const SqlValue storedKey = key == entry.name ? SqlValue() : SqlValue(key);
        m_insertEntry
            .Bind({m_medium, folder, SqlBytes{entry.name}, storedKey,
                   static_cast<std::int64_t>(entry.size), entry.modified,
                   static_cast<std::int64_t>(entry.attributes)})
            .Run();
        const std::int64_t id = sqlite3_last_insert_rowid(m_db.Get());
        m_insertKey.Bind({id, std::move(key)}).Run();
        return id;
    }

    Sqlite& m_db;
    SqliteCatalogue::Transaction m_transaction;
    Statement m_insertFolder;
    Statement m_insertEntry;
    Statement m_insertKey;
    std::int64_t m_medium = 0;
    AddTally m_tally;
};

std::unique_ptr<ICatalogueAdd> SqliteCatalogue::BeginAdd(const Medium& medium, bool replace) {
    const Call call(m_db);
    return std::make_unique<SqliteAdd>(*this, medium, replace);
}

} // namespace

std::unique_ptr<ICatalogue> OpenSqliteCatalogue(const std::string& path, SqliteAccess access) {
    return std::make_unique<SqliteCatalogue>(path, access);
}
