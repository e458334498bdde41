#include "PostgresCatalogue.h"

#include "AddTally.h"
#include "CallScope.h"
#include "CatalogueMessages.h"
#include "FindSql.h"
#include "FolderEntry.h"
#include "MediaRules.h"
#include "NameKey.h"

#include <libpq-fe.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <optional>
#include <poll.h>
#include <unordered_map>
#include <utility>

namespace {

constexpr Oid kByteaOid = 17;
// Rows handed to the server at a time, while the add's COPY stays open.
constexpr std::size_t kCopyBytes = 256 << 10;
// An add of this many entries or more has the table's statistics brought up to date.
constexpr std::int64_t kAnalyzeAfter = 50000;
// Entry ids taken from the sequence at a time.
constexpr std::size_t kIdBlock = 100000;

struct ResultClearer {
    void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultClearer>;

struct ConnectionCloser {
    void operator()(PGconn* conn) const { PQfinish(conn); }
};
struct CancelFreer {
    void operator()(PGcancel* cancel) const { PQfreeCancel(cancel); }
};

std::string HexDecode(const char* text) {
    std::size_t length = 0;
    unsigned char* bytes = PQunescapeBytea(reinterpret_cast<const unsigned char*>(text), &length);
    std::string out(reinterpret_cast<const char*>(bytes), length);
    PQfreemem(bytes);
    return out;
}

// How long an interrupted call waits for the server to confirm; a server that does not
// answer by then loses the connection, and the next call makes a new one.
constexpr auto kCancelGrace = std::chrono::seconds(2);
// How often a call that waits for the server looks for an interruption.
constexpr int kPollMs = 50;

// The SQLSTATE of a statement cancelled at the client's request.
constexpr std::string_view kQueryCanceled = "57014";

class Postgres {
public:
    explicit Postgres(const std::string& uri) : m_uri(uri), m_location(LocationForMessages(uri)) {
        Connect();
        Exec("SET client_min_messages = warning");
    }

    // Safe from any thread; the call's own thread asks the server to cancel.
    void Interrupt() { m_interrupted = true; }
    // A call has ended: an interruption that came too late for it is forgotten.
    void EndCall() { m_interrupted = false; }
    void SetWaits(CatalogueWaits waits) { m_waits = std::move(waits); }
    // Changes whenever the connection is given up, so that what a transaction began on the
    // old one is not ended on the new one.
    int Generation() const { return m_generation; }

    [[noreturn]] void Fail(const PGresult* result = nullptr) const {
        const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
        if (std::exchange(m_gaveUp, false))
            throw CatalogueGaveUp("Gave up waiting for the PostgreSQL server of the catalogue " +
                                  m_location + " after " +
                                  std::to_string(m_waits.giveUpAfter->count() / 1000) + " s.");
        // The interruption is delivered: what the caller does next (a rollback) runs as usual.
        if (m_interrupted.exchange(false) || (state && state == kQueryCanceled))
            throw CatalogueInterrupted("The catalogue " + m_location +
                                       " was left as it was: stopped.");
        FailWith(result ? PQresultErrorMessage(result)
                        : (m_conn ? PQerrorMessage(m_conn.get()) : "the connection was lost"));
    }

    // libpq's message may quote the URI, or the part of it that it could not read.
    [[noreturn]] void FailWith(std::string detail) const {
        while (!detail.empty() && (detail.back() == '\n' || detail.back() == ' '))
            detail.pop_back();
        throw CatalogueError("The catalogue " + m_location +
                             " cannot be used: " + RedactPasswords(detail, m_uri));
    }

    Result Exec(const std::string& sql) {
        Send(PQsendQuery(Conn(), sql.c_str()));
        return LastResult();
    }

    Result Exec(const std::string& sql, const std::vector<SqlValue>& params) {
        Params p(params);
        Send(PQsendQueryParams(Conn(), sql.c_str(), p.Count(), nullptr, p.Values(), p.Lengths(),
                               p.Formats(), 0));
        return LastResult();
    }

    // Sends a statement whose rows come one at a time through NextRow.
    void SendForRows(const std::string& sql, const std::vector<SqlValue>& params) {
        Params p(params);
        Send(PQsendQueryParams(Conn(), sql.c_str(), p.Count(), nullptr, p.Values(), p.Lengths(),
                               p.Formats(), 0));
        if (!PQsetSingleRowMode(m_conn.get()))
            Fail();
    }
    // The next row of SendForRows, or null at the end. Rows that have arrived already are
    // not handed out after an interruption.
    Result NextRow() {
        if (m_interrupted) {
            Abandon();
            Fail();
        }
        Result result = NextResult();
        if (!result)
            return nullptr;
        if (PQresultStatus(result.get()) == PGRES_SINGLE_TUPLE)
            return result;
        if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) {
            Drain();
            Fail(result.get());
        }
        Drain();
        return nullptr;
    }
    // Gives up the rest of the rows of SendForRows.
    void Abandon() {
        Cancel();
        Drain();
    }

    // A COPY ... FROM STDIN: BeginCopy, any number of CopyRows, EndCopy. The server takes the
    // rows in while the next ones are made; nothing else can be sent until EndCopy.
    void BeginCopy(const std::string& sql) {
        Send(PQsendQuery(Conn(), sql.c_str()));
        Result start = NextResult();
        if (PQresultStatus(start.get()) != PGRES_COPY_IN) {
            Drain();
            Fail(start.get());
        }
    }
    void CopyRows(const std::string& rows) {
        if (m_interrupted ||
            PQputCopyData(m_conn.get(), rows.data(), static_cast<int>(rows.size())) != 1)
            Fail();
    }
    void EndCopy() {
        if (PQputCopyEnd(m_conn.get(), nullptr) != 1)
            Fail();
        LastResult();
    }
    // Gives up a COPY in progress; the transaction fails with it.
    void AbandonCopy() {
        if (!m_conn)
            return;
        PQputCopyEnd(m_conn.get(), "the add was given up");
        try {
            Drain();
        } catch (const CatalogueError&) {
            // The connection was given up: so was the COPY.
        }
    }
    void Copy(const std::string& sql, const std::string& rows) {
        BeginCopy(sql);
        CopyRows(rows);
        EndCopy();
    }

    const std::string& Location() const { return m_location; }

private:
    // Text parameters, bytes in binary.
    class Params {
    public:
        explicit Params(const std::vector<SqlValue>& params) {
            for (const auto& value : params) {
                m_nulls.push_back(std::holds_alternative<std::monostate>(value));
                if (const auto* number = std::get_if<std::int64_t>(&value))
                    m_texts.push_back(std::to_string(*number));
                else if (const auto* text = std::get_if<std::string>(&value))
                    m_texts.push_back(*text);
                else if (const auto* bytes = std::get_if<SqlBytes>(&value))
                    m_texts.push_back(bytes->bytes);
                else
                    m_texts.emplace_back();
                m_formats.push_back(std::holds_alternative<SqlBytes>(value) ? 1 : 0);
            }
            for (std::size_t i = 0; i < m_texts.size(); ++i) {
                m_values.push_back(m_nulls[i] ? nullptr : m_texts[i].data());
                m_lengths.push_back(static_cast<int>(m_texts[i].size()));
            }
        }
        int Count() const { return static_cast<int>(m_values.size()); }
        const char* const* Values() const { return m_values.data(); }
        const int* Lengths() const { return m_lengths.data(); }
        const int* Formats() const { return m_formats.data(); }

    private:
        std::deque<std::string> m_texts;
        std::vector<bool> m_nulls;
        std::vector<const char*> m_values;
        std::vector<int> m_lengths;
        std::vector<int> m_formats;
    };

    // Names, keys and patterns are UTF-8, and `_` must match one character, not one byte: the
    // connection speaks UTF-8 whatever the environment asks, and a database in another
    // encoding is refused.
    void RequireUtf8() {
        if (PQsetClientEncoding(m_conn.get(), "UTF8") != 0)
            Fail();
        const char* encoding = PQparameterStatus(m_conn.get(), "server_encoding");
        if (encoding && std::string_view(encoding) == "UTF8")
            return;
        throw CatalogueError("The catalogue " + m_location +
                             " cannot be used: its database's "
                             "encoding is " +
                             (encoding ? encoding : "unknown") +
                             ", not UTF8; it is left as it is.");
    }

    void Connect() {
        // The URI's own connect_timeout, if it has one, comes after ours and wins.
        const char* keys[] = {"connect_timeout", "dbname", "fallback_application_name", nullptr};
        const char* values[] = {"10", m_uri.c_str(), "catalogrium3", nullptr};
        m_conn.reset(PQconnectdbParams(keys, values, 1));
        if (!m_conn || PQstatus(m_conn.get()) != CONNECTION_OK) {
            const std::string detail = m_conn ? PQerrorMessage(m_conn.get()) : "";
            m_conn.reset();
            FailWith(detail);
        }
        m_cancel.reset(PQgetCancel(m_conn.get()));
        RequireUtf8();
    }

    // The connection for the next statement, made again when an earlier call gave it up. An
    // interruption that came before the statement stops it before it is sent.
    PGconn* Conn() {
        if (m_interrupted)
            Fail();
        if (!m_conn)
            Connect();
        return m_conn.get();
    }

    void Send(int sent) {
        if (!sent)
            Fail();
    }

    // Waits until a result can be taken without blocking. An interruption asks the server to
    // cancel the statement; a server that does not confirm in time loses the connection. Input
    // is read only when no whole result is there yet: each read first moves what is still
    // unread to the front of libpq's buffer, so reading before every row of a long answer
    // took time in the square of its length.
    void AwaitResult() {
        const auto start = std::chrono::steady_clock::now();
        bool noted = false;
        std::optional<std::chrono::steady_clock::time_point> cancelled;
        while (true) {
            if (!PQisBusy(m_conn.get()))
                return;
            if (!PQconsumeInput(m_conn.get()))
                Fail();
            if (!PQisBusy(m_conn.get()))
                return;
            const auto waited = std::chrono::steady_clock::now() - start;
            if (!noted && m_waits.note && waited >= m_waits.noteAfter) {
                noted = true;
                m_waits.note("Waiting for the PostgreSQL server of the catalogue " + m_location +
                             " to answer...");
            }
            if (m_waits.giveUpAfter && waited >= *m_waits.giveUpAfter && !cancelled)
                m_gaveUp = true;
            if ((m_interrupted || m_gaveUp) && !cancelled) {
                Cancel();
                cancelled = std::chrono::steady_clock::now();
            }
            if (cancelled && std::chrono::steady_clock::now() - *cancelled > kCancelGrace)
                GiveUpConnection();
            pollfd fd{PQsocket(m_conn.get()), POLLIN, 0};
            ::poll(&fd, 1, kPollMs);
        }
    }

    [[noreturn]] void GiveUpConnection() {
        m_conn.reset();
        m_cancel.reset();
        ++m_generation;
        Fail();
    }

    Result NextResult() {
        AwaitResult();
        return Result(PQgetResult(m_conn.get()));
    }

    // The result of a statement sent, after any before it; the first failure among them fails.
    Result LastResult() {
        Result last;
        while (Result next = NextResult()) {
            const auto status = PQresultStatus(next.get());
            if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
                Drain();
                Fail(next.get());
            }
            last = std::move(next);
        }
        if (!last)
            Fail();
        return last;
    }

    void Cancel() {
        char error[256];
        if (m_cancel)
            PQcancel(m_cancel.get(), error, sizeof error);
    }

    void Drain() {
        while (Result rest = NextResult()) {
        }
    }

    std::string m_uri;
    std::string m_location;
    std::unique_ptr<PGconn, ConnectionCloser> m_conn;
    std::unique_ptr<PGcancel, CancelFreer> m_cancel;
    mutable std::atomic<bool> m_interrupted = false;
    CatalogueWaits m_waits;
    mutable bool m_gaveUp = false;
    int m_generation = 0;
};

using Call = CallScope<Postgres>;

std::string Field(const PGresult* result, int row, int column) {
    const char* text = PQgetvalue(result, row, column);
    if (PQftype(result, column) == kByteaOid)
        return HexDecode(text);
    return std::string(text, static_cast<std::size_t>(PQgetlength(result, row, column)));
}

std::int64_t Number(const PGresult* result, int row, int column) {
    return std::strtoll(PQgetvalue(result, row, column), nullptr, 10);
}

// A medium's volume_path is the listed folder's path within its volume, empty when unknown.
// Names are bytes (bytea); the key is the name's search form (text) that the pg_trgm index
// holds. Folder paths below the listed folder end with "/" (the listed folder's is empty).
const char* const kSchema = R"(
CREATE EXTENSION IF NOT EXISTS pg_trgm;
CREATE TABLE catalogue_version(version integer NOT NULL);
CREATE TABLE media(
    id bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY, name text NOT NULL UNIQUE,
    folder bytea NOT NULL, label text NOT NULL, uuid text NOT NULL, fstype text NOT NULL,
    added bigint NOT NULL, files bigint NOT NULL, folders bigint NOT NULL,
    bytes bigint NOT NULL, volume_path bytea NOT NULL DEFAULT '');
CREATE SEQUENCE folders_id;
CREATE TABLE folders(id bigint PRIMARY KEY, medium bigint NOT NULL, path bytea NOT NULL);
CREATE INDEX folders_medium ON folders(medium);
CREATE SEQUENCE entries_id;
CREATE TABLE entries(
    id bigint PRIMARY KEY, medium bigint NOT NULL, parent bigint NOT NULL,
    name bytea NOT NULL, key text NOT NULL, size bigint NOT NULL, modified bigint NOT NULL,
    attributes integer NOT NULL);
CREATE INDEX entries_medium ON entries(medium);
CREATE INDEX entries_key ON entries USING gin (key gin_trgm_ops);
)";

// The first of the two key spaces of the locks that adds take on a medium's name and folder.
constexpr std::int64_t kAddLockSpace = 43567;

// Any number: every catalogue of this program takes the same lock while it makes its tables.
constexpr const char* kSchemaLock = "SELECT pg_advisory_xact_lock(4356731467)";

// One field of a COPY row in text form.
void AppendCopyText(std::string& row, std::string_view text) {
    for (const char c : text) {
        switch (c) {
        case '\\':
            row += "\\\\";
            break;
        case '\n':
            row += "\\n";
            break;
        case '\r':
            row += "\\r";
            break;
        case '\t':
            row += "\\t";
            break;
        default:
            row += c;
        }
    }
}

void AppendCopyBytes(std::string& row, std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    row += "\\\\x";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        row += kHex[byte >> 4];
        row += kHex[byte & 0xF];
    }
}

// BEGIN ... COMMIT; rolled back when dropped before Commit.
class Transaction {
public:
    explicit Transaction(Postgres& db) : m_db(db), m_generation(db.Generation()) {
        m_db.Exec("BEGIN");
    }
    ~Transaction() {
        // A connection that was given up took its transaction with it.
        if (m_done || m_db.Generation() != m_generation)
            return;
        try {
            m_db.Exec("ROLLBACK");
        } catch (const CatalogueError&) {
            // The server is gone: it has dropped the transaction itself.
        }
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void Commit() {
        m_db.Exec("COMMIT");
        m_done = true;
    }

private:
    Postgres& m_db;
    int m_generation;
    bool m_done = false;
};

class PostgresCatalogue final : public ICatalogue {
public:
    PostgresCatalogue(const std::string& uri, CatalogueUse use) : m_db(uri) {
        m_db.Exec("BEGIN");
        m_db.Exec(kSchemaLock);
        Result exists = m_db.Exec("SELECT to_regclass('catalogue_version') IS NOT NULL");
        if (std::string(PQgetvalue(exists.get(), 0, 0)) == "t") {
            Result version = m_db.Exec("SELECT max(version) FROM catalogue_version");
            const std::int64_t number = Number(version.get(), 0, 0);
            if (number > kCatalogueSchemaVersion) {
                m_db.Exec("ROLLBACK");
                throw CatalogueError(NewerSchemaMessage(m_db.Location()));
            }
            if (number < kCatalogueSchemaVersion && use != CatalogueUse::LookUp)
                Upgrade();
        } else if (use != CatalogueUse::Add) {
            m_db.Exec("ROLLBACK");
            throw NoCatalogueError("There is no catalogue in " + m_db.Location() + ".");
        } else {
            m_db.Exec(kSchema);
            m_db.Exec("INSERT INTO catalogue_version VALUES (" +
                      std::to_string(kCatalogueSchemaVersion) + ")");
        }
        m_db.Exec("COMMIT");
    }

    void Interrupt() override { m_db.Interrupt(); }
    void SetWaits(CatalogueWaits waits) override { m_db.SetWaits(std::move(waits)); }

    // An older catalogue is brought up to date in place, in the transaction that opens it; its
    // version then keeps the programs that wrote it from changing it.
    void Upgrade() {
        m_db.Exec("ALTER TABLE media ADD COLUMN IF NOT EXISTS volume_path bytea NOT NULL "
                  "DEFAULT ''");
        m_db.Exec("UPDATE catalogue_version SET version = " +
                  std::to_string(kCatalogueSchemaVersion));
    }

    std::vector<Medium> Media() override {
        const Call call(m_db);
        Result r = m_db.Exec("SELECT name, folder, label, uuid, fstype, added, files, folders, "
                             "bytes FROM media ORDER BY name COLLATE \"C\"");
        std::vector<Medium> media;
        for (int i = 0; i < PQntuples(r.get()); ++i)
            media.push_back({Field(r.get(), i, 0),
                             Field(r.get(), i, 1),
                             {Field(r.get(), i, 2), Field(r.get(), i, 3), Field(r.get(), i, 4), {}},
                             Number(r.get(), i, 5),
                             Number(r.get(), i, 6),
                             Number(r.get(), i, 7),
                             static_cast<std::uint64_t>(Number(r.get(), i, 8))});
        return media;
    }

    std::vector<std::string> Conflicts(const std::string& name, const VolumeInfo& volume) override {
        const Call call(m_db);
        return FindConflicts(name, volume);
    }

    // Conflicts, within a call under way.
    std::vector<std::string> FindConflicts(const std::string& name, const VolumeInfo& volume) {
        Result r = m_db.Exec("SELECT name, uuid, volume_path FROM media WHERE name = $1 OR "
                             "(uuid <> '' AND uuid = $2) ORDER BY name COLLATE \"C\"",
                             {name, volume.uuid});
        std::vector<std::string> names;
        for (int i = 0; i < PQntuples(r.get()); ++i)
            if (Field(r.get(), i, 0) == name ||
                SameFolder({{}, Field(r.get(), i, 1), {}, Field(r.get(), i, 2)}, volume))
                names.push_back(Field(r.get(), i, 0));
        return names;
    }

    std::unique_ptr<ICatalogueAdd> BeginAdd(const Medium& medium, bool replace) override;

    void Find(const FindQuery& query,
              const std::function<bool(const CatalogueMatch&)>& each) override {
        const Call call(m_db);
        const SqlStatement sql = FindStatement(query, SqlDialect::Postgres, false);
        m_db.SendForRows(sql.text, sql.params);
        while (Result row = m_db.NextRow()) {
            const PGresult* r = row.get();
            const CatalogueMatch match{Field(r, 0, 0),
                                       MatchPath(Field(r, 0, 1), Field(r, 0, 2), Field(r, 0, 3)),
                                       static_cast<std::uint64_t>(Number(r, 0, 4)), Number(r, 0, 5),
                                       static_cast<std::uint32_t>(Number(r, 0, 6))};
            if (!each(match)) {
                m_db.Abandon();
                return;
            }
        }
    }

    std::size_t Count(const FindQuery& query) override {
        const Call call(m_db);
        const SqlStatement sql = FindStatement(query, SqlDialect::Postgres, true);
        Result r = m_db.Exec(sql.text, sql.params);
        return static_cast<std::size_t>(Number(r.get(), 0, 0));
    }

    std::string ExplainFind(const FindQuery& query) override {
        const Call call(m_db);
        const SqlStatement sql = FindStatement(query, SqlDialect::Postgres, false);
        Result r = m_db.Exec("EXPLAIN " + sql.text, sql.params);
        std::string plan;
        for (int i = 0; i < PQntuples(r.get()); ++i)
            plan += Field(r.get(), i, 0) + '\n';
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
        Result r = m_db.Exec("UPDATE media SET name = $1 WHERE name = $2", {newName, name});
        transaction.Commit();
        return std::string(PQcmdTuples(r.get())) != "0";
    }

    bool RemoveMedium(const std::string& name) {
        Result r = m_db.Exec("SELECT id FROM media WHERE name = $1", {name});
        if (PQntuples(r.get()) == 0)
            return false;
        const SqlValue id = Number(r.get(), 0, 0);
        for (const char* table : {"entries WHERE medium", "folders WHERE medium", "media WHERE id"})
            m_db.Exec(std::string("DELETE FROM ") + table + " = $1", {id});
        return true;
    }

    Postgres& Db() { return m_db; }

private:
    Postgres m_db;
};

// Ids from a sequence, taken in blocks so that an add asks the server rarely; a concurrent
// add takes its own.
class IdPool {
public:
    IdPool(Postgres& db, std::string sequence) : m_db(db), m_sequence(std::move(sequence)) {}

    bool Holds(std::size_t count) const { return m_ids.size() >= count; }

    // Takes at least `count` more ids from the server.
    void Fill(std::size_t count) {
        Result r = m_db.Exec("SELECT nextval('" + m_sequence + "') FROM generate_series(1, " +
                             std::to_string(std::max<std::size_t>(count, kIdBlock)) + ")");
        for (int i = 0; i < PQntuples(r.get()); ++i)
            m_ids.push_back(Number(r.get(), i, 0));
    }

    std::int64_t Next() {
        const std::int64_t id = m_ids.front();
        m_ids.pop_front();
        return id;
    }

private:
    Postgres& m_db;
    std::string m_sequence;
    std::deque<std::int64_t> m_ids;
};

// The entry of a folder, waiting for the size of the files below it.
struct FolderEntryRow {
    std::int64_t id;
    std::string before; // the fields before the size
    std::string after;  // the fields after it
};

class PostgresAdd final : public ICatalogueAdd {
public:
    PostgresAdd(PostgresCatalogue& catalogue, const Medium& medium, bool replace)
        : m_db(catalogue.Db()), m_transaction(m_db), m_folderIds(m_db, "folders_id"),
          m_entryIds(m_db, "entries_id") {
        // The name index takes new rows into a pending list and merges it into the index in
        // memory when the list is full: a larger list and more memory make fewer, larger
        // merges for a large add. The commit does not wait for the journal to reach the disk:
        // a server that crashes just after it may lose the add, whole, never part of it.
        m_db.Exec("SET LOCAL work_mem = '256MB'");
        m_db.Exec("SET LOCAL gin_pending_list_limit = '64MB'");
        m_db.Exec("SET LOCAL synchronous_commit = off");
        CheckMediumName(medium.name); // before the server is given it
        LockNameAndFolder(medium);
        RemoveConflictingMedia(catalogue, medium, replace);
        Result r = m_db.Exec("INSERT INTO media(name, folder, label, uuid, fstype, added, files, "
                             "folders, bytes, volume_path) VALUES ($1, $2, $3, $4, $5, $6, 0, 0, "
                             "0, $7) RETURNING id",
                             {medium.name, SqlBytes{medium.folder}, medium.volume.label,
                              medium.volume.uuid, medium.volume.fsType, medium.added,
                              SqlBytes{medium.volume.path}});
        m_medium = std::to_string(Number(r.get(), 0, 0));
    }
    ~PostgresAdd() override {
        if (m_copying)
            m_db.AbandonCopy();
    }
    PostgresAdd(const PostgresAdd&) = delete;
    PostgresAdd& operator=(const PostgresAdd&) = delete;

    void AddFolder(std::string_view relativePath,
                   const std::vector<RecordedEntry>& entries) override {
        if (!m_folderIds.Holds(1) || !m_entryIds.Holds(entries.size())) {
            EndEntries();
            if (!m_folderIds.Holds(1))
                m_folderIds.Fill(1);
            if (!m_entryIds.Holds(entries.size()))
                m_entryIds.Fill(entries.size());
        }
        std::string path(relativePath);
        if (!path.empty())
            path += '/';
        const std::string folder = std::to_string(m_folderIds.Next());
        m_folders += folder + '\t' + m_medium + '\t';
        AppendCopyBytes(m_folders, path);
        m_folders += '\n';
        std::vector<std::int64_t> ids;
        ids.reserve(entries.size());
        for (const auto& entry : entries)
            ids.push_back(AppendEntry(folder, entry));
        m_tally.AddFolder(relativePath, entries, ids);
        if (m_entries.size() > kCopyBytes)
            SendEntries();
    }

    // The folder entries go in last, with their sizes, rather than being updated: an update
    // would write each of them and its index entries a second time.
    void Commit() override {
        const Call call(m_db);
        std::unordered_map<std::int64_t, std::uint64_t> sizes;
        for (const auto& [id, size] : m_tally.FolderSizes())
            sizes.emplace(id, size);
        for (const auto& row : m_folderEntries) {
            const auto size = sizes.find(row.id);
            m_entries +=
                row.before + std::to_string(size == sizes.end() ? 0 : size->second) + row.after;
        }
        EndEntries();
        if (!m_folders.empty())
            m_db.Copy("COPY folders(id, medium, path) FROM STDIN", m_folders);
        m_db.Exec("UPDATE media SET files = $1, folders = $2, bytes = $3 WHERE id = " + m_medium,
                  {m_tally.files, m_tally.folders, static_cast<std::int64_t>(m_tally.bytes)});
        m_transaction.Commit();
        // Searches read the pending list of the name index from end to end: it is merged now.
        // The planner's picture of the table must follow a large load, or it may prefer
        // reading the whole table to the name index.
        m_db.Exec("SELECT gin_clean_pending_list('entries_key')");
        if (m_tally.files + m_tally.folders >= kAnalyzeAfter)
            m_db.Exec("ANALYZE entries");
    }

private:
    // Two adds of one name, or of one folder, take turns, as they do on SQLite: the second
    // sees the first's medium once it is committed, and is refused or replaces it, instead of
    // failing on the name's unique index. Adds of other media go on side by side.
    void LockNameAndFolder(const Medium& medium) {
        m_db.Exec("SELECT pg_advisory_xact_lock($1, hashtext($2))", {kAddLockSpace, medium.name});
        m_db.Exec("SELECT pg_advisory_xact_lock($1, hashtext($2))",
                  {kAddLockSpace + 1, medium.volume.uuid + '\n' + medium.volume.path});
    }

    std::int64_t AppendEntry(const std::string& folder, const RecordedEntry& entry) {
        const std::int64_t id = m_entryIds.Next();
        std::string row = std::to_string(id) + '\t' + m_medium + '\t' + folder + '\t';
        AppendCopyBytes(row, entry.name);
        row += '\t';
        AppendCopyText(row, SearchKey(entry.name));
        row += '\t';
        std::string after =
            '\t' + std::to_string(entry.modified) + '\t' + std::to_string(entry.attributes) + '\n';
        if (entry.attributes & kAttrFolder) {
            m_folderEntries.push_back({id, std::move(row), std::move(after)});
        } else {
            m_entries += row;
            m_entries += std::to_string(entry.size);
            m_entries += after;
        }
        return id;
    }

    // Hands the rows made so far to the server, which takes them in while the walk goes on.
    void SendEntries() {
        if (!m_copying) {
            m_db.BeginCopy("COPY entries(id, medium, parent, name, key, size, modified, "
                           "attributes) FROM STDIN");
            m_copying = true;
        }
        m_db.CopyRows(m_entries);
        m_entries.clear();
    }

    void EndEntries() {
        if (!m_entries.empty())
            SendEntries();
        if (m_copying) {
            m_copying = false;
            m_db.EndCopy();
        }
    }

    Postgres& m_db;
    Transaction m_transaction;
    IdPool m_folderIds;
    IdPool m_entryIds;
    std::string m_medium;
    std::string m_folders;
    std::string m_entries;
    std::vector<FolderEntryRow> m_folderEntries;
    bool m_copying = false;
    AddTally m_tally;
};

std::unique_ptr<ICatalogueAdd> PostgresCatalogue::BeginAdd(const Medium& medium, bool replace) {
    const Call call(m_db);
    return std::make_unique<PostgresAdd>(*this, medium, replace);
}

} // namespace

std::unique_ptr<ICatalogue> OpenPostgresCatalogue(const std::string& uri, CatalogueUse use) {
    return std::make_unique<PostgresCatalogue>(uri, use);
}
