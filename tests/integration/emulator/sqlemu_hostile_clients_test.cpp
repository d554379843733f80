// The real sqlemu against clients that try to wear it down: batches that
// nest too deeply for a recursive interpreter, connections beyond its
// descriptors, logins trickled in a byte at a time, bursts beyond a small
// connection queue. Each time the server refuses the one client and goes on.

#include "dblib_client.h"
#include "process_runner.h"

#include "support/process_usage.h"
#include "support/sanitizers.h"
#include "support/sqlemu_process.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

// A plain loopback TCP connection that the test drives byte by byte.
class RawConnection {
public:
    explicit RawConnection(int port)
        : m_socket(connectToLoopback(port))
        , m_connected(m_socket >= 0)
    {}
    ~RawConnection() { ::close(m_socket); }
    RawConnection(const RawConnection &) = delete;
    RawConnection &operator=(const RawConnection &) = delete;

    bool connected() const { return m_connected; }
    bool send(const std::vector<std::uint8_t> &bytes)
    {
        return ::send(m_socket, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    // True once the server has closed the connection, waiting up to wait.
    bool closedByServer(std::chrono::milliseconds wait)
    {
        pollfd p{m_socket, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(wait.count())) <= 0)
            return false;
        char byte = 0;
        return ::recv(m_socket, &byte, 1, MSG_DONTWAIT) <= 0;
    }

private:
    int m_socket = -1;
    bool m_connected = false;
};

std::string chain(const std::string &head, const std::string &piece, int terms)
{
    std::string text = head;
    text.reserve(head.size() + piece.size() * static_cast<std::size_t>(terms));
    for (int i = 0; i < terms; ++i)
        text += piece;
    return text;
}

std::size_t openDescriptors(pid_t pid)
{
    const std::filesystem::path fds = "/proc/" + std::to_string(pid) + "/fd";
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator(fds), std::filesystem::directory_iterator()));
}

// The resident set's high-water mark of a process, in bytes.
TEST(SqlemuHostileClients, OperatorChainsTooLongAreRefusedWith191AndTheSessionGoesOn)
{
    SqlemuProcess server;
    ASSERT_TRUE(server.start()) << server.error();
    DbLibConnection c;
    ASSERT_TRUE(c.open(server.address(), "sa", ""));

    // Left-associative chains as a loop builds them, each far beyond what a
    // recursive evaluator survives, and one that never runs at all.
    const std::vector<std::string> batches = {
        chain("SELECT 1", "+1", 12000),
        chain("SELECT 1 WHERE 1=1", " AND 1=1", 32000),
        chain("IF 1=0 SELECT 1", "*1", 300000),
        chain("SELECT 1", "+(1", 150) + chain("", "+1", 2000) + std::string(150, ')'),
    };
    for (const auto &batch : batches) {
        c.messages.clear();
        bool ok = true;
        c.execute(batch, &ok);
        EXPECT_FALSE(ok) << batch.substr(0, 40);
        EXPECT_TRUE(c.saw(191)) << batch.substr(0, 40);
    }
    bool ok = false;
    auto sets = c.execute(chain("SELECT 1", "+1", 500), &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0].rows[0][0], "501");
}

TEST(SqlemuHostileClients, RunningOutOfDescriptorsRefusesTheExtraClientsAndRecovers)
{
    SqlemuOptions options;
    options.openFileLimit = 96;
    SqlemuProcess server(options);
    ASSERT_TRUE(server.start()) << server.error();
    {
        // Connections that never log in, more than the server has descriptors.
        std::vector<std::unique_ptr<RawConnection>> idle;
        for (int i = 0; i < 150; ++i)
            idle.push_back(std::make_unique<RawConnection>(server.port()));
        // The ones beyond the server's means are closed at once, not left
        // hanging in a queue it can no longer drain.
        int refused = 0;
        for (auto &c : idle)
            refused += c->closedByServer(std::chrono::milliseconds(50)) ? 1 : 0;
        EXPECT_GT(refused, 0);
    }
    // Once those clients have gone, their descriptors come back without a
    // new client having to arrive first.
    std::size_t open = 0;
    for (int i = 0; i < 100; ++i) {
        open = openDescriptors(server.processId());
        if (open < 32)
            break;
        ::usleep(100 * 1000);
    }
    EXPECT_LT(open, 32u);
    DbLibConnection c;
    ASSERT_TRUE(c.open(server.address(), "sa", "")) << server.standardError();
    bool ok = false;
    c.execute("select name from master.dbo.sysdatabases", &ok);
    EXPECT_TRUE(ok);
}

TEST(SqlemuHostileClients, MaxSessionsRefusesTheSessionBeyondIt)
{
    SqlemuOptions options;
    options.extraArguments = {"--max-sessions", "2"};
    SqlemuProcess server(options);
    ASSERT_TRUE(server.start()) << server.error();
    DbLibConnection first, second, third;
    ASSERT_TRUE(first.open(server.address(), "sa", ""));
    ASSERT_TRUE(second.open(server.address(), "sa", ""));
    EXPECT_FALSE(third.open(server.address(), "sa", ""));
    second.close();
    // The freed place is taken as soon as the session ended; the server
    // notices within its accept loop's pause.
    bool opened = false;
    for (int attempt = 0; attempt < 50 && !opened; ++attempt) {
        DbLibConnection attemptConnection;
        opened = attemptConnection.open(server.address(), "sa", "");
        if (!opened)
            ::usleep(100 * 1000);
    }
    EXPECT_TRUE(opened);
}

TEST(SqlemuHostileClients, ALoginTrickledByteByByteStillMeetsTheDeadline)
{
    SqlemuOptions options;
    options.extraArguments = {"--login-timeout", "2"};
    SqlemuProcess server(options);
    ASSERT_TRUE(server.start()) << server.error();
    RawConnection c(server.port());
    ASSERT_TRUE(c.connected());
    // A PRELOGIN packet announcing 4 KB, then one byte every 200 ms: each
    // byte would reset an idle timer, but not a deadline. Up to 20 s.
    ASSERT_TRUE(c.send({0x12, 0x01, 0x10, 0x00, 0x00, 0x00, 0x01, 0x00}));
    bool closed = false;
    for (int i = 0; i < 100 && !closed; ++i) {
        c.send({0x00});
        closed = c.closedByServer(std::chrono::milliseconds(200));
    }
    EXPECT_TRUE(closed);
    EXPECT_NE(server.standardError().find("no login within 2 s"), std::string::npos) << server.standardError();
}

TEST(SqlemuHostileClients, ALongBatchCostsASmallMultipleOfItsSize)
{
    SqlemuProcess server;
    ASSERT_TRUE(server.start()) << server.error();
    DbLibConnection c;
    ASSERT_TRUE(c.open(server.address(), "sa", ""));
    const std::string batch = chain("SET NOCOUNT ON ", "SELECT 1 ", 2 * 1024 * 1024 / 9);
    const std::size_t before = processStatusBytes(server.processId(), "VmHWM");
    ASSERT_GT(before, 0u);
    bool ok = false;
    const auto sets = c.execute(batch, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(sets.size(), 2 * 1024 * 1024 / 9u);
    // The batch arrives as UTF-16 (twice its size) and is read into tokens;
    // a tree for every statement at once would cost some sixty times it.
    const std::size_t grown = processStatusBytes(server.processId(), "VmHWM") - before;
    if (kResidentSizeIsMeaningful) {
        EXPECT_LT(grown, 24 * batch.size())
            << grown / (1024 * 1024) << " MB for a batch of " << batch.size() / (1024 * 1024) << " MB";
    }
}

TEST(SqlemuHostileClients, TheConnectionQueueIsTheSystemsLongest)
{
    SqlemuProcess server;
    ASSERT_TRUE(server.start()) << server.error();
    // ss shows a listening socket's queue length as its Send-Q.
    auto listing = runProcess({"ss", "-Hltn", "sport", "=", ":" + std::to_string(server.port())});
    ASSERT_EQ(listing.exitCode, 0) << listing.output;
    std::istringstream lines(listing.output);
    int sockets = 0;
    for (std::string state, receiveQ, sendQ, rest; lines >> state >> receiveQ >> sendQ && std::getline(lines, rest);) {
        ++sockets;
        EXPECT_GT(std::stoi(sendQ), 128) << listing.output;
    }
    EXPECT_GE(sockets, 1) << listing.output;
}

} // namespace
