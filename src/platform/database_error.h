#pragma once

#include "platform/app_error.h"

namespace movan {

// A failure reported by the database layer: a refused connection, a syntax
// error, a server error. Number and severity are the server's when the server
// raised it; errors of the client library carry its own number and severity 0
// is never used for an error.
class DatabaseError : public AppError {
public:
    // Whether the request may have reached the server: then a failure the
    // server did not report itself (a time-out, a connection cut while the
    // reply travelled) says nothing about what the server did.
    enum class Outcome { NotDone, Unknown };

    DatabaseError(QString message, int number = 0, int severity = 16, int state = 0, Outcome outcome = Outcome::NotDone)
        : AppError(std::move(message))
        , m_number(number)
        , m_severity(severity)
        , m_state(state)
        , m_outcome(outcome)
    {}

    int number() const { return m_number; }
    int severity() const { return m_severity; }
    int state() const { return m_state; }
    // The server may have carried the request out, in part or whole; only the
    // server can now say what it did.
    bool outcomeUnknown() const { return m_outcome == Outcome::Unknown; }

    // The server the connection was meant for, when the failure is that it
    // could not be reached or logged into: the client library's own words
    // rarely name it.
    const QString &server() const { return m_server; }
    void setServer(QString server) { m_server = std::move(server); }

private:
    int m_number;
    int m_severity;
    int m_state;
    Outcome m_outcome;
    QString m_server;
};

} // namespace movan
