#pragma once

#include "platform/app_error.h"

namespace movan {

// A failure reported by the database layer: a refused connection, a syntax
// error, a server error. Number and severity are the server's when the server
// raised it; errors of the client library carry its own number and severity 0
// is never used for an error.
class DatabaseError : public AppError {
public:
    DatabaseError(QString message, int number = 0, int severity = 16, int state = 0)
        : AppError(std::move(message))
        , m_number(number)
        , m_severity(severity)
        , m_state(state)
    {}

    int number() const { return m_number; }
    int severity() const { return m_severity; }
    int state() const { return m_state; }

private:
    int m_number;
    int m_severity;
    int m_state;
};

} // namespace movan
