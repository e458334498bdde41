#pragma once

#include "catalogue/Connection.h"
#include "engine/Handles.h"

#include <atomic>
#include <memory>
#include <string>

struct pg_conn;
struct pg_result;
struct pg_cancel;

// A connection to a PostgreSQL server, named by a URI (libpq's environment and password file
// apply), speaking UTF-8; a database in another encoding is refused. An interrupted statement
// is cancelled on the server; a server that does not confirm in time loses the connection,
// and the next statement makes a new one.
class PostgresConnection final : public IConnection {
public:
    explicit PostgresConnection(const std::string& uri);
    ~PostgresConnection() override;
    PostgresConnection(const PostgresConnection&) = delete;
    PostgresConnection& operator=(const PostgresConnection&) = delete;

    const std::string& Location() const override { return m_location; }
    // A call waiting for the server is woken to cancel its statement.
    void Interrupt() override;
    void ThrowIfInterrupted() override;
    void EndCall() override { m_interrupted = false; }
    void SetWaits(CatalogueWaits waits) override { m_waits = std::move(waits); }

    // Without parameters, `sql` may be several statements.
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

    // COPY ... FROM STDIN: BeginCopy, any number of CopyRows, EndCopy. The server takes the rows
    // in while the next ones are made; nothing else can be sent until EndCopy.
    void BeginCopy(const std::string& sql);
    void CopyRows(const std::string& rows);
    void EndCopy();
    // Gives up a COPY in progress; the transaction fails with it.
    void AbandonCopy() noexcept;

private:
    struct ResultClearer {
        void operator()(pg_result* result) const;
    };
    using Result = std::unique_ptr<pg_result, ResultClearer>;
    struct ConnectionCloser {
        void operator()(pg_conn* conn) const;
    };
    struct CancelFreer {
        void operator()(pg_cancel* cancel) const;
    };
    class Params;

    [[noreturn]] void Fail(const pg_result* result = nullptr) const;
    [[noreturn]] void FailWith(std::string detail) const;
    void RequireUtf8();
    void Connect();
    pg_conn* Conn();
    bool ClosedByServer() const;
    void Send(int sent);
    void SendParams(const std::string& sql, const SqlParams& params);
    void AwaitResult();
    [[noreturn]] void GiveUpConnection();
    void DropConnection();
    Result NextResult();
    Result LastResult();
    void Cancel();
    void Drain();
    bool HandOut(const pg_result* result, const RowVisitor& each);

    std::string m_uri;
    std::string m_location;
    std::unique_ptr<pg_conn, ConnectionCloser> m_conn;
    std::unique_ptr<pg_cancel, CancelFreer> m_cancel;
    mutable std::atomic<bool> m_interrupted = false;
    Descriptor m_wake; // an event that Interrupt signals; none when no descriptor was left
    CatalogueWaits m_waits;
    mutable bool m_gaveUp = false;
    bool m_cancelSent = false; // for the statement sent last
    // Changes whenever the connection is given up, so that a transaction begun on the old one
    // is not ended on the new one.
    int m_generation = 0;
    int m_transactionGeneration = -1;
    int m_transactions = 0; // open, the outermost and its savepoints
};
