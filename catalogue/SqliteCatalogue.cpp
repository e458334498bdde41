#include "SqliteCatalogue.h"

#include "catalogue/CallScope.h"
#include "catalogue/CatalogueMessages.h"
#include "catalogue/FindSql.h"
#include "catalogue/MediaRules.h"
#include "catalogue/NameKey.h"
#include "catalogue/Store.h"

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

// Names are bytes (BLOB); the key is the name's search form (TEXT), NULL when lower() makes it
// from the name (as for most names: EntryKeySql). A medium's volume_path is the listed folder's
// path within its volume, empty when unknown.
const char* const kMediaTable = R"(
CREATE TABLE media(
    id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE, folder BLOB NOT NULL,
    label TEXT NOT NULL, uuid TEXT NOT NULL, fstype TEXT NOT NULL,
    volume_path BLOB NOT NULL DEFAULT x'', mount_point BLOB NOT NULL DEFAULT x'',
    added INTEGER NOT NULL, files INTEGER NOT NULL, folders INTEGER NOT NULL,
    bytes INTEGER NOT NULL, location TEXT NOT NULL DEFAULT '', note TEXT NOT NULL DEFAULT '',
    checksums INTEGER NOT NULL DEFAULT 0);
)";
const char* const kTreeTables = R"(
CREATE TABLE entries(
    medium INTEGER NOT NULL, id INTEGER NOT NULL, parent INTEGER NOT NULL, name BLOB NOT NULL,
    key TEXT, kind INTEGER NOT NULL, size INTEGER NOT NULL, modified INTEGER NOT NULL,
    attributes INTEGER NOT NULL, PRIMARY KEY(medium, id)) WITHOUT ROWID;
CREATE TABLE folders(
    medium INTEGER NOT NULL, id INTEGER NOT NULL, first INTEGER NOT NULL,
    count INTEGER NOT NULL, rank INTEGER NOT NULL, bytes INTEGER NOT NULL,
    files INTEGER NOT NULL, folders INTEGER NOT NULL, PRIMARY KEY(medium, id)) WITHOUT ROWID;
)";
// What only some entries have: the hash of a file's content (16 bytes), the user's comments.
const char* const kEntryExtrasTables = R"(
CREATE TABLE hashes(
    medium INTEGER NOT NULL, id INTEGER NOT NULL, hash BLOB NOT NULL,
    PRIMARY KEY(medium, id)) WITHOUT ROWID;
CREATE TABLE comments(
    medium INTEGER NOT NULL, id INTEGER NOT NULL, line1 BLOB NOT NULL, line2 BLOB NOT NULL,
    line3 BLOB NOT NULL, PRIMARY KEY(medium, id)) WITHOUT ROWID;
)";
// A table with row ids: its rows keep lists of up to a page in their pages, where a table
// without them would move every list above a quarter of a page to pages of its own, and leave
// half of the last one empty.
const char* const kNameGramsTable = R"(
CREATE TABLE name_grams(
    medium INTEGER NOT NULL, gram INTEGER NOT NULL, part INTEGER NOT NULL, ids BLOB NOT NULL,
    PRIMARY KEY(medium, gram, part));
)";

// A part of a medium's folder links is a list of up to 1 MiB.
const char* const kFolderLinksSchema = R"(
CREATE TABLE folder_links(
    medium INTEGER NOT NULL, part INTEGER NOT NULL, links BLOB NOT NULL,
    PRIMARY KEY(medium, part));
)";

class SqliteStore final : public Store {
public:
    SqliteStore(const std::string& path, SqliteAccess access)
        : SqliteStore(std::make_unique<SqliteConnection>(path, access), access) {}

    void PrepareAdd(const Medium&) override {}
    std::string BeginEntries(std::int64_t) override { return "entries"; }
    bool WritesFoldersInPlace() const override { return true; }
    SqlValue StoredKey(const std::string& name, std::string key) override {
        return KeyMadeByLower(name, key) ? SqlValue() : SqlValue(std::move(key));
    }
    void EntriesLoaded(std::int64_t) override {}
    void AddCommitted(std::int64_t) override {}

private:
    SqliteStore(std::unique_ptr<SqliteConnection> db, SqliteAccess access)
        : Store(std::move(db), SqlDialect::Sqlite), m_sqlite(static_cast<SqliteConnection&>(Db())),
          m_access(access) {
        CheckVersion();
        // A new catalogue is made of pages of 64 KiB (a catalogue of other pages keeps them): an
        // add writes each page twice, to the log and then to the file, and fewer larger pages
        // take a third less time to write there; a search reads a few bytes of a page through
        // the mapping, whatever its size.
        if (access != SqliteAccess::Read)
            m_sqlite.ExecuteScript("PRAGMA page_size=65536; PRAGMA journal_mode=WAL; PRAGMA "
                                   "synchronous=NORMAL;");
        // A page cache of 16 MiB, whose pages the system caches too; pages are read straight
        // from the system's cache through a mapping of the file (up to 2 GiB), where reading
        // them would copy each one, a search's work on a large catalogue.
        m_sqlite.ExecuteScript("PRAGMA foreign_keys=OFF; PRAGMA cache_size=-16384; PRAGMA "
                               "temp_store=MEMORY; PRAGMA mmap_size=2147418112");
        sqlite3_create_function(m_sqlite.Handle(), "catalogue_glob", 2,
                                SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, GlobFunction, nullptr,
                                nullptr);
        if (access != SqliteAccess::Read)
            CreateSchema();
    }

    void DropTablesOf(std::int64_t) override {}

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
        if (version < kCatalogueSchemaVersion && tables > 0 && m_access == SqliteAccess::Read)
            throw CatalogueError(OlderSchemaMessage(LocationForMessages(DbPath())));
    }

    // Only a new or an older catalogue takes the write lock, so that opening never waits for an
    // add. An older one is brought up to date in place, in one transaction; its version then
    // keeps the programs that wrote it from changing it.
    void CreateSchema() {
        if (QueryNumber(Db(), "PRAGMA user_version") == kCatalogueSchemaVersion)
            return;
        Transaction transaction(Db());
        const std::int64_t version = QueryNumber(Db(), "PRAGMA user_version");
        if (version == 0) {
            m_sqlite.ExecuteScript(kMediaTable);
            m_sqlite.ExecuteScript(kTreeTables);
            m_sqlite.ExecuteScript(kNameGramsTable);
            m_sqlite.ExecuteScript(kEntryExtrasTables);
            m_sqlite.ExecuteScript(kFolderLinksSchema);
        } else if (version < kCatalogueSchemaVersion) {
            UpgradeFrom(version);
        }
        m_sqlite.ExecuteScript("PRAGMA application_id=" + std::to_string(kApplicationId) +
                               "; PRAGMA user_version=" + std::to_string(kCatalogueSchemaVersion));
        transaction.Commit();
    }

    // Version 1 knew no paths within volumes; version 2 kept each folder's whole path and
    // numbered entries across media; version 3 kept the name index in a full-text table;
    // version 4 kept no hashes or comments; version 5 kept every key that differs from its name,
    // whose rows read alike now (a key equal to its name has no ASCII capital); version 6 had
    // no folder links.
    void UpgradeFrom(std::int64_t version) {
        if (version <= 3) {
            if (version <= 2)
                UpgradeToTree(version);
            else
                m_sqlite.ExecuteScript("DROP TABLE entry_names");
            m_sqlite.ExecuteScript(kNameGramsTable);
            IndexNames();
        }
        if (version <= 4) {
            m_sqlite.ExecuteScript(
                "ALTER TABLE media ADD COLUMN checksums INTEGER NOT NULL DEFAULT 0");
            m_sqlite.ExecuteScript(kEntryExtrasTables);
        }
        m_sqlite.ExecuteScript(kFolderLinksSchema);
        LinkFolders();
    }

    void UpgradeToTree(std::int64_t version) {
        if (version == 1)
            m_sqlite.ExecuteScript(
                "ALTER TABLE media ADD COLUMN volume_path BLOB NOT NULL DEFAULT x''");
        m_sqlite.ExecuteScript(R"(
ALTER TABLE media ADD COLUMN mount_point BLOB NOT NULL DEFAULT x'';
ALTER TABLE media ADD COLUMN location TEXT NOT NULL DEFAULT '';
ALTER TABLE media ADD COLUMN note TEXT NOT NULL DEFAULT '';
DROP TABLE entry_names;
DROP INDEX entries_medium;
DROP INDEX folders_medium;
ALTER TABLE entries RENAME TO entries_v2;
ALTER TABLE folders RENAME TO folders_v2;
CREATE INDEX entries_v2_parent ON entries_v2(parent, id);
)");
        m_sqlite.ExecuteScript(kTreeTables);
        CopyVersion2Entries();
        m_sqlite.ExecuteScript("DROP TABLE entries_v2; DROP TABLE folders_v2;");
    }

    std::string DbPath() const {
        const char* name = sqlite3_db_filename(m_sqlite.Handle(), "main");
        return name ? name : "";
    }

    SqliteConnection& m_sqlite;
    SqliteAccess m_access;
};

} // namespace

std::unique_ptr<ICatalogue> OpenSqliteCatalogue(const std::string& path, SqliteAccess access) {
    return std::make_unique<SqliteStore>(path, access);
}
