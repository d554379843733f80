#pragma once

#include "engine_interface/result_sink.h"

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace sqlemu {

// A request a session is running, as sys.dm_exec_requests shows it.
struct RunningRequest {
    int spid = 0;
    int requestId = 0; // 0: sessions run one request at a time
    DateTimeValue startTime;
    std::string status = "running";
    std::string command; // the statement running now, e.g. "RESTORE DATABASE"
    std::string database; // the database the statement works in
    double percentComplete = 0; // BACKUP, RESTORE and DBCC report their progress here
    std::string loginName;
};

// Which database each session of an instance is in and what it runs, so
// that DROP DATABASE can refuse a database in use (3702), SET SINGLE_USER
// WITH ROLLBACK IMMEDIATE can end the other sessions in it and
// sys.dm_exec_requests can list the running requests. Thread-safe.
class SessionRegistry {
public:
    void enter(int spid, const std::string &database);
    void leave(int spid);
    // How the protocol closes this session's connection from any thread;
    // called with the registry locked, so it must neither block nor call
    // back into the registry.
    void setConnectionCloser(int spid, std::function<void()> closeConnection);

    // Sessions other than spid whose current database is this one.
    std::vector<int> othersIn(const std::string &database, int spid) const;

    // Ends those sessions: they leave the database at once. An idle one's
    // connection is closed now; one running a request sees isKilled(),
    // stops it, and its connection is closed when the request ends.
    std::vector<int> killOthersIn(const std::string &database, int spid);
    bool isKilled(int spid) const;

    // A request of the session starts or ends; the end closes the
    // connection of a session killed meanwhile.
    void beginRequest(int spid, const std::string &loginName, const std::string &database);
    void endRequest(int spid);
    // The statement the session's request runs now.
    void setCommand(int spid, const std::string &command, const std::string &database);
    void setPercentComplete(int spid, double percent);
    std::vector<RunningRequest> runningRequests() const;

private:
    struct Entry {
        std::string database;
        bool killed = false;
        std::function<void()> closeConnection;
        std::optional<RunningRequest> request;
    };
    static void close(Entry &entry);
    mutable std::mutex m_mutex;
    std::map<int, Entry> m_sessions;
};

} // namespace sqlemu
