// SQL Server logins, the command line and the shutdown of the real sqlemu,
// through FreeTDS.

#include "dblib_client.h"
#include "process_runner.h"

#include "support/sqlemu_process.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <filesystem>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

class SqlemuLogins : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        SqlemuOptions options;
        options.saPassword = "Sa-Pass1";
        options.logins = {"movan:Secret 1"};
        server = new SqlemuProcess(options);
        ASSERT_TRUE(server->start()) << server->error();
    }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }

    static const SeenMessage *find(const DbLibConnection &c, int number)
    {
        for (const auto &m : c.messages) {
            if (m.number == number)
                return &m;
        }
        return nullptr;
    }

    static SqlemuProcess *server;
};

SqlemuProcess *SqlemuLogins::server = nullptr;

TEST_F(SqlemuLogins, SqlLoginsGetTheMessagesOfARealServer)
{
    for (auto [user, password] : {std::pair{"sa", "Sa-Pass1"}, std::pair{"movan", "Secret 1"}}) {
        DbLibConnection c;
        ASSERT_TRUE(c.open(server->address(), user, password)) << user;
        const SeenMessage *context = find(c, 5701);
        ASSERT_NE(context, nullptr);
        EXPECT_EQ(context->text, "Changed database context to 'master'.");
        EXPECT_EQ(context->severity, 0);
        const SeenMessage *language = find(c, 5703);
        ASSERT_NE(language, nullptr);
        EXPECT_EQ(language->text, "Changed language setting to us_english.");
    }
    DbLibConnection c;
    ASSERT_TRUE(c.open(server->address(), "sa", "Sa-Pass1", "tempdb"));
    EXPECT_EQ(find(c, 5701)->text, "Changed database context to 'tempdb'.");
}

TEST_F(SqlemuLogins, AWrongPasswordFailsWith18456)
{
    for (auto [user, password] : {std::pair{"sa", "sa-pass1"}, std::pair{"sa", ""}, std::pair{"nobody", "x"}}) {
        DbLibConnection c;
        EXPECT_FALSE(c.open(server->address(), user, password)) << user;
        const SeenMessage *failed = find(c, 18456);
        ASSERT_NE(failed, nullptr) << user;
        EXPECT_EQ(failed->severity, 14);
        EXPECT_EQ(failed->state, 1);
        EXPECT_EQ(failed->text, std::string("Login failed for user '") + user + "'.");
    }
}

TEST_F(SqlemuLogins, AnUnknownInitialDatabaseFailsWith4060)
{
    DbLibConnection c;
    EXPECT_FALSE(c.open(server->address(), "sa", "Sa-Pass1", "NoSuchDatabase"));
    ASSERT_NE(find(c, 4060), nullptr);
    EXPECT_EQ(find(c, 4060)->text, "Cannot open database \"NoSuchDatabase\" requested by the login. The login failed.");
    EXPECT_NE(find(c, 18456), nullptr);
}

TEST_F(SqlemuLogins, TsqlLogsInWithSqlAuthentication)
{
    auto ok = runTsql({"-H", "127.0.0.1", "-p", std::to_string(server->port()), "-U", "movan", "-P", "Secret 1"},
                      {"select name from master.dbo.sysdatabases"});
    EXPECT_NE(ok.output.find("tempdb"), std::string::npos) << ok.output;

    auto refused
        = runTsql({"-H", "127.0.0.1", "-p", std::to_string(server->port()), "-U", "movan", "-P", "nope"}, {"select 1"});
    EXPECT_NE(refused.output.find("Login failed for user 'movan'."), std::string::npos) << refused.output;
}

// Sends raw bytes on a connection of its own; true when the server then
// closed that connection.
bool serverDropsAfter(int port, const std::string &bytes)
{
    const int s = connectToLoopback(port);
    if (s < 0)
        return false;
    ::send(s, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    timeval timeout{10, 0};
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    char buffer[256];
    ssize_t n;
    while ((n = ::recv(s, buffer, sizeof buffer, 0)) > 0) {}
    ::close(s);
    return n == 0;
}

TEST_F(SqlemuLogins, GarbageEndsOnlyItsOwnConnection)
{
    DbLibConnection busy;
    ASSERT_TRUE(busy.open(server->address(), "sa", "Sa-Pass1"));

    const std::vector<std::string> garbage = {
        "GET / HTTP/1.1\r\nHost: localhost\r\n\r\n",
        std::string("\x12\x01\x00\x0A\x00\x00\x00\x00\x00\x00", 10), // PRELOGIN cut short
        std::string("\x10\x01\x00\x10\x00\x00\x00\x00\xFF\xFF\xFF\xFF\x00\x00\x00\x74", 16),
        std::string("\x01\x01\xFF\xFF\x00\x00\x00\x00", 8), // a packet longer than any
    };
    for (const auto &bytes : garbage)
        EXPECT_TRUE(serverDropsAfter(server->port(), bytes));

    bool ok = false;
    busy.execute("select name from master.dbo.sysdatabases", &ok);
    EXPECT_TRUE(ok);
    DbLibConnection fresh;
    EXPECT_TRUE(fresh.open(server->address(), "movan", "Secret 1"));
}

TEST_F(SqlemuLogins, ManySessionsAtOnce)
{
    std::vector<std::unique_ptr<DbLibConnection>> sessions;
    for (int i = 0; i < 20; ++i) {
        sessions.push_back(std::make_unique<DbLibConnection>());
        ASSERT_TRUE(sessions.back()->open(server->address(), "sa", "Sa-Pass1")) << i;
    }
    for (auto &s : sessions) {
        bool ok = false;
        auto sets = s->execute("Select name, filename from master.dbo.sysdatabases \r\nWhere 1=1\r\n\r\n", &ok);
        EXPECT_TRUE(ok);
        ASSERT_EQ(sets.size(), 1u);
        EXPECT_EQ(sets[0].rows.size(), 4u);
    }
}

TEST(SqlemuVersions, EveryEmulatedVersionServesEveryTdsVersionFreeTdsSpeaks)
{
    for (const std::string version : {"9.0", "10.50", "16.0"}) {
        SqlemuOptions options;
        options.serverVersion = version;
        SqlemuProcess server(options);
        ASSERT_TRUE(server.start()) << server.error();
        DbLibConnection c;
        ASSERT_TRUE(c.open(server.address(), "sa", "")) << version;
        bool ok = false;
        c.execute("select name from master.dbo.sysdatabases", &ok);
        EXPECT_TRUE(ok) << version;
        for (const std::string tds : {"7.1", "7.2", "7.3", "7.4"}) {
            auto result = runTsql({"-H", "127.0.0.1", "-p", std::to_string(server.port()), "-U", "sa", "-P", ""},
                                  {"select name from master.dbo.sysdatabases"}, {{"TDSVER", tds}});
            EXPECT_NE(result.output.find("msdb"), std::string::npos) << version << " over TDS " << tds << "\n"
                                                                     << result.output;
        }
    }
}

TEST(SqlemuCommandLine, RefusesBadCommandLinesWithTheUsage)
{
    const std::string sqlemu = builtExecutable("sqlemu");
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--port", "1433"},
        {"--data-dir", "x", "--port", "http"},
        {"--data-dir", "x", "--instance", "NOPORT"},
        {"--data-dir", "x", "--instance", "MSSQLSERVER=5000"},
        {"--data-dir", "x", "--server-version", "11.0"},
        {"--data-dir", "x", "--login", "nopassword"},
        {"--data-dir", "x", "--frobnicate"},
        {"--data-dir", "x", "--port", "5000", "--instance", "A=5000"},
    };
    for (const auto &args : bad) {
        std::vector<std::string> command = {sqlemu};
        command.insert(command.end(), args.begin(), args.end());
        auto result = runProcess(command);
        EXPECT_EQ(result.exitCode, 2) << result.output;
        EXPECT_NE(result.output.find("usage: sqlemu --data-dir DIR"), std::string::npos) << result.output;
    }
}

TEST(SqlemuShutdown, SigtermEndsCleanlyAndKeepsTheCatalogue)
{
    SqlemuOptions options;
    options.dataDir = makeTemporaryFolder("sqlemu-data");
    {
        SqlemuProcess server(options);
        ASSERT_TRUE(server.start()) << server.error();
        DbLibConnection c;
        ASSERT_TRUE(c.open(server.address(), "sa", "")); // the demo's empty sa password
        c.close();
        EXPECT_EQ(server.stop(), 0);
    }
    EXPECT_FALSE(std::filesystem::is_empty(std::filesystem::path(options.dataDir) / "MSSQLSERVER"));
    std::filesystem::remove_all(options.dataDir);
}

TEST(SqlemuShutdown, ABusyPortIsReportedNotIgnored)
{
    SqlemuProcess first;
    ASSERT_TRUE(first.start()) << first.error();
    SqlemuOptions options;
    options.port = first.port();
    SqlemuProcess second(options);
    EXPECT_FALSE(second.start());
    EXPECT_NE(second.error().find("cannot listen"), std::string::npos) << second.error();
}

} // namespace
