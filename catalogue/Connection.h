#pragma once

#include "catalogue/Catalogue.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

// A value bound to a statement: NULL, a number, a text, or bytes.
struct SqlBytes {
    std::string bytes;
};
using SqlValue = std::variant<std::monostate, std::int64_t, std::string, SqlBytes>;
using SqlParams = std::vector<SqlValue>;

// One row of a result, lent for the call that is given it.
class SqlRow {
public:
    virtual ~SqlRow() = default;
    virtual bool IsNull(int column) const = 0;
    virtual std::int64_t Int(int column) const = 0;
    // A text or bytes column, byte for byte.
    virtual std::string Text(int column) const = 0;
};

// Called for each row in turn; false stops the statement.
using RowVisitor = std::function<bool(const SqlRow&)>;

// Rows written into one table in bulk, faster than one statement each; the values of a row are
// in the order of the columns the load was begun with. Nothing else runs on the connection
// until Finish; dropping the load before it gives up the rows and fails the transaction.
class IBulkLoad {
public:
    virtual ~IBulkLoad() = default;
    virtual void Row(const SqlParams& values) = 0;
    virtual void Finish() = 0;
};

// What the catalogue asks of a database: statements with parameters written $1, $2, ...,
// transactions, bulk loads, and an interruption from any thread. Failures throw
// CatalogueError (CatalogueInterrupted, CatalogueGaveUp), with messages fit for the user.
class IConnection {
public:
    virtual ~IConnection() = default;

    // The catalogue's location as messages show it (no password).
    virtual const std::string& Location() const = 0;

    // Safe from any thread: the statement running now, or the next one, throws
    // CatalogueInterrupted.
    virtual void Interrupt() = 0;
    // Throws CatalogueInterrupted when an interruption came, for work between statements.
    virtual void ThrowIfInterrupted() = 0;
    // A call has ended: an interruption that came too late for it is forgotten.
    virtual void EndCall() = 0;
    virtual void SetWaits(CatalogueWaits waits) = 0;

    // Runs one statement; the number of rows it changed.
    virtual std::int64_t Execute(const std::string& sql, const SqlParams& params = {}) = 0;
    // Runs one statement and hands its rows to `each`, one at a time, until it returns false.
    virtual void Query(const std::string& sql, const SqlParams& params, const RowVisitor& each) = 0;
    // As Query, for a read whose rows may be many, never a statement that writes.
    virtual void QueryMany(const std::string& sql, const SqlParams& params,
                           const RowVisitor& each) = 0;

    // A transaction that writes: other writers wait for its end.
    virtual void Begin() = 0;
    virtual void Commit() = 0;
    // Never throws: a connection that was lost has lost its transaction too.
    virtual void Rollback() noexcept = 0;

    virtual std::unique_ptr<IBulkLoad> BeginLoad(const std::string& table,
                                                 const std::vector<std::string>& columns) = 0;
};

// The first column of the first row, 0 when there is none or it is NULL. Every row is read, so
// that a statement that writes runs to its end.
std::int64_t QueryNumber(IConnection& db, const std::string& sql, const SqlParams& params = {});

// Begin ... Commit on `db`; rolled back when dropped before Commit.
class Transaction {
public:
    explicit Transaction(IConnection& db) : m_db(db) { m_db.Begin(); }
    ~Transaction() {
        if (!m_done)
            m_db.Rollback();
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void Commit() {
        m_db.Commit();
        m_done = true;
    }

private:
    IConnection& m_db;
    bool m_done = false;
};
