#include "tds/listener.h"

#include "tds/session.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sqlemu::tds {

namespace {

// The longest queue of connections the system allows: a burst of hundreds of
// clients must wait in the queue, not in the clients' connect retries.
int listenBacklog()
{
    return std::numeric_limits<int>::max(); // the kernel caps it at its own maximum
}

// While descriptors run out the queue cannot be drained; waiting a little
// lets ending sessions give theirs back instead of spinning.
constexpr int kOutOfDescriptorsPauseMs = 100;

} // namespace

int bindSocket(const std::string &address, int port, int type, std::string &error)
{
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family = AF_INET;
    if (address.find(':') != std::string::npos) {
        auto *a = reinterpret_cast<sockaddr_in6 *>(&storage);
        a->sin6_family = family = AF_INET6;
        a->sin6_port = htons(static_cast<std::uint16_t>(port));
        if (inet_pton(AF_INET6, address.c_str(), &a->sin6_addr) != 1) {
            error = "not an address: " + address;
            return -1;
        }
        length = sizeof(sockaddr_in6);
    } else {
        auto *a = reinterpret_cast<sockaddr_in *>(&storage);
        a->sin_family = AF_INET;
        a->sin_port = htons(static_cast<std::uint16_t>(port));
        if (inet_pton(AF_INET, address.c_str(), &a->sin_addr) != 1) {
            error = "not an address: " + address;
            return -1;
        }
        length = sizeof(sockaddr_in);
    }
    int s = ::socket(family, type | SOCK_CLOEXEC, 0);
    if (s < 0) {
        error = std::strerror(errno);
        return -1;
    }
    int on = 1;
    if (type == SOCK_STREAM)
        ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (family == AF_INET6)
        ::setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    if (::bind(s, reinterpret_cast<sockaddr *>(&storage), length) != 0
        || (type == SOCK_STREAM && ::listen(s, listenBacklog()) != 0)) {
        error = address + ":" + std::to_string(port) + ": " + std::strerror(errno);
        ::close(s);
        return -1;
    }
    return s;
}

int boundPort(int socket)
{
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    ::getsockname(socket, reinterpret_cast<sockaddr *>(&storage), &length);
    if (storage.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6 *>(&storage)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in *>(&storage)->sin_port);
}

Listener::~Listener()
{
    stop();
}

int bindAll(const std::vector<std::string> &addresses, const std::vector<std::string> &required, int port, int type,
            std::vector<int> &sockets, std::string &error)
{
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        std::string failure;
        int s = bindSocket(addresses[i], port, type, failure);
        if (s < 0) {
            if (i == 0 || std::find(required.begin(), required.end(), addresses[i]) != required.end()) {
                for (int bound : sockets)
                    ::close(bound);
                sockets.clear();
                error = failure;
                return -1;
            }
            continue;
        }
        if (i == 0)
            port = boundPort(s);
        sockets.push_back(s);
    }
    return port;
}

bool Listener::listen(const std::vector<std::string> &addresses, const std::vector<std::string> &required, int port,
                      std::string &error)
{
    m_port = bindAll(addresses, required, port, SOCK_STREAM, m_listenSockets, error);
    return m_port >= 0;
}

void Listener::start()
{
    for (int s : m_listenSockets)
        m_acceptThreads.emplace_back([this, s] { acceptLoop(s); });
}

void Listener::acceptLoop(int listenSocket)
{
    while (!m_stopping) {
        pollfd p{listenSocket, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0) {
            reapFinished();
            continue;
        }
        int client = ::accept4(listenSocket, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                ::poll(nullptr, 0, kOutOfDescriptorsPauseMs);
            continue;
        }
        if (reapFinished() >= m_maxSessions) {
            // Closed before a word is exchanged: the client sees a refused
            // login at once rather than a hang.
            ::close(client);
            continue;
        }
        serve(client);
    }
}

void Listener::serve(int client)
{
    int on = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // A client that stops reading must not hold its session, and the
    // response it does not take, for ever: a send that makes no progress for
    // this long fails and ends the session.
    const timeval sendTimeout{static_cast<time_t>(m_instance.sendTimeout.count()), 0};
    ::setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
    std::lock_guard lock(m_mutex);
    if (m_stopping) {
        ::close(client);
        return;
    }
    // Whatever a connection cannot be given (a thread under a task or
    // address-space limit, the memory for its bookkeeping) refuses that one
    // connection; the server and its other sessions go on.
    Connections::iterator self = m_running.end();
    try {
        self = m_running.insert(m_running.end(), std::make_unique<Connection>());
        Connection *c = self->get();
        c->socket = client;
        // The thread cannot end before this lock is released, so self is
        // valid when it uses it.
        c->thread = std::thread([this, c, self] { runSession(c, self); });
    } catch (const std::exception &e) {
        if (self != m_running.end())
            m_running.erase(self);
        ::close(client);
        refused(e.what());
    }
}

void Listener::runSession(Connection *c, Connections::iterator self)
{
    try {
        Session(c->socket, m_instance).run();
    } catch (const std::exception &e) {
        // Memory ran out inside the session: it ends, the server does not.
        std::fprintf(stderr, "sqlemu: %s: session ended: %s\n", m_instance.config.instanceName.c_str(), e.what());
    }
    // The descriptor goes back as soon as the session ends, not when the
    // next client arrives; under the lock, as stop() shuts sockets down.
    std::lock_guard lock(m_mutex);
    ::close(c->socket);
    c->socket = -1;
    m_finished.splice(m_finished.end(), m_running, self);
    m_sessionEnded.notify_all();
}

void Listener::refused(const char *why)
{
    // One line per burst, not per client: a flood of refusals must not
    // become a flood of log lines.
    const auto now = std::chrono::steady_clock::now();
    ++m_refusedSinceLog;
    if (now - m_lastRefusalLog < std::chrono::seconds(1))
        return;
    std::fprintf(stderr, "sqlemu: %s: %u connection(s) refused: %s\n", m_instance.config.instanceName.c_str(),
                 m_refusedSinceLog, why);
    m_lastRefusalLog = now;
    m_refusedSinceLog = 0;
}

std::size_t Listener::reapFinished()
{
    Connections done;
    std::size_t running = 0;
    {
        std::lock_guard lock(m_mutex);
        done.swap(m_finished);
        running = m_running.size();
    }
    for (auto &c : done)
        c->thread.join();
    return running;
}

void Listener::stop()
{
    if (m_stopping.exchange(true))
        return;
    for (auto &t : m_acceptThreads)
        t.join();
    for (int s : m_listenSockets)
        ::close(s);
    {
        std::unique_lock lock(m_mutex);
        for (auto &c : m_running)
            ::shutdown(c->socket, SHUT_RDWR); // wakes the session's blocking read or write
        m_sessionEnded.wait(lock, [this] { return m_running.empty(); });
    }
    reapFinished();
}

} // namespace sqlemu::tds
