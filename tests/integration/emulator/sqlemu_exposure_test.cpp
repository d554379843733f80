// Who can reach the real sqlemu and what it shares: loopback only unless
// told otherwise (and then never with an empty sa password), one server per
// data folder, and passwords that stay out of the process list.

#include "dblib_client.h"
#include "process_runner.h"

#include "support/sqlemu_process.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// An IPv4 address of this computer that is not loopback; empty if it has none.
std::string networkAddress()
{
    ifaddrs *all = nullptr;
    if (::getifaddrs(&all) != 0)
        return {};
    std::string found;
    for (ifaddrs *a = all; a && found.empty(); a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET)
            continue;
        const auto *v4 = reinterpret_cast<const sockaddr_in *>(a->ifa_addr);
        if ((ntohl(v4->sin_addr.s_addr) >> 24) == 127)
            continue;
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
        found = text;
    }
    ::freeifaddrs(all);
    return found;
}

bool canConnect(const std::string &address, int port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    const bool connected = ::connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    ::close(s);
    return connected;
}

std::string commandLineOf(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(SqlemuExposure, ListensOnLoopbackOnlyUnlessAnAddressIsNamed)
{
    const std::string outside = networkAddress();
    if (outside.empty())
        GTEST_SKIP() << "this computer has no address beyond loopback";
    {
        SqlemuProcess server;
        ASSERT_TRUE(server.start()) << server.error();
        EXPECT_TRUE(canConnect("127.0.0.1", server.port()));
        EXPECT_FALSE(canConnect(outside, server.port()));
    }
    SqlemuOptions options;
    options.saPassword = "Outside-1";
    options.extraArguments = {"--listen", outside};
    SqlemuProcess server(options);
    ASSERT_TRUE(server.start()) << server.error();
    DbLibConnection c;
    EXPECT_TRUE(c.open(outside + ":" + std::to_string(server.port()), "sa", "Outside-1"));
}

TEST(SqlemuExposure, AnotherAddressNeedsAnSaPassword)
{
    const std::string sqlemu = builtExecutable("sqlemu");
    const std::string data = makeTemporaryFolder("sqlemu-exposure");
    auto refused = runProcess({sqlemu, "--data-dir", data, "--port", "0", "--listen", "0.0.0.0"});
    EXPECT_EQ(refused.exitCode, 2) << refused.output;
    EXPECT_NE(refused.output.find("the login 'sa' has no password"), std::string::npos) << refused.output;
    std::filesystem::remove_all(data);
}

TEST(SqlemuExposure, ASecondServerOnTheSameDataFolderRefusesToStart)
{
    SqlemuProcess first;
    ASSERT_TRUE(first.start()) << first.error();
    SqlemuOptions options;
    options.dataDir = first.dataDir();
    SqlemuProcess second(options);
    EXPECT_FALSE(second.start());
    EXPECT_NE(second.error().find("is in use by another sqlemu"), std::string::npos) << second.error();
    // The first one is unharmed.
    DbLibConnection c;
    EXPECT_TRUE(c.open(first.address(), "sa", ""));
}

TEST(SqlemuExposure, PasswordsFromFilesStayOutOfTheProcessList)
{
    SqlemuOptions options;
    options.saPassword = "Hidden-Sa-1";
    options.logins = {"movan:Hidden: Login 2", "# a comment line is not a login:x"};
    SqlemuProcess server(options);
    ASSERT_TRUE(server.start()) << server.error();
    const std::string commandLine = commandLineOf(server.processId());
    ASSERT_FALSE(commandLine.empty());
    EXPECT_EQ(commandLine.find("Hidden"), std::string::npos);

    DbLibConnection sa, movan, comment;
    EXPECT_TRUE(sa.open(server.address(), "sa", "Hidden-Sa-1"));
    EXPECT_TRUE(movan.open(server.address(), "movan", "Hidden: Login 2"));
    EXPECT_FALSE(comment.open(server.address(), "# a comment line is not a login", "x"));
}

} // namespace
