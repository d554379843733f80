#include "sql/session_registry.h"

#include "storage/collation.h"

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

} // namespace sqlemu
