// The relay that the fault tests put between the program and the server:
// bytes pass unchanged both ways, each fault does what it says on a plain TCP
// echo server, and triggers read the server's trace as it grows.
#include "db/database.h"
#include "platform/freetds_session.h"
#include "settings/connection_templates.h"

#include "support/fault_relay.h"
#include "support/sqlemu_process.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace movan;
using namespace std::chrono_literals;

namespace {

// Sends back whatever it receives, on any number of connections, and keeps
// all it received so that a test knows what reached the server.
class EchoServer {
public:
    EchoServer()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = loopbackAddress(0);
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(m_listener, 16);
        socklen_t length = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_acceptor = std::thread([this] {
            for (int fd; (fd = ::accept(m_listener, nullptr, nullptr)) >= 0;) {
                std::lock_guard lock(m_mutex);
                m_sockets.push_back(fd);
                m_workers.emplace_back([this, fd] { echo(fd); });
            }
        });
    }
    ~EchoServer()
    {
        ::shutdown(m_listener, SHUT_RDWR);
        m_acceptor.join();
        ::close(m_listener);
        std::lock_guard lock(m_mutex);
        for (int fd : m_sockets)
            ::shutdown(fd, SHUT_RDWR);
        for (std::thread &worker : m_workers)
            worker.join();
        for (int fd : m_sockets)
            ::close(fd);
    }

    int port() const { return m_port; }
    bool received(const std::string &text) const
    {
        std::lock_guard lock(m_mutex);
        return m_received.find(text) != std::string::npos;
    }
    // A trigger: the server has received that text.
    FaultRelay::Trigger receives(const std::string &text)
    {
        return [this, text] { return received(text); };
    }

private:
    void echo(int fd)
    {
        char buffer[16384];
        for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
            {
                std::lock_guard lock(m_mutex);
                m_received.append(buffer, static_cast<std::size_t>(n));
            }
            if (::send(fd, buffer, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n)
                return;
        }
    }

    int m_listener = -1;
    int m_port = 0;
    std::thread m_acceptor;
    mutable std::mutex m_mutex;
    std::vector<int> m_sockets;
    std::vector<std::thread> m_workers;
    std::string m_received;
};

struct Received {
    std::string bytes;
    bool closed = false;
};

// Reads until `wanted` bytes came, the connection closed or the time is up.
Received readFrom(int fd, std::size_t wanted, std::chrono::milliseconds timeout)
{
    Received r;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (r.bytes.size() < wanted && !r.closed) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        char buffer[65536];
        const ssize_t n = ::recv(fd, buffer, std::min(sizeof buffer, wanted - r.bytes.size()), 0);
        if (n <= 0)
            r.closed = true;
        else
            r.bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return r;
}

void sendAll(int fd, const std::string &bytes)
{
    for (std::size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += static_cast<std::size_t>(n);
    }
}

int connectToIPv6Loopback(int port)
{
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    address.sin6_port = htons(static_cast<std::uint16_t>(port));
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A client connection through the relay, whose echo was seen to pass.
class Client {
public:
    explicit Client(int port)
        : m_fd(connectToLoopback(port))
    {}
    ~Client() { ::close(m_fd); }
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;
    int fd() const { return m_fd; }
    bool echoes(const std::string &text)
    {
        sendAll(m_fd, text);
        return readFrom(m_fd, text.size(), 2s).bytes == text;
    }

private:
    int m_fd;
};

class FaultRelayTest : public ::testing::Test {
protected:
    EchoServer echo;
    FaultRelay relay{echo.port(), true};
};

TEST_F(FaultRelayTest, BytesPassUnchangedBothWaysOnManyConnections)
{
    std::mt19937 random(7);
    std::vector<std::string> payloads;
    std::vector<int> sockets;
    for (int i = 0; i < 4; ++i) {
        std::string payload(300 * 1024, '\0');
        for (char &c : payload)
            c = static_cast<char>(random());
        payloads.push_back(std::move(payload));
        // One of them on ::1, when the machine has it.
        const int fd = i == 3 && relay.ipv6Port() > 0 ? connectToIPv6Loopback(relay.ipv6Port())
                                                      : connectToLoopback(relay.port());
        ASSERT_GE(fd, 0);
        sockets.push_back(fd);
    }
    std::vector<std::thread> writers;
    for (std::size_t i = 0; i < sockets.size(); ++i)
        writers.emplace_back([&, i] { sendAll(sockets[i], payloads[i]); });
    for (std::size_t i = 0; i < sockets.size(); ++i)
        EXPECT_TRUE(readFrom(sockets[i], payloads[i].size(), 10s).bytes == payloads[i]) << "connection " << i;
    for (std::thread &writer : writers)
        writer.join();
    for (int fd : sockets)
        ::close(fd);

    const FaultRelay::Counters counters = relay.counters();
    EXPECT_EQ(counters.accepted, 4);
    EXPECT_EQ(counters.bytesToServer, 4 * 300 * 1024);
    EXPECT_EQ(counters.bytesToClient, 4 * 300 * 1024);
    EXPECT_EQ(counters.faultsApplied, 0);
}

TEST_F(FaultRelayTest, CutsFallOnTheConnectionThatSentTheRequest)
{
    struct Case {
        const char *name;
        FaultRelay::Plan plan;
        std::string replyReachingClient;
    };
    const Case cases[] = {
        {"cut at once", {FaultRelay::Fault::CutAtOnce, 0, {}}, ""},
        {"cut at reply", {FaultRelay::Fault::CutAtReply, 0, {}}, ""},
        {"cut in reply", {FaultRelay::Fault::CutInReply, 3, {}}, "req"},
    };
    int faults = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Client bystander(relay.port());
        Client client(relay.port());
        ASSERT_TRUE(client.echoes("before"));
        ASSERT_TRUE(bystander.echoes("idle"));
        const std::string request = std::string("request ") + c.name;
        relay.arm(echo.receives(request), c.plan);
        sendAll(client.fd(), request);

        const Received reply = readFrom(client.fd(), request.size(), 2s);
        EXPECT_EQ(reply.bytes, c.replyReachingClient);
        EXPECT_TRUE(reply.closed);
        EXPECT_TRUE(echo.received(request)) << "the request did not reach the server";
        EXPECT_TRUE(relay.waitForFault(1s));
        EXPECT_EQ(relay.counters().faultsApplied, ++faults);
        EXPECT_TRUE(bystander.echoes("still here"));
    }
}

TEST_F(FaultRelayTest, AHeldReplyWaitsWhileTheClientsBytesPassUntilReleased)
{
    Client client(relay.port());
    ASSERT_TRUE(client.echoes("before"));
    relay.arm(echo.receives("request"), FaultRelay::Fault::HoldReply);
    sendAll(client.fd(), "request");
    ASSERT_TRUE(relay.waitForFault(2s));
    EXPECT_EQ(readFrom(client.fd(), 1, 300ms).bytes, "");

    // As a client's cancel after its time-out must reach the server.
    sendAll(client.fd(), "attention");
    for (int i = 0; i < 200 && !echo.received("attention"); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(echo.received("attention"));
    EXPECT_EQ(readFrom(client.fd(), 1, 100ms).bytes, "");

    relay.release();
    EXPECT_EQ(readFrom(client.fd(), 16, 2s).bytes, "requestattention");
    EXPECT_TRUE(client.echoes("after"));
}

TEST_F(FaultRelayTest, AHeldReplyIsLostWhenItsConditionComes)
{
    Client client(relay.port());
    ASSERT_TRUE(client.echoes("before"));
    std::atomic<bool> serverFinished = false;
    relay.arm(echo.receives("request"),
              FaultRelay::Plan{FaultRelay::Fault::HoldThenCut, 0, [&] { return serverFinished.load(); }, false});
    sendAll(client.fd(), "request");
    const Received held = readFrom(client.fd(), 1, 300ms);
    EXPECT_EQ(held.bytes, "");
    EXPECT_FALSE(held.closed);
    EXPECT_FALSE(relay.waitForFault(0ms));

    serverFinished = true;
    const Received lost = readFrom(client.fd(), 1, 2s);
    EXPECT_EQ(lost.bytes, "");
    EXPECT_TRUE(lost.closed);
    EXPECT_TRUE(relay.waitForFault(1s));
}

TEST_F(FaultRelayTest, RefusesNewConnectionsAndCutsOpenOnesOnDemand)
{
    Client open(relay.port());
    ASSERT_TRUE(open.echoes("open"));
    relay.setRefusing(true);
    {
        Client refused(relay.port());
        const Received r = readFrom(refused.fd(), 1, 2s);
        EXPECT_TRUE(r.closed);
        EXPECT_EQ(r.bytes, "");
    }
    EXPECT_TRUE(open.echoes("still open"));
    relay.setRefusing(false);
    Client later(relay.port());
    EXPECT_TRUE(later.echoes("later"));

    relay.cutAll();
    for (const Client *c : {&open, &later})
        EXPECT_TRUE(readFrom(c->fd(), 1, 2s).closed);
    const FaultRelay::Counters counters = relay.counters();
    EXPECT_EQ(counters.refused, 1);
    EXPECT_EQ(counters.accepted, 2);
}

TEST_F(FaultRelayTest, RewritesChangeEachDirectionsBytes)
{
    relay.setRewrites(
        [](std::string &chunk) {
            for (char &c : chunk)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        },
        [](std::string &chunk) { chunk += '!'; });
    Client client(relay.port());
    sendAll(client.fd(), "abc");
    EXPECT_EQ(readFrom(client.fd(), 4, 2s).bytes, "ABC!");
    EXPECT_TRUE(echo.received("ABC"));
}

// The triggers the database tests arm read what a real sqlemu traced.
TEST(TraceTriggers, MatchOnlyLinesWrittenAfterArmingAndLookIntoParameters)
{
    SqlemuOptions options;
    options.saPassword = "Secret1";
    SqlemuProcess server(options);
    ASSERT_TRUE(server.start()) << server.error();
    FreeTdsSession::initializeLibrary();
    DbConnection connection;
    connection.setConnectionString(BuildConnectionString(QStringLiteral("127.0.0.1,%1").arg(server.port()),
                                                         QStringLiteral("SQL"), QStringLiteral("sa"),
                                                         QStringLiteral("Secret1"), QStringLiteral("master")));
    DbQuery query;
    query.setConnection(&connection);
    const auto run = [&](const QString &text) {
        query.setSqlText(text);
        query.execSQL();
    };

    run(QStringLiteral("SELECT 'alpha'"));
    const FaultRelay::Trigger alpha = traceGains(server, "batch", "ALPHA");
    const FaultRelay::Trigger anyRpc = traceGains(server, "rpc");
    EXPECT_FALSE(alpha()) << "a line written before arming counted";
    run(QStringLiteral("SELECT 'omega'"));
    EXPECT_FALSE(alpha());
    run(QStringLiteral("SELECT 'Alpha'"));
    EXPECT_TRUE(alpha());
    EXPECT_TRUE(alpha()) << "a fired trigger stays fired";
    EXPECT_FALSE(anyRpc());

    // A statement with parameters travels as sp_executesql, its text in
    // @statement and its values in parameters of their own.
    const FaultRelay::Trigger inText = traceGains(server, "rpc", "beta");
    const FaultRelay::Trigger inValue = traceGains(server, "rpc", "gamma");
    const FaultRelay::Trigger asBatch = traceGains(server, "batch", "beta");
    run(QStringLiteral("SELECT 'beta'"));
    EXPECT_FALSE(inText()) << "a batch matched as an RPC";
    EXPECT_TRUE(asBatch());
    query.setSqlText(QStringLiteral("SELECT 'beta', :Value"));
    query.parameterByName(QStringLiteral("Value")) = {QStringLiteral("Value"), QStringLiteral("gamma"), false, 10};
    query.execSQL();
    EXPECT_TRUE(inText());
    EXPECT_TRUE(inValue());
    EXPECT_TRUE(anyRpc());

    // The end of that request, not of another session's.
    const FaultRelay::Trigger deltaEnded = traceEndOf(server, "batch", "delta");
    DbQuery other;
    other.setConnectionString(connection.connectionString());
    other.setSqlText(QStringLiteral("SELECT 'other'"));
    other.execSQL();
    run(QStringLiteral("SELECT 'not yet'"));
    EXPECT_FALSE(deltaEnded());
    run(QStringLiteral("SELECT 'delta'"));
    other.execSQL();
    for (int i = 0; i < 200 && !deltaEnded(); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(deltaEnded());

    EXPECT_EQ(traceCount(server, "batch", "alpha"), 2);
    EXPECT_EQ(traceCount(server, "rpc", "gamma"), 1);
}

} // namespace
