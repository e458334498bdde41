#pragma once

#include "catalogue/Connection.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

// How an SQLite catalogue file is opened.
enum class SqliteAccess {
    Read,   // as it is, without a change: the file or its folder cannot be written
    Write,  // a catalogue that exists, brought up to date when older
    Create, // the file, or its tables, are made when missing
};

// A connection to one SQLite file. Statements are prepared once and kept; while another
// program writes the file, a statement waits for it as CatalogueWaits say.
class SqliteConnection final : public IConnection {
public:
    SqliteConnection(const std::string& path, SqliteAccess access);
    ~SqliteConnection() override;
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    const std::string& Location() const override { return m_path; }
    void Interrupt() override;
    void ThrowIfInterrupted() override;
    void EndCall() override { m_interrupted = false; }
    void SetWaits(CatalogueWaits waits) override { m_waits = std::move(waits); }

    std::int64_t Execute(const std::string& sql, const SqlParams& params = {}) override;
    void Query(const std::string& sql, const SqlParams& params, const RowVisitor& each) override;
    void QueryMany(const std::string& sql, const SqlParams& params,
                   const RowVisitor& each) override;
    // A transaction begun within another is a savepoint of it.
    void Begin() override;
    void Commit() override;
    void Rollback() noexcept override;
    std::unique_ptr<IBulkLoad> BeginLoad(const std::string& table,
                                         const std::vector<std::string>& columns) override;

    // Statements without parameters, one after another.
    void ExecuteScript(const std::string& sql);
    sqlite3* Handle() const { return m_db; }
    // Throws the CatalogueError that SQLite's result code `rc` stands for, if any.
    void Check(int rc) const;

private:
    struct CachedStatement;
    class Cursor;
    class InsertLoad;

    static constexpr std::size_t kKeptStatements = 100;

    Cursor Prepare(const std::string& sql);
    void BindAll(sqlite3_stmt* stmt, const SqlParams& params);
    // Binds `value`, which SQLite copies unless it is `lent`: kept as it is until the statement
    // has stepped.
    void Bind(sqlite3_stmt* stmt, int index, const SqlValue& value, bool lent = false);
    // True while there is a row.
    bool Step(sqlite3_stmt* stmt);
    static int OnBusy(void* connection, int count);
    bool WaitForLock(int count);

    std::string m_path;
    sqlite3* m_db = nullptr;
    std::unordered_map<std::string, std::unique_ptr<CachedStatement>> m_statements;
    mutable std::atomic<bool> m_interrupted = false;
    CatalogueWaits m_waits;
    std::chrono::steady_clock::time_point m_waitStart;
    bool m_noted = false;
    mutable bool m_gaveUp = false;
    int m_transactions = 0; // open, the outermost and its savepoints
};
