#pragma once

// The TCP side of one instance: listens on the given addresses and runs one
// session thread per connection. stop() ends every session and joins them.

#include "tds/instance_context.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sqlemu::tds {

class Listener {
public:
    // maxSessions: connections served at once; one more is closed at once.
    Listener(InstanceContext &instance, int maxSessions)
        : m_instance(instance)
        , m_maxSessions(maxSessions)
    {}
    ~Listener();

    // Binds every address on port (0: a free port, the same on all). The
    // first address and the required ones must bind; the others are best
    // effort (an address family the machine lacks). Returns false with error
    // set.
    bool listen(const std::vector<std::string> &addresses, const std::vector<std::string> &required, int port,
                std::string &error);
    int port() const { return m_port; }
    void start();
    void stop();

private:
    struct Connection {
        std::thread thread;
        int socket = -1; // -1 once the session ended and closed it
    };
    using Connections = std::list<std::unique_ptr<Connection>>;

    void acceptLoop(int listenSocket);
    // Joins the threads of sessions that ended; returns how many still run.
    std::size_t reapFinished();
    void serve(int client);
    void runSession(Connection *c, Connections::iterator self);
    // Notes a connection that could not be taken; under m_mutex.
    void refused(const char *why);

    InstanceContext &m_instance;
    const std::size_t m_maxSessions;
    int m_port = 0;
    std::vector<int> m_listenSockets;
    std::vector<std::thread> m_acceptThreads;
    std::atomic<bool> m_stopping{false};
    std::mutex m_mutex;
    std::condition_variable m_sessionEnded;
    // A session moves itself from running to finished as it ends, so that
    // finding the ended ones never walks every running session.
    Connections m_running;
    Connections m_finished; // ended, their threads still to be joined
    std::chrono::steady_clock::time_point m_lastRefusalLog{};
    unsigned m_refusedSinceLog = 0;
};

// Opens a socket bound to address:port (type SOCK_STREAM or SOCK_DGRAM);
// -1 with error set on failure.
int bindSocket(const std::string &address, int port, int type, std::string &error);
int boundPort(int socket);
// Binds one socket per address on the same port. The first address and the
// required ones must bind (a failure is the error); the others are taken
// where they can be. Port 0 takes the first socket's free port for all.
// Returns the port, or -1 with error set.
int bindAll(const std::vector<std::string> &addresses, const std::vector<std::string> &required, int port, int type,
            std::vector<int> &sockets, std::string &error);

} // namespace sqlemu::tds
