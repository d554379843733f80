#pragma once

#include "engine_interface/result_sink.h"
#include "storage/storage_error.h"

#include <vector>

namespace sqlemu {

// A storage failure as a real server reports it: one or more messages with
// their numbers, severities, states and texts (e.g. 5133, 3156, 3119 when a
// restore cannot place a file). The interpreter sends them as they are and
// adds what ends the statement (3013 for BACKUP and RESTORE).
class ServerError : public StorageError {
public:
    explicit ServerError(std::vector<ServerMessage> messages);
    explicit ServerError(ServerMessage message)
        : ServerError(std::vector<ServerMessage>{std::move(message)})
    {}

    const std::vector<ServerMessage> &messages() const { return m_messages; }
    // The first message: the cause.
    int number() const { return m_messages.front().number; }

private:
    std::vector<ServerMessage> m_messages;
};

// The caller asked a long operation to stop (ATTENTION). Everything it had
// written is gone; the interpreter answers with the attention DONE.
class OperationCancelled : public StorageError {
public:
    OperationCancelled()
        : StorageError("The operation was cancelled")
    {}
};

} // namespace sqlemu
