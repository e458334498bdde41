#pragma once

// One call of a catalogue, from its start to its end: however the call ends, the connection
// is told, so that an interrupt meant for this call does not stop the next one.
template <typename Connection> class CallScope {
public:
    explicit CallScope(Connection& db) : m_db(db) {}
    ~CallScope() { m_db.EndCall(); }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

private:
    Connection& m_db;
};
