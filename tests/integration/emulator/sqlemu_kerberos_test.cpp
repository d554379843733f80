// Windows authentication as it works on Linux: a Kerberos ticket from a
// throw-away realm, sent by FreeTDS in LOGIN7 and accepted by sqlemu with the
// service keytab.

#include "dblib_client.h"
#include "process_runner.h"

#include "support/kerberos_realm.h"
#include "support/sqlemu_process.h"

#include <gtest/gtest.h>

#include <netdb.h>
#include <unistd.h>

namespace {

class SqlemuKerberos : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        securePort = freeLoopbackPort(SOCK_STREAM);
        plainPort = freeLoopbackPort(SOCK_STREAM);
        realm = new KerberosRealm({securePort, plainPort});
        ASSERT_TRUE(realm->start()) << realm->error();
        realm->applyToThisProcess();

        withKeytab = new SqlemuProcess(realm->serverOptions(securePort));
        ASSERT_TRUE(withKeytab->start()) << withKeytab->error();

        SqlemuOptions plain;
        plain.port = plainPort;
        plain.environment = realm->environment();
        withoutKeytab = new SqlemuProcess(plain);
        ASSERT_TRUE(withoutKeytab->start()) << withoutKeytab->error();
    }
    static void TearDownTestSuite()
    {
        delete withKeytab;
        delete withoutKeytab;
        delete realm;
    }

    static const SeenMessage *find(const DbLibConnection &c, int number)
    {
        for (const auto &m : c.messages) {
            if (m.number == number)
                return &m;
        }
        return nullptr;
    }

    static std::string hostName()
    {
        char name[256] = {};
        ::gethostname(name, sizeof name - 1);
        return name;
    }

    static inline int securePort = 0;
    static inline int plainPort = 0;
    static inline KerberosRealm *realm = nullptr;
    static inline SqlemuProcess *withKeytab = nullptr;
    static inline SqlemuProcess *withoutKeytab = nullptr;
};

TEST_F(SqlemuKerberos, ATicketLogsInByEveryNameOfThisComputer)
{
    const std::vector<std::string> hosts = {"127.0.0.1", "localhost", hostName()};
    for (const std::string &host : hosts) {
        DbLibConnection c;
        ASSERT_TRUE(c.open(host + ":" + std::to_string(securePort), "", ""))
            << host << ": " << (c.clientErrors.empty() ? std::string() : c.clientErrors.front());
        ASSERT_NE(find(c, 5701), nullptr) << host;
        bool ok = false;
        auto sets = c.execute("select name from master.dbo.sysdatabases where name = 'master'", &ok);
        EXPECT_TRUE(ok) << host;
        EXPECT_EQ(sets.size(), 1u) << host;
    }
}

TEST_F(SqlemuKerberos, TsqlLogsInWithoutAUserName)
{
    auto result = runTsql({"-H", "127.0.0.1", "-p", std::to_string(securePort)},
                          {"select name from master.dbo.sysdatabases"}, realm->environment());
    EXPECT_NE(result.output.find("msdb"), std::string::npos) << result.output;
    EXPECT_EQ(result.output.find("Login failed"), std::string::npos) << result.output;
}

TEST_F(SqlemuKerberos, AServerWithoutAKeytabRefusesWith18452)
{
    DbLibConnection c;
    EXPECT_FALSE(c.open(withoutKeytab->address(), "", ""));
    const SeenMessage *refused = find(c, 18452);
    ASSERT_NE(refused, nullptr);
    EXPECT_EQ(refused->severity, 14);
    EXPECT_EQ(refused->text.rfind("Login failed. The login is from an untrusted domain", 0), 0u) << refused->text;
}

TEST_F(SqlemuKerberos, SqlLoginsStillWorkBesideKerberos)
{
    DbLibConnection c;
    EXPECT_TRUE(c.open(withKeytab->address(), "sa", ""));
}

} // namespace
