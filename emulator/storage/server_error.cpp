#include "storage/server_error.h"

namespace sqlemu {

namespace {

std::string joined(const std::vector<ServerMessage> &messages)
{
    std::string text;
    for (const auto &m : messages) {
        if (!text.empty())
            text += '\n';
        text += "Msg " + std::to_string(m.number) + ": " + m.text;
    }
    return text;
}

} // namespace

ServerError::ServerError(std::vector<ServerMessage> messages)
    : StorageError(joined(messages))
    , m_messages(std::move(messages))
{
    if (m_messages.empty())
        m_messages.push_back({});
}

} // namespace sqlemu
