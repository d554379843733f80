// Named instances: the SQL Server Browser answers on UDP, and FreeTDS given
// HOST\INSTANCE finds the instance's port through it, as with a real server.

#include "dblib_client.h"
#include "process_runner.h"

#include "support/sqlemu_process.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// One request datagram, and the answer if one came within half a second.
std::optional<std::string> askBrowser(int port, const std::string &request)
{
    int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to = loopbackAddress(port);
    ::sendto(s, request.data(), request.size(), 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
    pollfd p{s, POLLIN, 0};
    std::optional<std::string> answer;
    if (::poll(&p, 1, 500) > 0) {
        char buffer[4096];
        ssize_t n = ::recv(s, buffer, sizeof buffer, 0);
        if (n > 0)
            answer = std::string(buffer, static_cast<std::size_t>(n));
    }
    ::close(s);
    return answer;
}

std::string records(const std::string &answer)
{
    EXPECT_GE(answer.size(), 3u);
    EXPECT_EQ(answer[0], '\x05');
    std::size_t size = static_cast<unsigned char>(answer[1]) | (static_cast<unsigned char>(answer[2]) << 8);
    EXPECT_EQ(size, answer.size() - 3);
    return answer.substr(3);
}

TEST(SqlemuBrowser, AnswersTheThreeRequestsClientsUse)
{
    SqlemuOptions options;
    options.instances = {{"SALES", 0}, {"Archive", 0}};
    options.browser = true;
    options.serverVersion = "10.50";
    SqlemuProcess server(options);
    ASSERT_TRUE(server.start()) << server.error();
    const std::string sales = "InstanceName;SALES;IsClustered;No;Version;10.50.4000.0;tcp;"
        + std::to_string(server.instancePort("SALES")) + ";;";
    const std::string main
        = "InstanceName;MSSQLSERVER;IsClustered;No;Version;10.50.4000.0;tcp;" + std::to_string(server.port()) + ";;";

    for (const std::string &request : {std::string("\x02"), std::string("\x03")}) {
        auto answer = askBrowser(server.browserPort(), request);
        ASSERT_TRUE(answer) << int(request[0]);
        std::string all = records(*answer);
        EXPECT_EQ(all.rfind("ServerName;", 0), 0u);
        EXPECT_NE(all.find(main), std::string::npos) << all;
        EXPECT_NE(all.find(sales), std::string::npos) << all;
        EXPECT_NE(all.find("InstanceName;Archive;"), std::string::npos) << all;
    }

    auto one = askBrowser(server.browserPort(), std::string("\x04sales", 6) + '\0');
    ASSERT_TRUE(one);
    std::string record = records(*one);
    EXPECT_NE(record.find(sales), std::string::npos) << record;
    EXPECT_EQ(record.find("Archive"), std::string::npos) << record;

    EXPECT_FALSE(askBrowser(server.browserPort(), std::string("\x04NOPE", 5) + '\0'));
    EXPECT_FALSE(askBrowser(server.browserPort(), "\x0F\x01SALES")); // no dedicated admin connection
}

TEST(SqlemuBrowser, FreeTdsFindsANamedInstanceThroughUdp1434)
{
    if (!loopbackPortIsFree(1434, SOCK_DGRAM))
        GTEST_FAIL()
            << "UDP 1434 is taken on this machine and FreeTDS asks no other port: stop the browser holding it and test again";
    SqlemuOptions options;
    options.instances = {{"SALES", 0}};
    options.browser = true;
    options.browserPort = 1434;
    SqlemuProcess server(options);
    ASSERT_TRUE(server.start()) << server.error();

    DbLibConnection c;
    ASSERT_TRUE(c.open("127.0.0.1\\SALES", "sa", ""));
    bool ok = false;
    auto sets = c.execute("select name from master.dbo.sysdatabases", &ok);
    EXPECT_TRUE(ok);

    auto tsql = runTsql({"-S", "127.0.0.1\\sales", "-U", "sa", "-P", ""}, {"select name from master.dbo.sysdatabases"});
    EXPECT_NE(tsql.output.find("tempdb"), std::string::npos) << tsql.output;

    // The session really went to the named instance.
    auto lines = server.traceLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.front().find("\"instance\":\"SALES\""), std::string::npos) << lines.front();
}

} // namespace
