#include "PostgresConnection.h"

#include <libpq-fe.h>

#include <chrono>
#include <cstdlib>
#include <deque>
#include <optional>
#include <poll.h>
#include <string_view>
#include <sys/eventfd.h>
#include <utility>

namespace {

constexpr Oid kBoolOid = 16;
constexpr Oid kInt8Oid = 20;
constexpr Oid kInt2Oid = 21;
constexpr Oid kInt4Oid = 23;

// Rows handed to the server at a time, while a bulk load's COPY stays open.
constexpr std::size_t kCopyBytes = 256 << 10;

// How long an interrupted call waits for the server to confirm; a server that does not answer
// by then loses the connection, and the next call makes a new one.
constexpr auto kCancelGrace = std::chrono::seconds(2);
// How often a call that waits for the server looks at the time, for the notes and give-ups of
// CatalogueWaits; an interruption wakes it at once.
constexpr int kPollMs = 50;

// The SQLSTATE of a statement cancelled at the client's request.
constexpr std::string_view kQueryCanceled = "57014";

// A whole number in the server's binary form: big-endian, of the column's width.
std::int64_t FromBinaryInteger(const char* bytes, int length) {
    std::uint64_t value = 0;
    for (int i = 0; i < length; ++i)
        value = value << 8 | static_cast<unsigned char>(bytes[i]);
    const int unused = 64 - 8 * length;
    // Shifted up and back down, so that the sign of a narrower column is kept.
    return unused > 0 ? static_cast<std::int64_t>(value << unused) >> unused
                      : static_cast<std::int64_t>(value);
}

// A row of a result in binary form (every statement's rows are asked for in it), column by
// column.
class Row final : public SqlRow {
public:
    Row(const PGresult* result, int row) : m_result(result), m_row(row) {}
    bool IsNull(int column) const override { return PQgetisnull(m_result, m_row, column) != 0; }
    std::int64_t Int(int column) const override {
        const Oid type = PQftype(m_result, column);
        if (type != kInt8Oid && type != kInt4Oid && type != kInt2Oid && type != kBoolOid)
            throw CatalogueError("The catalogue answered a number in a form it cannot read.");
        return FromBinaryInteger(PQgetvalue(m_result, m_row, column),
                                 PQgetlength(m_result, m_row, column));
    }
    std::string Text(int column) const override {
        return std::string(PQgetvalue(m_result, m_row, column),
                           static_cast<std::size_t>(PQgetlength(m_result, m_row, column)));
    }

private:
    const PGresult* m_result;
    int m_row;
};

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

void AppendCopyValue(std::string& row, const SqlValue& value) {
    if (std::holds_alternative<std::monostate>(value))
        row += "\\N";
    else if (const auto* number = std::get_if<std::int64_t>(&value))
        row += std::to_string(*number);
    else if (const auto* text = std::get_if<std::string>(&value))
        AppendCopyText(row, *text);
    else
        AppendCopyBytes(row, std::get<SqlBytes>(value).bytes);
}

// Rows in COPY's text form, handed to the server a batch at a time while the next are made.
class CopyLoad final : public IBulkLoad {
public:
    CopyLoad(PostgresConnection& db, const std::string& sql) : m_db(db) { m_db.BeginCopy(sql); }
    ~CopyLoad() override {
        if (!m_finished)
            m_db.AbandonCopy();
    }
    CopyLoad(const CopyLoad&) = delete;
    CopyLoad& operator=(const CopyLoad&) = delete;

    void Row(const SqlParams& values) override {
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i)
                m_rows += '\t';
            AppendCopyValue(m_rows, values[i]);
        }
        m_rows += '\n';
        if (m_rows.size() > kCopyBytes)
            Send();
    }
    void Finish() override {
        Send();
        m_finished = true;
        m_db.EndCopy();
    }

private:
    void Send() {
        if (!m_rows.empty())
            m_db.CopyRows(m_rows);
        m_rows.clear();
    }

    PostgresConnection& m_db;
    std::string m_rows;
    bool m_finished = false;
};

} // namespace

void PostgresConnection::ResultClearer::operator()(PGresult* result) const {
    PQclear(result);
}
void PostgresConnection::ConnectionCloser::operator()(PGconn* conn) const {
    PQfinish(conn);
}
void PostgresConnection::CancelFreer::operator()(PGcancel* cancel) const {
    PQfreeCancel(cancel);
}

// Text parameters, bytes in binary.
class PostgresConnection::Params {
public:
    explicit Params(const SqlParams& params) {
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

PostgresConnection::PostgresConnection(const std::string& uri)
    : m_uri(uri), m_location(LocationForMessages(uri)),
      m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    Connect();
}

PostgresConnection::~PostgresConnection() = default;

// Without a wake-up (no descriptor was left for it), a call that waits notices an interruption
// when it next looks at the time.
void PostgresConnection::Interrupt() {
    m_interrupted = true;
    eventfd_write(m_wake.Get(), 1);
}

void PostgresConnection::ThrowIfInterrupted() {
    if (m_interrupted)
        Fail(nullptr);
}

void PostgresConnection::Fail(const PGresult* result) const {
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    if (std::exchange(m_gaveUp, false))
        throw CatalogueGaveUp("Gave up waiting for the PostgreSQL server of the catalogue " +
                              m_location + " after " +
                              std::to_string(m_waits.giveUpAfter->count() / 1000) + " s.");
    // The interruption is delivered: what the caller does next (a rollback) runs as usual.
    if (m_interrupted.exchange(false) || (state && state == kQueryCanceled))
        throw CatalogueInterrupted("The catalogue " + m_location + " was left as it was: stopped.");
    FailWith(result ? PQresultErrorMessage(result)
                    : (m_conn ? PQerrorMessage(m_conn.get()) : "the connection was lost"));
}

// libpq's message may quote the URI, or the part of it that it could not read.
void PostgresConnection::FailWith(std::string detail) const {
    while (!detail.empty() && (detail.back() == '\n' || detail.back() == ' '))
        detail.pop_back();
    throw CatalogueError("The catalogue " + m_location +
                         " cannot be used: " + RedactPasswords(detail, m_uri));
}

// Names, keys and patterns are UTF-8, and `_` must match one character, not one byte: the
// connection speaks UTF-8 whatever the environment asks, and a database in another encoding is
// refused.
void PostgresConnection::RequireUtf8() {
    if (PQsetClientEncoding(m_conn.get(), "UTF8") != 0)
        Fail();
    const char* encoding = PQparameterStatus(m_conn.get(), "server_encoding");
    if (encoding && std::string_view(encoding) == "UTF8")
        return;
    throw CatalogueError("The catalogue " + m_location +
                         " cannot be used: its database's encoding is " +
                         (encoding ? encoding : "unknown") + ", not UTF8; it is left as it is.");
}

void PostgresConnection::Connect() {
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
    Execute("SET client_min_messages = warning");
    // The catalogue's statements are short, and many: compiling one to machine code (a server's
    // choice for any statement it expects to be costly) takes a second, far longer than running
    // it. Servers before version 11 compile nothing.
    if (PQserverVersion(m_conn.get()) >= 110000)
        Execute("SET jit = off");
}

// The connection for the next statement, made again when an earlier call gave it up, or when
// the server closed it between transactions (a restart, an administrator, an idle timeout). An
// interruption that came before the statement stops it before it is sent.
PGconn* PostgresConnection::Conn() {
    if (m_interrupted)
        Fail();
    if (m_conn && m_transactions == 0 && ClosedByServer())
        DropConnection();
    if (!m_conn)
        Connect();
    return m_conn.get();
}

// Whether the server has hung up, without reading what it said before: a server that closes an
// idle connection sends its reason, which libpq would only pass to the notice processor.
bool PostgresConnection::ClosedByServer() const {
    pollfd fd{PQsocket(m_conn.get()), POLLRDHUP, 0};
    return PQstatus(m_conn.get()) != CONNECTION_OK ||
           (::poll(&fd, 1, 0) > 0 && (fd.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)));
}

void PostgresConnection::Send(int sent) {
    if (!sent)
        Fail();
    m_cancelSent = false;
}

// The rows come in binary form: bytes are not written in hex, nor numbers in digits.
void PostgresConnection::SendParams(const std::string& sql, const SqlParams& params) {
    const Params p(params);
    Send(PQsendQueryParams(Conn(), sql.c_str(), p.Count(), nullptr, p.Values(), p.Lengths(),
                           p.Formats(), 1));
}

// Waits until a result can be taken without blocking. An interruption asks the server to cancel
// the statement; a server that does not confirm in time loses the connection.
void PostgresConnection::AwaitResult() {
    // Rows already read from the socket are taken without reading it again: a result of many
    // rows would otherwise be moved in libpq's buffer once for each of them.
    if (!PQisBusy(m_conn.get()))
        return;
    const auto start = std::chrono::steady_clock::now();
    bool noted = false;
    std::optional<std::chrono::steady_clock::time_point> cancelled;
    if (m_cancelSent)
        cancelled = start;
    while (true) {
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
        // A wake-up left over from an interruption handled already costs one more look.
        pollfd fds[] = {{PQsocket(m_conn.get()), POLLIN, 0}, {m_wake.Get(), POLLIN, 0}};
        if (::poll(fds, 2, kPollMs) > 0 && (fds[1].revents & POLLIN)) {
            eventfd_t wakes = 0;
            eventfd_read(m_wake.Get(), &wakes);
        }
    }
}

void PostgresConnection::GiveUpConnection() {
    DropConnection();
    Fail();
}

// The next statement makes a new connection; a transaction begun on this one ends with it.
void PostgresConnection::DropConnection() {
    m_conn.reset();
    m_cancel.reset();
    ++m_generation;
}

PostgresConnection::Result PostgresConnection::NextResult() {
    AwaitResult();
    return Result(PQgetResult(m_conn.get()));
}

// The result of a statement sent, after any before it; the first failure among them fails.
PostgresConnection::Result PostgresConnection::LastResult() {
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

// Once for each statement: each request costs the server a process of its own, started for it.
void PostgresConnection::Cancel() {
    char error[256];
    if (m_cancel && !std::exchange(m_cancelSent, true))
        PQcancel(m_cancel.get(), error, sizeof error);
}

void PostgresConnection::Drain() {
    while (Result rest = NextResult()) {
    }
}

std::int64_t PostgresConnection::Execute(const std::string& sql, const SqlParams& params) {
    if (params.empty())
        Send(PQsendQuery(Conn(), sql.c_str()));
    else
        SendParams(sql, params);
    const Result result = LastResult();
    return std::strtoll(PQcmdTuples(result.get()), nullptr, 10);
}

// The rows come one at a time; rows that have arrived already are not handed out after an
// interruption, and those not wanted are given up.
void PostgresConnection::Query(const std::string& sql, const SqlParams& params,
                               const RowVisitor& each) {
    SendParams(sql, params);
    if (!PQsetSingleRowMode(m_conn.get()))
        Fail();
    while (true) {
        if (m_interrupted) {
            Drain(); // the statement is cancelled if the server is still at it
            Fail();
        }
        const Result result = NextResult();
        if (!result)
            return;
        const auto status = PQresultStatus(result.get());
        if (status == PGRES_SINGLE_TUPLE) {
            if (!HandOut(result.get(), each)) {
                Cancel();
                Drain();
                return;
            }
            continue;
        }
        Drain();
        if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
            Fail(result.get());
        return;
    }
}

// The row of `result` given to `each`. When `each` throws, the rows still under way are given
// up first, so that the connection can take the next statement (the caller's rollback).
bool PostgresConnection::HandOut(const pg_result* result, const RowVisitor& each) {
    try {
        return each(Row(result, 0));
    } catch (...) {
        Cancel();
        Drain();
        throw;
    }
}

// A cursor hands out the rows in chunks of this many.
constexpr int kFetchedRows = 10000;
// How many rows of a chunk are handed out between two reads of the socket for the next one.
constexpr int kRowsBetweenReads = 500;

// Many rows are fetched in chunks through a cursor, in a transaction of their own (or a savepoint
// of the caller's): one result a row costs more than the row, and one result of every row holds
// them all in memory. The server reads each chunk while the one before is handed out.
void PostgresConnection::QueryMany(const std::string& sql, const SqlParams& params,
                                   const RowVisitor& each) {
    Transaction transaction(*this);
    // Planned for every row, not for the first tenth as a cursor is by default.
    Execute("SET LOCAL cursor_tuple_fraction = 1");
    // In binary form: the server spends less on each value, and bytes are not written in hex.
    Execute("DECLARE many BINARY NO SCROLL CURSOR FOR " + sql, params);
    const std::string fetch = "FETCH " + std::to_string(kFetchedRows) + " FROM many";
    Send(PQsendQuery(Conn(), fetch.c_str()));
    for (bool wanted = true; wanted;) {
        const Result rows = LastResult();
        const int count = PQntuples(rows.get());
        const bool more = count == kFetchedRows;
        if (more)
            Send(PQsendQuery(Conn(), fetch.c_str()));
        try {
            for (int row = 0; row < count && wanted; ++row) {
                // The next chunk is taken from the socket as it comes, so that the server is not
                // held up by a full socket until this one is handed out.
                if (more && row % kRowsBetweenReads == 0)
                    PQconsumeInput(m_conn.get());
                // A chunk takes longer to hand out than an interruption may wait.
                if (m_interrupted)
                    Fail();
                wanted = each(Row(rows.get(), row));
            }
        } catch (...) {
            if (more)
                Drain(); // so that the rollback can be sent
            throw;
        }
        if (!wanted && more)
            Drain();
        wanted = wanted && more;
    }
    Execute("CLOSE many");
    transaction.Commit();
}

void PostgresConnection::Begin() {
    if (m_transactions == 0) {
        Execute("BEGIN");
        m_transactionGeneration = m_generation;
    } else {
        Execute("SAVEPOINT nested");
    }
    ++m_transactions;
}

void PostgresConnection::Commit() {
    Execute(m_transactions > 1 ? "RELEASE SAVEPOINT nested" : "COMMIT");
    --m_transactions;
}

void PostgresConnection::Rollback() noexcept {
    const bool nested = m_transactions > 1;
    if (m_transactions > 0)
        --m_transactions;
    // A connection that was given up, or that the server closed, took its transaction with it
    // (and a new one must not be made for the rollback).
    if (!m_conn || m_transactionGeneration != m_generation || ClosedByServer()) {
        m_transactions = 0;
        return;
    }
    try {
        if (nested) {
            Execute("ROLLBACK TO SAVEPOINT nested");
            Execute("RELEASE SAVEPOINT nested");
        } else {
            Execute("ROLLBACK");
        }
    } catch (const CatalogueError&) {
        // The server is gone: it has dropped the transaction itself.
    }
}

void PostgresConnection::BeginCopy(const std::string& sql) {
    Send(PQsendQuery(Conn(), sql.c_str()));
    const Result start = NextResult();
    if (PQresultStatus(start.get()) != PGRES_COPY_IN) {
        Drain();
        Fail(start.get());
    }
}

void PostgresConnection::CopyRows(const std::string& rows) {
    if (m_interrupted ||
        PQputCopyData(m_conn.get(), rows.data(), static_cast<int>(rows.size())) != 1)
        Fail();
}

void PostgresConnection::EndCopy() {
    if (PQputCopyEnd(m_conn.get(), nullptr) != 1)
        Fail();
    LastResult();
}

void PostgresConnection::AbandonCopy() noexcept {
    if (!m_conn)
        return;
    PQputCopyEnd(m_conn.get(), "the add was given up");
    try {
        Drain();
    } catch (const CatalogueError&) {
        // The connection was given up: so was the COPY.
    }
}

std::unique_ptr<IBulkLoad> PostgresConnection::BeginLoad(const std::string& table,
                                                         const std::vector<std::string>& columns) {
    std::string names;
    for (std::size_t i = 0; i < columns.size(); ++i)
        names += (i ? ", " : "") + columns[i];
    return std::make_unique<CopyLoad>(*this, "COPY " + table + "(" + names + ") FROM STDIN");
}
