#include "support/fault_relay.h"

#include "support/sqlemu_process.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kTickMilliseconds = 5;
constexpr std::size_t kChunk = 64 * 1024;
// A side is no longer read while this much of it waits for the other side,
// so a client that stops reading slows the server down as it would directly.
constexpr std::size_t kMaxPending = 1024 * 1024;

void closeQuietly(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

void setNoDelay(int fd)
{
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// A non-blocking socket listening on a free port of the loopback address of
// that family; {-1, 0} when there is none (a machine without IPv6).
std::pair<int, int> listenOnLoopback(int family)
{
    const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return {-1, 0};
    sockaddr_storage address{};
    socklen_t length = 0;
    if (family == AF_INET6) {
        int on = 1;
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        auto *a = reinterpret_cast<sockaddr_in6 *>(&address);
        a->sin6_family = AF_INET6;
        a->sin6_addr = in6addr_loopback;
        length = sizeof *a;
    } else {
        *reinterpret_cast<sockaddr_in *>(&address) = loopbackAddress(0);
        length = sizeof(sockaddr_in);
    }
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), length) != 0 || ::listen(fd, 64) != 0) {
        ::close(fd);
        return {-1, 0};
    }
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    const int port = family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6 *>(&address)->sin6_port)
                                        : ntohs(reinterpret_cast<sockaddr_in *>(&address)->sin_port);
    return {fd, port};
}

} // namespace

// Everything here is touched by the relay's thread only.
struct FaultRelay::Links {
    enum class Mode { Relay, CutAtReply, CutInReply, Hold };

    struct Link {
        int client = -1;
        int server = -1;
        std::string toServer;
        std::string toClient;
        std::string held;
        Mode mode = Mode::Relay;
        std::size_t replyBudget = 0;
        // Neither side is read any more; the link closes once what was read
        // has been written.
        bool closing = false;
        unsigned long long lastClientData = 0; // 0: the client has sent nothing
    };

    int targetPort = 0;
    int listeners[2] = {-1, -1};
    std::vector<std::unique_ptr<Link>> links;
    unsigned long long clock = 0;

    Trigger trigger; // empty once fired
    Plan plan;
    Link *holding = nullptr; // the held link a HoldThenCut plan cuts
    Trigger cutWhen;

    bool refusing = false;
    Rewrite toServer;
    Rewrite toClient;
};

FaultRelay::FaultRelay(int targetPort, bool listenOnIPv6)
    : m_links(std::make_unique<Links>())
{
    m_links->targetPort = targetPort;
    const auto [ipv4, port] = listenOnLoopback(AF_INET);
    if (ipv4 < 0)
        throw std::runtime_error("the relay found no free loopback port");
    m_links->listeners[0] = ipv4;
    m_port = port;
    if (listenOnIPv6) {
        const auto [ipv6, port6] = listenOnLoopback(AF_INET6);
        m_links->listeners[1] = ipv6;
        m_ipv6Port = port6;
    }
    if (::pipe2(m_wake, O_NONBLOCK | O_CLOEXEC) != 0)
        throw std::runtime_error("the relay could not make its wake-up pipe");
    m_thread = std::thread([this] { run(); });
}

FaultRelay::~FaultRelay()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    const char byte = 0;
    [[maybe_unused]] const auto written = ::write(m_wake[1], &byte, 1);
    m_thread.join();
    for (auto &link : m_links->links) {
        closeQuietly(link->client);
        closeQuietly(link->server);
    }
    for (int &fd : m_links->listeners)
        closeQuietly(fd);
    closeQuietly(m_wake[0]);
    closeQuietly(m_wake[1]);
}

void FaultRelay::onRelayThread(std::function<void(Links &)> change)
{
    std::unique_lock lock(m_mutex);
    m_changes.push_back(std::move(change));
    const unsigned long long ticket = ++m_changesQueued;
    const char byte = 0;
    [[maybe_unused]] const auto written = ::write(m_wake[1], &byte, 1);
    m_changed.wait(lock, [&] { return m_changesMade >= ticket || m_stopping; });
}

void FaultRelay::count(const std::function<void(Counters &)> &update)
{
    std::lock_guard lock(m_mutex);
    update(m_counters);
    m_changed.notify_all();
}

void FaultRelay::arm(Trigger trigger, Plan plan)
{
    {
        std::lock_guard lock(m_mutex);
        m_faultsAtArming = m_counters.faultsApplied;
    }
    onRelayThread([trigger = std::move(trigger), plan = std::move(plan)](Links &links) {
        links.trigger = trigger;
        links.plan = plan;
    });
}

bool FaultRelay::waitForFault(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [this] { return m_counters.faultsApplied > m_faultsAtArming; });
}

void FaultRelay::release()
{
    onRelayThread([this](Links &links) {
        for (auto &link : links.links) {
            if (link->mode != Links::Mode::Hold)
                continue;
            link->toClient += link->held;
            count([n = static_cast<long long>(link->held.size())](Counters &c) { c.bytesToClient += n; });
            link->held.clear();
            link->mode = Links::Mode::Relay;
        }
        links.holding = nullptr;
        links.cutWhen = {};
    });
}

void FaultRelay::cutAll()
{
    onRelayThread([](Links &links) {
        for (auto &link : links.links) {
            closeQuietly(link->client);
            closeQuietly(link->server);
        }
        links.holding = nullptr;
        links.cutWhen = {};
    });
}

void FaultRelay::setRefusing(bool refusing)
{
    onRelayThread([refusing](Links &links) { links.refusing = refusing; });
}

void FaultRelay::setRewrites(Rewrite toServer, Rewrite toClient)
{
    onRelayThread([toServer = std::move(toServer), toClient = std::move(toClient)](Links &links) {
        links.toServer = toServer;
        links.toClient = toClient;
    });
}

FaultRelay::Counters FaultRelay::counters() const
{
    std::lock_guard lock(m_mutex);
    return m_counters;
}

void FaultRelay::run()
{
    Links &links = *m_links;
    using Link = Links::Link;

    const auto cut = [&](Link &link) {
        closeQuietly(link.client);
        closeQuietly(link.server);
        if (links.holding == &link) {
            links.holding = nullptr;
            links.cutWhen = {};
        }
    };
    // Counted before the fault is made, so that a client woken by it finds
    // it counted.
    const auto applied = [&] { count([](Counters &c) { ++c.faultsApplied; }); };
    // Counted as they are handed on rather than once written, so that a
    // client that has read the bytes finds them counted.
    const auto passOn = [&](std::string &pending, std::string_view bytes, bool toServer) {
        pending += bytes;
        const auto n = static_cast<long long>(bytes.size());
        count([&](Counters &c) { (toServer ? c.bytesToServer : c.bytesToClient) += n; });
    };

    const auto checkTrigger = [&] {
        if (!links.trigger || !links.trigger())
            return;
        links.trigger = {};
        Link *target = nullptr;
        for (auto &link : links.links)
            if (link->client >= 0 && link->lastClientData > 0
                && (!target || link->lastClientData > target->lastClientData))
                target = link.get();
        if (!target)
            return;
        switch (links.plan.fault) {
        case Fault::CutAtOnce:
            applied();
            cut(*target);
            break;
        case Fault::CutAtReply:
            target->mode = Links::Mode::CutAtReply;
            break;
        case Fault::CutInReply:
            target->mode = Links::Mode::CutInReply;
            target->replyBudget = links.plan.replyBytes;
            break;
        case Fault::HoldReply:
            target->mode = Links::Mode::Hold;
            applied();
            break;
        case Fault::HoldThenCut:
            target->mode = Links::Mode::Hold;
            links.holding = target;
            links.cutWhen = links.plan.cutWhen;
            break;
        }
        if (links.plan.thenAway) {
            links.refusing = true;
            for (auto &link : links.links)
                if (link->client >= 0)
                    cut(*link);
        }
    };

    const auto fromServer = [&](Link &link, std::string chunk) {
        if (links.toClient)
            links.toClient(chunk);
        switch (link.mode) {
        case Links::Mode::Relay:
            passOn(link.toClient, chunk, false);
            break;
        case Links::Mode::CutAtReply:
            applied();
            cut(link);
            break;
        case Links::Mode::CutInReply: {
            const std::size_t passed = std::min(link.replyBudget, chunk.size());
            passOn(link.toClient, std::string_view(chunk).substr(0, passed), false);
            link.replyBudget -= passed;
            if (link.replyBudget == 0) {
                link.closing = true;
                applied();
            }
            break;
        }
        case Links::Mode::Hold:
            link.held += chunk;
            break;
        }
    };

    // Writes what waits for that side; false when the side is gone.
    const auto flush = [](int fd, std::string &pending) {
        while (!pending.empty() && fd >= 0) {
            const ssize_t n = ::send(fd, pending.data(), pending.size(), MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return true;
            if (n <= 0)
                return false;
            pending.erase(0, static_cast<std::size_t>(n));
        }
        return true;
    };

    // Reads one chunk; empty with `ended` set when the side closed or failed.
    const auto receive = [](int fd, bool &ended) {
        std::string chunk(kChunk, '\0');
        const ssize_t n = ::recv(fd, chunk.data(), chunk.size(), 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            return std::string();
        if (n <= 0) {
            ended = true;
            return std::string();
        }
        chunk.resize(static_cast<std::size_t>(n));
        return chunk;
    };

    const auto accept = [&](int listener) {
        const int client = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (client < 0)
            return;
        if (links.refusing) {
            ::close(client);
            count([](Counters &c) { ++c.refused; });
            return;
        }
        // A loopback connect is answered at once; it is made blocking for
        // simplicity and the socket made non-blocking afterwards.
        int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in target = loopbackAddress(links.targetPort);
        if (server < 0 || ::connect(server, reinterpret_cast<const sockaddr *>(&target), sizeof target) != 0) {
            closeQuietly(server);
            ::close(client);
            return;
        }
        ::fcntl(server, F_SETFL, ::fcntl(server, F_GETFL) | O_NONBLOCK);
        setNoDelay(client);
        setNoDelay(server);
        auto link = std::make_unique<Link>();
        link->client = client;
        link->server = server;
        links.links.push_back(std::move(link));
        count([](Counters &c) { ++c.accepted; });
    };

    std::vector<pollfd> fds;
    while (true) {
        {
            std::unique_lock lock(m_mutex);
            if (m_stopping)
                break;
            std::vector<std::function<void(Links &)>> changes;
            changes.swap(m_changes);
            lock.unlock();
            for (auto &change : changes)
                change(links);
            lock.lock();
            m_changesMade += changes.size();
            m_changed.notify_all();
        }

        fds.clear();
        fds.push_back({m_wake[0], POLLIN, 0});
        for (int listener : links.listeners)
            fds.push_back({listener, static_cast<short>(listener >= 0 ? POLLIN : 0), 0});
        for (auto &link : links.links) {
            const bool readClient = !link->closing && link->toServer.size() < kMaxPending;
            const bool readServer = !link->closing && link->toClient.size() + link->held.size() < kMaxPending;
            fds.push_back({link->client,
                           static_cast<short>((readClient ? POLLIN : 0) | (link->toClient.empty() ? 0 : POLLOUT)), 0});
            fds.push_back({link->server,
                           static_cast<short>((readServer ? POLLIN : 0) | (link->toServer.empty() ? 0 : POLLOUT)), 0});
        }
        ::poll(fds.data(), fds.size(), kTickMilliseconds);

        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(m_wake[0], drain, sizeof drain) > 0) {}
        }
        checkTrigger();

        const std::size_t linkCount = links.links.size();
        for (std::size_t i = 0; i < linkCount; ++i) {
            Link &link = *links.links[i];
            const pollfd &client = fds[3 + 2 * i];
            const pollfd &server = fds[4 + 2 * i];
            bool ended = false;
            if (link.client >= 0 && (client.revents & (POLLIN | POLLHUP | POLLERR)) && !link.closing) {
                std::string chunk = receive(link.client, ended);
                if (!chunk.empty()) {
                    link.lastClientData = ++links.clock;
                    if (links.toServer)
                        links.toServer(chunk);
                    passOn(link.toServer, chunk, true);
                }
            }
            if (link.server >= 0 && (server.revents & (POLLIN | POLLHUP | POLLERR)) && !link.closing) {
                std::string chunk = receive(link.server, ended);
                if (!chunk.empty()) {
                    // The reply to a traced request is read only after the
                    // server traced it: checked here, the trigger fires
                    // before any byte of that reply has passed.
                    checkTrigger();
                    if (link.client >= 0)
                        fromServer(link, std::move(chunk));
                }
            }
            // Whatever a closing side sent before it closed still goes on.
            if (ended)
                link.closing = true;
            if (!flush(link.server, link.toServer) || !flush(link.client, link.toClient))
                cut(link);
            if (link.closing && link.toServer.empty() && link.toClient.empty())
                cut(link);
        }

        if (links.holding && links.cutWhen && links.cutWhen()) {
            applied();
            cut(*links.holding);
        }

        for (std::size_t l = 0; l < 2; ++l)
            if (fds[1 + l].revents & POLLIN)
                accept(links.listeners[l]);

        std::erase_if(links.links, [](const auto &link) { return link->client < 0 && link->server < 0; });
    }
}

namespace {

QJsonObject traceEntry(const std::string &line)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
}

bool traceEntryMatches(const QJsonObject &entry, const QString &kind, const QString &contains)
{
    if (entry.value(QStringLiteral("kind")).toString() != kind)
        return false;
    if (contains.isEmpty())
        return true;
    const auto has = [&](const QJsonValue &value) {
        return value.isString() && value.toString().contains(contains, Qt::CaseInsensitive);
    };
    if (has(entry.value(QStringLiteral("text"))) || has(entry.value(QStringLiteral("procedure"))))
        return true;
    // A statement sent through sp_executesql has its text in @statement.
    const QJsonArray parameters = entry.value(QStringLiteral("parameters")).toArray();
    return std::any_of(parameters.begin(), parameters.end(),
                       [&](const QJsonValue &p) { return has(p.toObject().value(QStringLiteral("value"))); });
}

bool traceLineMatches(const std::string &line, const QString &kind, const QString &contains)
{
    return traceEntryMatches(traceEntry(line), kind, contains);
}

// The lines the trace gained since the last call, whole lines only: the
// server may be writing the next one.
class TraceReader {
public:
    explicit TraceReader(std::string path)
        : m_path(std::move(path))
    {}

    std::vector<std::string> newLines()
    {
        std::vector<std::string> lines;
        std::ifstream in(m_path, std::ios::binary);
        if (!in)
            return lines;
        in.seekg(static_cast<std::streamoff>(m_offset));
        const std::string gained{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::size_t start = 0;
        for (std::size_t end; (end = gained.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(gained.substr(start, end - start));
        m_offset += start;
        return lines;
    }

private:
    std::string m_path;
    std::size_t m_offset = 0;
};

} // namespace

FaultRelay::Trigger traceGains(const SqlemuProcess &server, const std::string &kind, const std::string &contains)
{
    auto reader = std::make_shared<TraceReader>(server.tracePath());
    reader->newLines(); // what is there now does not count
    auto fired = std::make_shared<bool>(false);
    return [reader, fired, kind = QString::fromStdString(kind), contains = QString::fromStdString(contains)] {
        if (!*fired) {
            const auto lines = reader->newLines();
            *fired = std::any_of(lines.begin(), lines.end(),
                                 [&](const std::string &line) { return traceLineMatches(line, kind, contains); });
        }
        return *fired;
    };
}

FaultRelay::Trigger traceEndOf(const SqlemuProcess &server, const std::string &kind, const std::string &contains)
{
    auto reader = std::make_shared<TraceReader>(server.tracePath());
    reader->newLines();
    struct Progress {
        int session = -1; // the request's, once it was traced
        bool ended = false;
    };
    auto progress = std::make_shared<Progress>();
    return [reader, progress, kind = QString::fromStdString(kind), contains = QString::fromStdString(contains)] {
        for (const std::string &line : progress->ended ? std::vector<std::string>() : reader->newLines()) {
            const QJsonObject entry = traceEntry(line);
            const int session = entry.value(QStringLiteral("session")).toInt(-1);
            if (progress->session < 0 && traceEntryMatches(entry, kind, contains))
                progress->session = session;
            else if (progress->session >= 0 && session == progress->session
                     && entry.value(QStringLiteral("kind")).toString() == u"end")
                progress->ended = true;
        }
        return progress->ended;
    };
}

int traceCount(const SqlemuProcess &server, const std::string &kind, const std::string &contains)
{
    const QString k = QString::fromStdString(kind);
    const QString c = QString::fromStdString(contains);
    const auto lines = server.traceLines();
    return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                          [&](const std::string &line) { return traceLineMatches(line, k, c); }));
}
