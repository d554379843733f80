#include "fake_engine.h"
#include "tds/login7.h"
#include "tds/login_service.h"
#include "tds/prelogin.h"

#include "support/tds_wire_client.h"

#include <gtest/gtest.h>

using namespace sqlemu::tds;
using sqlemu::test::LoginFields;

namespace {

TEST(TdsPreLogin, AnswersEncryptionNotSupportedWithMars)
{
    PreLoginRequest request = parsePreLogin(sqlemu::test::preLogin());
    EXPECT_EQ(request.encryption, Encryption::NotSupported);
    EXPECT_EQ(request.instance, "MSSQLServer");

    Bytes answer = buildPreLoginResponse(ProductVersion{16, 0, 1000});
    PreLoginRequest parsed = parsePreLogin(answer); // same option layout both ways
    EXPECT_EQ(parsed.encryption, Encryption::NotSupported);
    bool hasMars = false;
    for (std::size_t i = 0; answer[i] != 0xFF; i += 5)
        hasMars = hasMars || answer[i] == PreLoginOption::Mars;
    EXPECT_TRUE(hasMars);
    EXPECT_EQ(answer[(answer[1] << 8) | answer[2]], 16); // VERSION starts with the major version
}

TEST(TdsPreLogin, RejectsOptionsOutsideThePacket)
{
    EXPECT_THROW(parsePreLogin(Bytes{0x00, 0x00, 0x40, 0x00, 0x06, 0xFF}), MalformedInput);
    EXPECT_THROW(parsePreLogin(Bytes{0x00, 0x00}), MalformedInput);
    EXPECT_THROW(parsePreLogin(Bytes{}), MalformedInput);
}

TEST(TdsLogin7, ReadsFieldsAndDecodesThePassword)
{
    LoginFields f;
    f.user = "movan";
    f.password = "P@ss wörd";
    f.database = "Tarnel";
    f.app = "سامانه";
    Login7Request login = parseLogin7(sqlemu::test::login7(f));
    EXPECT_EQ(login.tdsVersion, TdsVersion::V7_4);
    EXPECT_EQ(login.userName, "movan");
    EXPECT_EQ(login.password, "P@ss wörd");
    EXPECT_EQ(login.database, "Tarnel");
    EXPECT_EQ(login.appName, "سامانه");
    EXPECT_EQ(login.hostName, "testhost");
    EXPECT_EQ(login.packetSize, 4096u);
    EXPECT_FALSE(login.integratedSecurity());
}

TEST(TdsLogin7, ReadsTheSspiTokenOfAnIntegratedLoginAndTds71Layout)
{
    LoginFields f;
    f.user.clear();
    f.integrated = true;
    f.sspi = Bytes(300, 0x60);
    Login7Request login = parseLogin7(sqlemu::test::login7(f));
    EXPECT_TRUE(login.integratedSecurity());
    EXPECT_EQ(login.sspi, f.sspi);

    f.tdsVersion = TdsVersion::V7_1;
    login = parseLogin7(sqlemu::test::login7(f));
    EXPECT_EQ(login.sspi, f.sspi);
}

TEST(TdsLogin7, RejectsLengthsAndOffsetsOutsideThePacket)
{
    Bytes good = sqlemu::test::login7(LoginFields{});
    struct Case {
        const char *what;
        std::size_t at;
        std::uint8_t value;
    };
    for (Case c : {Case{"user offset", 40, 0xF0}, Case{"user length", 42, 0x7F}, Case{"sspi length", 80, 0xF0},
                   Case{"total length", 2, 0x10}}) {
        Bytes bad = good;
        bad[c.at] = c.value;
        EXPECT_THROW(parseLogin7(bad), MalformedInput) << c.what;
    }
    EXPECT_THROW(parseLogin7(Bytes(good.begin(), good.begin() + 60)), MalformedInput);
}

TEST(TdsLogin7, NegotiatesAVersionClientsKnow)
{
    EXPECT_EQ(negotiateTdsVersion(TdsVersion::V7_4, TdsVersion::V7_2), TdsVersion::V7_2);
    EXPECT_EQ(negotiateTdsVersion(TdsVersion::V7_1, TdsVersion::V7_4), TdsVersion::V7_1);
    EXPECT_EQ(negotiateTdsVersion(0x75000000, TdsVersion::V7_4), TdsVersion::V7_4);
    EXPECT_EQ(negotiateTdsVersion(0x730B0003, TdsVersion::V7_4), TdsVersion::V7_3B);
}

class FakeKerberos : public KerberosAcceptor {
public:
    KerberosResult accept(std::span<const std::uint8_t> token) override
    {
        KerberosResult r;
        r.accepted = !token.empty() && token[0] == 0x60;
        r.principal = "alice@TEST.REALM";
        r.replyToken = {0x6F, 0x01};
        return r;
    }
};

class TdsLoginService : public ::testing::Test {
protected:
    sqlemu::test::Response login(const LoginFields &f)
    {
        ByteWriter out;
        outcome = answerLogin(parseLogin7(sqlemu::test::login7(f)), policy, engine, out);
        return sqlemu::test::readResponse(sqlemu::test::packet(0x04, out.data()));
    }

    sqlemu::test::FakeEngine engine;
    FakeKerberos kerberos;
    LoginPolicy policy{{{"sa", {"", sqlemu::ServerRole::SysAdmin}},
                        {"movan", {"secret", sqlemu::ServerRole::Public}},
                        {"backups", {"b", sqlemu::ServerRole::DbCreator}}},
                       nullptr,
                       *ServerVersion::fromName("16.0"),
                       "VM"};
    LoginOutcome outcome;
};

TEST_F(TdsLoginService, SendsTheTokensOfARealLoginInOrder)
{
    LoginFields f;
    f.database = "Tarnel";
    f.packetSize = 8192;
    auto r = login(f);
    ASSERT_TRUE(outcome.accepted);
    EXPECT_EQ(r.ids(), (std::vector<std::uint8_t>{0xE3, 0xAB, 0xE3, 0xE3, 0xAB, 0xAD, 0xE3, 0xFD}));
    EXPECT_EQ(r.tokens[0].text, "Tarnel");
    EXPECT_EQ(r.tokens[1].number, 5701);
    EXPECT_EQ(r.tokens[1].severity, 0);
    EXPECT_EQ(r.tokens[1].text, "Changed database context to 'Tarnel'.");
    EXPECT_EQ(r.tokens[1].server, "VM");
    EXPECT_EQ(r.tokens[2].envType, 7);
    EXPECT_EQ(r.tokens[3].text, "us_english");
    EXPECT_EQ(r.tokens[4].number, 5703);
    EXPECT_EQ(r.tokens[5].tdsVersion, TdsVersion::V7_4);
    EXPECT_EQ(r.tokens[5].text, "Microsoft SQL Server");
    EXPECT_EQ(r.tokens[6].text, "8192");
    EXPECT_EQ(r.tokens[7].status, 0);
    EXPECT_EQ(outcome.packetSize, 8192u);
    EXPECT_EQ(outcome.database, "Tarnel");
}

TEST_F(TdsLoginService, RefusesWrongPasswordsAndUnknownUsersAlike)
{
    for (auto [user, password] : {std::pair{"movan", "wrong"}, std::pair{"nobody", "secret"}, std::pair{"sa", "x"}}) {
        LoginFields f;
        f.user = user;
        f.password = password;
        auto r = login(f);
        EXPECT_FALSE(outcome.accepted);
        ASSERT_EQ(r.ids(), (std::vector<std::uint8_t>{0xAA, 0xFD})) << user;
        EXPECT_EQ(r.tokens[0].number, 18456);
        EXPECT_EQ(r.tokens[0].severity, 14);
        EXPECT_EQ(r.tokens[0].state, 1);
        EXPECT_EQ(r.tokens[0].text, std::string("Login failed for user '") + user + "'.");
        EXPECT_EQ(r.tokens[1].status, DoneStatus::Error);
    }
    LoginFields f;
    f.user = "MOVAN"; // login names ignore case, passwords do not
    f.password = "secret";
    login(f);
    EXPECT_TRUE(outcome.accepted);
    EXPECT_EQ(outcome.role, sqlemu::ServerRole::Public);
    // Each login brings its own server role into the session.
    f.user = "sa";
    f.password = "";
    login(f);
    EXPECT_EQ(outcome.role, sqlemu::ServerRole::SysAdmin);
    f.user = "backups";
    f.password = "b";
    login(f);
    EXPECT_EQ(outcome.role, sqlemu::ServerRole::DbCreator);
}

TEST_F(TdsLoginService, AnUnknownInitialDatabaseFailsTheLogin)
{
    LoginFields f;
    f.database = "Nowhere";
    auto r = login(f);
    EXPECT_FALSE(outcome.accepted);
    ASSERT_EQ(r.ids(), (std::vector<std::uint8_t>{0xAA, 0xAA, 0xFD}));
    EXPECT_EQ(r.tokens[0].number, 4060);
    EXPECT_EQ(r.tokens[0].severity, 11);
    EXPECT_EQ(r.tokens[0].text, "Cannot open database \"Nowhere\" requested by the login. The login failed.");
    EXPECT_EQ(r.tokens[1].number, 18456);
}

TEST_F(TdsLoginService, IntegratedLoginsNeedAKeytab)
{
    LoginFields f;
    f.user.clear();
    f.integrated = true;
    f.sspi = {0x60, 0x01};
    auto r = login(f);
    EXPECT_FALSE(outcome.accepted);
    ASSERT_EQ(r.tokens[0].number, 18452);
    EXPECT_EQ(r.tokens[0].severity, 14);

    policy.kerberos = &kerberos;
    r = login(f);
    ASSERT_TRUE(outcome.accepted);
    EXPECT_TRUE(outcome.integrated);
    EXPECT_EQ(outcome.loginName, "alice@TEST.REALM");
    EXPECT_EQ(r.tokens.front().id, 0xED); // the AP-REP comes before LOGINACK

    f.sspi = {0x4E, 0x54}; // not Kerberos
    r = login(f);
    EXPECT_FALSE(outcome.accepted);
    EXPECT_EQ(r.tokens[0].number, 18452);
}

TEST_F(TdsLoginService, OlderServersAcknowledgeTheirOwnVersion)
{
    policy.version = *ServerVersion::fromName("9.0");
    auto r = login(LoginFields{});
    ASSERT_NE(r.find(0xAD), nullptr);
    EXPECT_EQ(r.find(0xAD)->tdsVersion, TdsVersion::V7_2);
}

} // namespace
