#include "SqliteConnection.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

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

int FlagsFor(SqliteAccess access) {
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

// A file that cannot be written is read through a URI. When its journal has been merged into it
// and its folder cannot be written either (read-only storage), SQLite could not make the
// shared-memory file it reads with: it is told that the file does not change.
std::string NameToOpen(const std::string& path, SqliteAccess access) {
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

class Row final : public SqlRow {
public:
    explicit Row(sqlite3_stmt* stmt) : m_stmt(stmt) {}
    bool IsNull(int column) const override {
        return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
    }
    std::int64_t Int(int column) const override { return sqlite3_column_int64(m_stmt, column); }
    std::string Text(int column) const override {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(m_stmt, column));
        return data ? std::string(data,
                                  static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)))
                    : std::string();
    }

private:
    sqlite3_stmt* m_stmt;
};

} // namespace

// A statement prepared once; `busy` while a use of it runs.
struct SqliteConnection::CachedStatement {
    sqlite3_stmt* stmt = nullptr;
    bool busy = false;
    ~CachedStatement() { sqlite3_finalize(stmt); }
};

// Resets its statement however the use of it ends, so that it holds no lock.
class SqliteConnection::Cursor {
public:
    Cursor(sqlite3_stmt* stmt, CachedStatement* cached) : m_stmt(stmt), m_cached(cached) {
        if (m_cached)
            m_cached->busy = true;
    }
    ~Cursor() {
        if (!m_stmt)
            return;
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        if (m_cached)
            m_cached->busy = false;
        else
            sqlite3_finalize(m_stmt);
    }
    Cursor(Cursor&& other) noexcept
        : m_stmt(std::exchange(other.m_stmt, nullptr)), m_cached(other.m_cached) {}
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;
    Cursor& operator=(Cursor&&) = delete;
    sqlite3_stmt* Get() const { return m_stmt; }

private:
    sqlite3_stmt* m_stmt;
    CachedStatement* m_cached;
};

SqliteConnection::SqliteConnection(const std::string& path, SqliteAccess access) : m_path(path) {
    const int rc =
        sqlite3_open_v2(NameToOpen(path, access).c_str(), &m_db, FlagsFor(access), nullptr);
    Check(rc);
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_handler(m_db, &SqliteConnection::OnBusy, this);
}

SqliteConnection::~SqliteConnection() {
    m_statements.clear();
    sqlite3_close_v2(m_db);
}

void SqliteConnection::ThrowIfInterrupted() {
    if (m_interrupted)
        Check(SQLITE_INTERRUPT);
}

void SqliteConnection::Interrupt() {
    m_interrupted = true;
    sqlite3_interrupt(m_db);
}

void SqliteConnection::Check(int rc) const {
    if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE)
        return;
    const int primary = rc & 0xff;
    if (primary == SQLITE_BUSY && std::exchange(m_gaveUp, false))
        throw CatalogueGaveUp("Gave up waiting for the catalogue " + m_path + " after " +
                              std::to_string(m_waits.giveUpAfter->count() / 1000) +
                              " s: another program is writing it.");
    // A wait for a lock that was interrupted ends as "busy". The interruption is delivered:
    // what the caller does next (a rollback) runs as usual.
    if (m_interrupted.exchange(false) || primary == SQLITE_INTERRUPT)
        throw CatalogueInterrupted("The catalogue " + m_path + " was left as it was: stopped.");
    if (primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT)
        throw CatalogueError("The catalogue " + m_path + " is damaged; it is left as it is.");
    const char* detail = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
    throw CatalogueError("The catalogue " + m_path + " cannot be used: " + detail);
}

// Another program holds the write lock while it adds a medium: wait for it, until the call is
// interrupted or has waited as long as it may.
int SqliteConnection::OnBusy(void* connection, int count) {
    return static_cast<SqliteConnection*>(connection)->WaitForLock(count) ? 1 : 0;
}

bool SqliteConnection::WaitForLock(int count) {
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
        m_waits.note("Waiting for the catalogue " + m_path + ", which " + LockHolderOf(m_path) +
                     " is writing...");
    }
    if (m_waits.giveUpAfter && waited >= *m_waits.giveUpAfter) {
        m_gaveUp = true;
        return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return true;
}

void SqliteConnection::ExecuteScript(const std::string& sql) {
    // SQLite forgets an interruption that comes between two statements of a call.
    Check(m_interrupted ? SQLITE_INTERRUPT
                        : sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr));
}

// SQLite hands out the rows as the statement steps: many rows cost no more than one at a time.
void SqliteConnection::QueryMany(const std::string& sql, const SqlParams& params,
                                 const RowVisitor& each) {
    Query(sql, params, each);
}

void SqliteConnection::Begin() {
    ExecuteScript(m_transactions == 0 ? "BEGIN IMMEDIATE" : "SAVEPOINT nested");
    ++m_transactions;
}

void SqliteConnection::Commit() {
    ExecuteScript(m_transactions > 1 ? "RELEASE nested" : "COMMIT");
    --m_transactions;
}

void SqliteConnection::Rollback() noexcept {
    const bool nested = m_transactions > 1;
    if (m_transactions > 0)
        --m_transactions;
    sqlite3_exec(m_db, nested ? "ROLLBACK TO nested; RELEASE nested" : "ROLLBACK", nullptr, nullptr,
                 nullptr);
}

// The statement for `sql`: the one prepared before, unless it is in use (the same text asked
// for within a Query of it), when one of its own serves this use only. Searches write their
// lists of numbers into their statements: the statements kept are bounded.
SqliteConnection::Cursor SqliteConnection::Prepare(const std::string& sql) {
    if (m_statements.size() >= kKeptStatements)
        std::erase_if(m_statements, [](const auto& kept) { return !kept.second->busy; });
    auto& cached = m_statements[sql];
    if (!cached)
        cached = std::make_unique<CachedStatement>();
    sqlite3_stmt* stmt = nullptr;
    if (cached->busy) {
        Check(sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr));
        return Cursor(stmt, nullptr);
    }
    if (!cached->stmt)
        Check(sqlite3_prepare_v3(m_db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &cached->stmt,
                                 nullptr));
    return Cursor(cached->stmt, cached.get());
}

// Each parameter $N of the statement takes params[N - 1].
void SqliteConnection::BindAll(sqlite3_stmt* stmt, const SqlParams& params) {
    const int count = sqlite3_bind_parameter_count(stmt);
    for (int index = 1; index <= count; ++index) {
        const char* name = sqlite3_bind_parameter_name(stmt, index);
        const long number = name && name[0] == '$' ? std::strtol(name + 1, nullptr, 10) : 0;
        if (number < 1 || static_cast<std::size_t>(number) > params.size())
            throw CatalogueError(std::string("The catalogue's statement has no value for ") +
                                 (name ? name : "a parameter") + ".");
        Bind(stmt, index, params[static_cast<std::size_t>(number) - 1]);
    }
}

void SqliteConnection::Bind(sqlite3_stmt* stmt, int index, const SqlValue& value, bool lent) {
    const sqlite3_destructor_type lifetime = lent ? SQLITE_STATIC : SQLITE_TRANSIENT;
    int rc = SQLITE_OK;
    if (std::holds_alternative<std::monostate>(value))
        rc = sqlite3_bind_null(stmt, index);
    else if (const auto* number = std::get_if<std::int64_t>(&value))
        rc = sqlite3_bind_int64(stmt, index, *number);
    else if (const auto* text = std::get_if<std::string>(&value))
        rc = sqlite3_bind_text(stmt, index, text->data(), static_cast<int>(text->size()), lifetime);
    else {
        const auto& bytes = std::get<SqlBytes>(value).bytes;
        rc = sqlite3_bind_blob(stmt, index, bytes.data(), static_cast<int>(bytes.size()), lifetime);
    }
    Check(rc);
}

bool SqliteConnection::Step(sqlite3_stmt* stmt) {
    // SQLite forgets an interruption that comes between two statements of a call.
    const int rc = m_interrupted ? SQLITE_INTERRUPT : sqlite3_step(stmt);
    Check(rc);
    return rc == SQLITE_ROW;
}

std::int64_t SqliteConnection::Execute(const std::string& sql, const SqlParams& params) {
    Query(sql, params, [](const SqlRow&) { return true; });
    return sqlite3_changes64(m_db);
}

void SqliteConnection::Query(const std::string& sql, const SqlParams& params,
                             const RowVisitor& each) {
    const Cursor cursor = Prepare(sql);
    BindAll(cursor.Get(), params);
    const Row row(cursor.Get());
    while (Step(cursor.Get()) && each(row)) {
    }
}

// Rows inserted by one prepared statement, in the load's transaction.
class SqliteConnection::InsertLoad final : public IBulkLoad {
public:
    InsertLoad(SqliteConnection& db, Cursor cursor) : m_db(db), m_cursor(std::move(cursor)) {}
    // The statement's parameters are $1, $2, ... in that order, which SQLite numbers alike: a
    // row's values are bound by their places, without looking up each parameter's name. They
    // are not copied: they outlive the step, and the next row binds every one again.
    void Row(const SqlParams& values) override {
        if (values.size() != static_cast<std::size_t>(sqlite3_bind_parameter_count(m_cursor.Get())))
            throw CatalogueError("The catalogue's statement has another number of values.");
        for (std::size_t i = 0; i < values.size(); ++i)
            m_db.Bind(m_cursor.Get(), static_cast<int>(i + 1), values[i], true);
        m_db.Step(m_cursor.Get());
        sqlite3_reset(m_cursor.Get());
    }
    void Finish() override {}

private:
    SqliteConnection& m_db;
    Cursor m_cursor;
};

std::unique_ptr<IBulkLoad> SqliteConnection::BeginLoad(const std::string& table,
                                                       const std::vector<std::string>& columns) {
    std::string names;
    std::string values;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        names += (i ? ", " : "") + columns[i];
        values += (i ? ", $" : "$") + std::to_string(i + 1);
    }
    return std::make_unique<InsertLoad>(
        *this, Prepare("INSERT INTO " + table + "(" + names + ") VALUES (" + values + ")"));
}
