#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace sqlemu {

// Which database each session of an instance is in, so that DROP DATABASE
// can refuse a database in use (3702) and SET SINGLE_USER WITH ROLLBACK
// IMMEDIATE can end the other sessions in it. Thread-safe.
class SessionRegistry {
public:
    void enter(int spid, const std::string &database);
    void leave(int spid);

    // Sessions other than spid whose current database is this one.
    std::vector<int> othersIn(const std::string &database, int spid) const;

    // Ends those sessions: they leave the database at once and isKilled()
    // tells the protocol to close their connections when they next speak.
    std::vector<int> killOthersIn(const std::string &database, int spid);
    bool isKilled(int spid) const;

private:
    struct Entry {
        std::string database;
        bool killed = false;
    };
    mutable std::mutex m_mutex;
    std::map<int, Entry> m_sessions;
};

} // namespace sqlemu
