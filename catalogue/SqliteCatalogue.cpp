#include "SqliteCatalogue.h"

#include "AddTally.h"
#include "CallScope.h"
#include "CatalogueMessages.h"
#include "FindSql.h"
#include "MediaRules.h"
#include "NameKey.h"
#include "Store.h"

#include <sqlite3.h>

namespace {

// Marks a file as this program's catalogue ("CtLg").
constexpr int kApplicationId = 0x43744c67;

using Call = CallScope<IConnection>;

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

class SqliteStore final : public Store {
public:
    SqliteStore(const std::string& path, SqliteAccess access)
        : SqliteStore(std::make_unique<SqliteConnection>(path, access), access) {}

    std::unique_ptr<ICatalogueAdd> BeginAdd(const Medium& medium, bool replace) override;

    std::string ExplainFind(const FindQuery& query) override {
        const Call call(Db());
        const SqlStatement sql = FindStatement(query, SqlDialect::Sqlite, false);
        std::string plan;
        Db().Query("EXPLAIN QUERY PLAN " + sql.text, sql.params, [&](const SqlRow& row) {
            plan += row.Text(3) + '\n';
            return true;
        });
        return plan;
    }

    SqliteConnection& Sqlite() { return m_sqlite; }

private:
    SqliteStore(std::unique_ptr<SqliteConnection> db, SqliteAccess access)
        : Store(std::move(db), SqlDialect::Sqlite), m_sqlite(static_cast<SqliteConnection&>(Db())),
          m_access(access) {
        CheckVersion();
        if (access != SqliteAccess::Read)
            m_sqlite.ExecuteScript("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
        // A page cache of 16 MiB for searches, whose pages the system caches too; an add, which
        // writes the name index all over, raises it to 64 MiB.
        m_sqlite.ExecuteScript(
            "PRAGMA foreign_keys=OFF; PRAGMA cache_size=-16384; PRAGMA temp_store=MEMORY");
        sqlite3_create_function(m_sqlite.Handle(), "catalogue_glob", 2,
                                SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, GlobFunction, nullptr,
                                nullptr);
        if (access != SqliteAccess::Read)
            CreateSchema();
    }

    // A contentless index forgets a row when told the very key it was given.
    void RemoveFromIndex(std::int64_t medium) override {
        Db().Execute("INSERT INTO entry_names(entry_names, rowid, key) "
                     "SELECT 'delete', id, coalesce(key, name) FROM entries WHERE medium = $1",
                     {medium});
    }

    // Nothing is written before the version is known: a newer catalogue stays as it is.
    void CheckVersion() {
        const std::int64_t version = QueryNumber(Db(), "PRAGMA user_version");
        const std::int64_t application = QueryNumber(Db(), "PRAGMA application_id");
        const std::int64_t tables = QueryNumber(Db(), "SELECT count(*) FROM sqlite_schema");
        if (version > kCatalogueSchemaVersion)
            throw CatalogueError(NewerSchemaMessage(LocationForMessages(DbPath())));
        if (tables > 0 && (application != kApplicationId || version == 0))
            throw CatalogueError("The file " + DbPath() +
                                 " is not a catalogue of this program; it is left as it is.");
        if (tables == 0 && m_access != SqliteAccess::Create)
            throw NoCatalogueError("There is no catalogue at " + DbPath() + ".");
    }

    // Only a new or an older catalogue takes the write lock, so that opening never waits for an
    // add. An older one is brought up to date in place, in one transaction; its version then
    // keeps the programs that wrote it from changing it.
    void CreateSchema() {
        if (QueryNumber(Db(), "PRAGMA user_version") == kCatalogueSchemaVersion)
            return;
        Transaction transaction(Db());
        const std::int64_t version = QueryNumber(Db(), "PRAGMA user_version");
        if (version == 0)
            m_sqlite.ExecuteScript(kSchema);
        if (version == 1)
            m_sqlite.ExecuteScript(
                "ALTER TABLE media ADD COLUMN volume_path BLOB NOT NULL DEFAULT x''");
        m_sqlite.ExecuteScript("PRAGMA application_id=" + std::to_string(kApplicationId) +
                               "; PRAGMA user_version=" + std::to_string(kCatalogueSchemaVersion));
        transaction.Commit();
    }

    std::string DbPath() const {
        const char* name = sqlite3_db_filename(m_sqlite.Handle(), "main");
        return name ? name : "";
    }

    SqliteConnection& m_sqlite;
    SqliteAccess m_access;
};

class SqliteAdd final : public ICatalogueAdd {
public:
    SqliteAdd(SqliteStore& store, const Medium& medium, bool replace)
        : m_db(store.Sqlite()), m_transaction(m_db) {
        m_db.ExecuteScript("PRAGMA cache_size=-65536");
        RemoveConflictingMedia(store, medium, replace);
        m_medium = QueryNumber(
            m_db,
            "INSERT INTO media(name, folder, label, uuid, fstype, added, files, folders, bytes, "
            "volume_path) VALUES ($1, $2, $3, $4, $5, $6, 0, 0, 0, $7) RETURNING id",
            {medium.name, SqlBytes{medium.folder}, medium.volume.label, medium.volume.uuid,
             medium.volume.fsType, medium.added, SqlBytes{medium.volume.path}});
    }

    void AddFolder(std::string_view relativePath,
                   const std::vector<RecordedEntry>& entries) override {
        std::string path(relativePath);
        if (!path.empty())
            path += '/';
        const std::int64_t folder =
            QueryNumber(m_db, "INSERT INTO folders(medium, path) VALUES ($1, $2) RETURNING id",
                        {m_medium, SqlBytes{path}});
        std::vector<std::int64_t> ids;
        ids.reserve(entries.size());
        for (const auto& entry : entries)
            ids.push_back(Insert(folder, entry));
        m_tally.AddFolder(relativePath, entries, ids);
    }

    void Commit() override {
        const Call call(m_db);
        for (const auto& [id, size] : m_tally.FolderSizes())
            m_db.Execute("UPDATE entries SET size = $1 WHERE id = $2",
                         {static_cast<std::int64_t>(size), id});
        m_db.Execute(
            "UPDATE media SET files = $1, folders = $2, bytes = $3 WHERE id = $4",
            {m_tally.files, m_tally.folders, static_cast<std::int64_t>(m_tally.bytes), m_medium});
        m_transaction.Commit();
    }

private:
    std::int64_t Insert(std::int64_t folder, const RecordedEntry& entry) {
        std::string key = SearchKey(entry.name);
        const SqlValue storedKey = key == entry.name ? SqlValue() : SqlValue(key);
        const std::int64_t id = QueryNumber(
            m_db,
            "INSERT INTO entries(medium, parent, name, key, size, modified, attributes) "
            "VALUES ($1, $2, $3, $4, $5, $6, $7) RETURNING id",
            {m_medium, folder, SqlBytes{entry.name}, storedKey,
             static_cast<std::int64_t>(entry.size), entry.modified,
             static_cast<std::int64_t>(entry.attributes)});
        m_db.Execute("INSERT INTO entry_names(rowid, key) VALUES ($1, $2)", {id, std::move(key)});
        return id;
    }

    SqliteConnection& m_db;
    Transaction m_transaction;
    std::int64_t m_medium = 0;
    AddTally m_tally;
};

std::unique_ptr<ICatalogueAdd> SqliteStore::BeginAdd(const Medium& medium, bool replace) {
    const Call call(Db());
    return std::make_unique<SqliteAdd>(*this, medium, replace);
}

} // namespace

std::unique_ptr<ICatalogue> OpenSqliteCatalogue(const std::string& path, SqliteAccess access) {
    return std::make_unique<SqliteStore>(path, access);
}
