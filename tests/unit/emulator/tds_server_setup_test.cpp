#include "tds/browser.h"
#include "tds/command_line.h"
#include "tds/host_addresses.h"

#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace sqlemu::tds;

namespace {

std::string text(const Bytes &answer)
{
    return std::string(answer.begin() + 3, answer.end());
}

TEST(TdsBrowser, AnswersListsAndSingleInstances)
{
    const std::vector<BrowserInstance> instances
        = {{"MSSQLSERVER", 1433, "9.00.1399.06"}, {"SALES", 50001, "9.00.1399.06"}};
    auto all = browserResponse(Bytes{0x03}, "vm", instances);
    ASSERT_TRUE(all);
    EXPECT_EQ((*all)[0], 0x05);
    EXPECT_EQ((*all)[1] | ((*all)[2] << 8), static_cast<int>(all->size() - 3));
    EXPECT_EQ(text(*all),
              "ServerName;VM;InstanceName;MSSQLSERVER;IsClustered;No;Version;9.00.1399.06;tcp;1433;;"
              "ServerName;VM;InstanceName;SALES;IsClustered;No;Version;9.00.1399.06;tcp;50001;;");
    EXPECT_EQ(browserResponse(Bytes{0x02}, "vm", instances), all);

    auto one = browserResponse(Bytes{0x04, 's', 'a', 'L', 'e', 's', 0x00}, "vm", instances);
    ASSERT_TRUE(one);
    EXPECT_EQ(text(*one), "ServerName;VM;InstanceName;SALES;IsClustered;No;Version;9.00.1399.06;tcp;50001;;");
}

TEST(TdsBrowser, StaysSilentWhereARealBrowserDoes)
{
    const std::vector<BrowserInstance> instances = {{"SALES", 50001, "16.0.1000.6"}};
    EXPECT_FALSE(browserResponse(Bytes{}, "vm", instances));
    EXPECT_FALSE(browserResponse(Bytes{0x04, 'X', 0x00}, "vm", instances));
    EXPECT_FALSE(browserResponse(Bytes{0x04}, "vm", instances));
    EXPECT_FALSE(browserResponse(Bytes(40, 0x04), "vm", instances)); // name longer than 32
    EXPECT_FALSE(browserResponse(Bytes{0x0F, 0x01, 'S', 0x00}, "vm", instances));
    EXPECT_FALSE(browserResponse(Bytes{0x7E}, "vm", instances));
}

TEST(TdsCommandLine, ReadsEveryOption)
{
    ServerOptions o = parseCommandLine({"--data-dir",
                                        "d",
                                        "--port",
                                        "14330",
                                        "--instance",
                                        "SALES=50001",
                                        "--instance=Archive=0",
                                        "--browser",
                                        "--browser-port",
                                        "0",
                                        "--sa-password",
                                        "pw",
                                        "--login",
                                        "movan:a:b",
                                        "--login",
                                        "operator:c:dbcreator",
                                        "--login",
                                        "odd:x:sysadmin:public",
                                        "--send-timeout",
                                        "7",
                                        "--max-memory",
                                        "512",
                                        "--keytab",
                                        "k",
                                        "--server-version",
                                        "16.0",
                                        "--trace",
                                        "t",
                                        "--test-statements"});
    EXPECT_EQ(o.dataDir, "d");
    EXPECT_EQ(o.port, 14330);
    ASSERT_EQ(o.instances.size(), 2u);
    EXPECT_EQ(o.instances[1].name, "Archive");
    EXPECT_EQ(o.instances[1].port, 0);
    EXPECT_TRUE(o.browser);
    EXPECT_EQ(o.browserPort, 0);
    EXPECT_EQ(o.logins.at("sa"), (SqlLogin{"pw", sqlemu::ServerRole::SysAdmin}));
    // Passwords may hold colons; a last field is a role only when it names one.
    EXPECT_EQ(o.logins.at("movan"), (SqlLogin{"a:b", sqlemu::ServerRole::Public}));
    EXPECT_EQ(o.logins.at("operator"), (SqlLogin{"c", sqlemu::ServerRole::DbCreator}));
    EXPECT_EQ(o.logins.at("odd"), (SqlLogin{"x:sysadmin", sqlemu::ServerRole::Public}));
    EXPECT_EQ(o.sendTimeoutSeconds, 7);
    EXPECT_EQ(o.maxMemoryMegabytes, 512u);
    EXPECT_EQ(o.keytab, "k");
    EXPECT_EQ(o.serverVersion, "16.0");
    EXPECT_EQ(o.trace, "t");
    EXPECT_TRUE(o.testStatements);

    ServerOptions defaults = parseCommandLine({"--data-dir", "d"});
    EXPECT_EQ(defaults.port, 1433);
    EXPECT_EQ(defaults.browserPort, 1434);
    EXPECT_EQ(defaults.logins.at("sa"), (SqlLogin{"", sqlemu::ServerRole::SysAdmin})); // the demo's empty sa password
    EXPECT_FALSE(defaults.testStatements);
    EXPECT_EQ(defaults.sendTimeoutSeconds, 60);
    EXPECT_EQ(defaults.maxMemoryMegabytes, 0u);
    EXPECT_GT(sqlemu::tds::defaultMaxMemoryBytes(), std::size_t{64} << 20);
    EXPECT_TRUE(defaults.warnings.empty());
}

TEST(TdsCommandLine, PasswordsComeFromFilesAndListeningStaysOnLoopback)
{
    sqlemu::test::TempFolder folder;
    const auto sa = folder.path() / "sa";
    const auto logins = folder.path() / "logins";
    std::ofstream(sa) << "first line: the password\r\nsecond line ignored\n";
    std::ofstream(logins) << "# NAME:PASSWORD[:ROLE]\nmovan:a:b\n\nreader:r\nbackups:b:dbcreator\n";
    std::filesystem::permissions(sa, std::filesystem::perms::owner_read);
    std::filesystem::permissions(logins, std::filesystem::perms::owner_read);
    ServerOptions o
        = parseCommandLine({"--data-dir", "d", "--sa-password-file", sa.string(), "--logins-file", logins.string(),
                            "--listen", "192.0.2.7", "--max-sessions", "8", "--login-timeout", "5"});
    EXPECT_EQ(o.logins.at("sa").password, "first line: the password");
    EXPECT_EQ(o.logins.at("movan").password, "a:b");
    EXPECT_EQ(o.logins.at("reader").password, "r");
    EXPECT_EQ(o.logins.at("backups"), (SqlLogin{"b", sqlemu::ServerRole::DbCreator}));
    EXPECT_EQ(o.logins.size(), 4u);
    EXPECT_TRUE(o.warnings.empty());
    EXPECT_EQ(o.maxSessions, 8);
    EXPECT_EQ(o.loginTimeoutSeconds, 5);

    // The computer's name may resolve to a network address: only the
    // loopback ones of it are taken, and what --listen names.
    EXPECT_EQ(listenAddresses({"127.0.1.1", "192.0.2.2", "fd00::2", "::1", "::ffff:127.0.0.2"}, o.extraListenAddresses),
              (std::vector<std::string>{"127.0.0.1", "::1", "127.0.1.1", "::ffff:127.0.0.2", "192.0.2.7"}));
    EXPECT_EQ(listenAddresses({"10.1.2.3"}, {}), (std::vector<std::string>{"127.0.0.1", "::1"}));
}

TEST(TdsCommandLine, AWildcardServesTheLoopbackAddressesOfItsFamily)
{
    // Bound beside it on the same port, a loopback socket would collide.
    EXPECT_EQ(listenAddresses({"127.0.1.1", "::1"}, {"0.0.0.0"}), (std::vector<std::string>{"0.0.0.0", "::1"}));
    EXPECT_EQ(listenAddresses({"127.0.1.1"}, {"::", "192.0.2.7"}),
              (std::vector<std::string>{"::", "127.0.0.1", "127.0.1.1", "192.0.2.7"}));
    EXPECT_EQ(listenAddresses({"127.0.1.1"}, {"0:0::0", "0.0.0.0"}), (std::vector<std::string>{"0:0::0", "0.0.0.0"}));
    EXPECT_FALSE(isWildcardAddress("::1"));
    EXPECT_FALSE(isWildcardAddress("0.0.0.1"));
}

TEST(TdsCommandLine, PasswordFilesThatGiveNoPasswordAreRefused)
{
    sqlemu::test::TempFolder folder;
    const auto write = [&](const std::string &name, const std::string &contents) {
        const auto path = folder.path() / name;
        std::ofstream(path) << contents;
        std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        return path.string();
    };
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--sa-password-file", folder.path().string()}, "is not a regular file"},
        {{"--sa-password-file", "/dev/null"}, "is not a regular file"},
        {{"--sa-password-file", write("empty", "")}, "is empty"},
        {{"--sa-password-file", write("newline", "\n")}, "first line of"},
        {{"--sa-password-file", write("second", "\r\npassword on line two\n")}, "first line of"},
        {{"--logins-file", folder.path().string()}, "is not a regular file"},
    };
    for (const auto &[args, reason] : cases) {
        std::vector<std::string> all = {"--data-dir", "d"};
        all.insert(all.end(), args.begin(), args.end());
        try {
            parseCommandLine(all);
            ADD_FAILURE() << "accepted: " << args.back();
        } catch (const CommandLineError &e) {
            EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
        }
    }

    // Readable by others: taken, with a warning that names the file.
    const std::string open = write("open", "secret\n");
    std::filesystem::permissions(open, std::filesystem::perms::others_read, std::filesystem::perm_options::add);
    const ServerOptions o = parseCommandLine({"--data-dir", "d", "--sa-password-file", open});
    EXPECT_EQ(o.logins.at("sa").password, "secret");
    ASSERT_EQ(o.warnings.size(), 1u);
    EXPECT_NE(o.warnings[0].find(open), std::string::npos) << o.warnings[0];
}

TEST(TdsCommandLine, RefusesMistakesWithAReason)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "--data-dir is required"},
        {{"--data-dir"}, "--data-dir needs a value"},
        {{"--data-dir", "d", "--port", "70000"}, "not a port number"},
        {{"--data-dir", "d", "--instance", "1BAD=5"}, "not a valid instance name"},
        {{"--data-dir", "d", "--instance", "A=5", "--instance", "a=6"}, "given twice"},
        {{"--data-dir", "d", "--instance", "A=5", "--instance", "B=5"}, "used twice"},
        {{"--data-dir", "d", "--login", "sa:x"}, "given twice"},
        {{"--data-dir", "d", "--browser=yes"}, "takes no value"},
        {{"--data-dir", "d", "--server-version", "8.0"}, "expected 9.0, 10.50 or 16.0"},
        {{"--data-dir", "d", "extra"}, "unknown option 'extra'"},
        {{"--data-dir", "d", "--listen", "0.0.0.0"}, "the login 'sa' has no password"},
        {{"--data-dir", "d", "--listen", "::", "--sa-password", "x", "--login", "bob:"},
         "the login 'bob' has no password"},
        {{"--data-dir", "d", "--listen", "::", "--sa-password", "x", "--login", "bob::sysadmin"},
         "the login 'bob' has no password"},
        {{"--data-dir", "d", "--send-timeout", "0"}, "not a number of seconds"},
        {{"--data-dir", "d", "--max-memory", "1"}, "not a number of MB"},
        {{"--data-dir", "d", "--listen", "somewhere", "--sa-password", "x"}, "not an IP address"},
        {{"--data-dir", "d", "--max-sessions", "0"}, "not a number of sessions"},
        {{"--data-dir", "d", "--login-timeout", "soon"}, "not a number of seconds"},
        {{"--data-dir", "d", "--sa-password-file", "/nonexistent/sa"}, "cannot read"},
        {{"--data-dir", "d", "--encryption", "on"}, "expected available, forced or not-supported"},
        {{"--data-dir", "d", "--tls-cert", "c.pem"}, "go together"},
        {{"--data-dir", "d", "--tls-key", "k.pem"}, "go together"},
        {{"--data-dir", "d", "--encryption", "not-supported", "--tls-cert", "c", "--tls-key", "k"}, "no use"},
        {{"--data-dir", "d", "--force-encryption=yes"}, "takes no value"},
    };
    for (const auto &[args, reason] : cases) {
        try {
            parseCommandLine(args);
            ADD_FAILURE() << "accepted: " << reason;
        } catch (const CommandLineError &e) {
            EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
        }
    }
}

} // namespace
