#include "sql/session_registry.h"

#include "storage/collation.h"
#include "storage/server_clock.h"

namespace sqlemu {

void SessionRegistry::enter(int spid, const std::string &database)
{
    std::lock_guard lock(m_mutex);
    auto &entry = m_sessions[spid];
    if (!entry.killed)
        entry.database = database;
}

void SessionRegistry::leave(int spid)
{
    std::lock_guard lock(m_mutex);
    m_sessions.erase(spid);
}

void SessionRegistry::setConnectionCloser(int spid, std::function<void()> closeConnection)
{
    std::lock_guard lock(m_mutex);
    auto &entry = m_sessions[spid];
    entry.closeConnection = std::move(closeConnection);
    // Killed before the protocol could say how to close it.
    if (entry.killed && !entry.request)
        close(entry);
}

void SessionRegistry::close(Entry &entry)
{
    // Once: the descriptor behind it is the protocol's after this.
    if (auto closer = std::exchange(entry.closeConnection, nullptr))
        closer();
}

std::vector<int> SessionRegistry::othersIn(const std::string &database, int spid) const
{
    std::lock_guard lock(m_mutex);
    std::vector<int> found;
    for (const auto &[id, entry] : m_sessions)
        if (id != spid && !entry.killed && sameName(entry.database, database))
            found.push_back(id);
    return found;
}

std::vector<int> SessionRegistry::killOthersIn(const std::string &database, int spid)
{
    std::lock_guard lock(m_mutex);
    std::vector<int> killed;
    for (auto &[id, entry] : m_sessions)
        if (id != spid && !entry.killed && sameName(entry.database, database)) {
            entry.killed = true;
            entry.database.clear();
            // An idle client finds its connection closed before it sends
            // anything more, as with a real server.
            if (!entry.request)
                close(entry);
            killed.push_back(id);
        }
    return killed;
}

bool SessionRegistry::isKilled(int spid) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_sessions.find(spid);
    return it != m_sessions.end() && it->second.killed;
}

void SessionRegistry::beginRequest(int spid, const std::string &loginName, const std::string &database)
{
    std::lock_guard lock(m_mutex);
    auto &entry = m_sessions[spid];
    RunningRequest request;
    request.spid = spid;
    request.startTime = serverNow();
    request.database = database;
    request.loginName = loginName;
    entry.request = std::move(request);
}

void SessionRegistry::endRequest(int spid)
{
    std::lock_guard lock(m_mutex);
    auto it = m_sessions.find(spid);
    if (it == m_sessions.end())
        return;
    it->second.request.reset();
    if (it->second.killed)
        close(it->second);
}

void SessionRegistry::setCommand(int spid, const std::string &command, const std::string &database)
{
    std::lock_guard lock(m_mutex);
    auto it = m_sessions.find(spid);
    if (it == m_sessions.end() || !it->second.request)
        return;
    it->second.request->command = command;
    it->second.request->database = database;
    it->second.request->percentComplete = 0;
}

void SessionRegistry::setPercentComplete(int spid, double percent)
{
    std::lock_guard lock(m_mutex);
    auto it = m_sessions.find(spid);
    if (it != m_sessions.end() && it->second.request)
        it->second.request->percentComplete = percent;
}

std::vector<RunningRequest> SessionRegistry::runningRequests() const
{
    std::lock_guard lock(m_mutex);
    std::vector<RunningRequest> requests;
    for (const auto &[id, entry] : m_sessions)
        if (entry.request)
            requests.push_back(*entry.request);
    return requests;
}

} // namespace sqlemu
