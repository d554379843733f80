#include "db/connection_target.h"
#include "db/database.h"
#include "settings/connection_templates.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

using namespace movan;

namespace {

ConnectionTarget target(const QString &dataSource)
{
    return connectionTargetFrom(QStringLiteral("Provider=SQLOLEDB.1;User ID=sa;Data Source=") + dataSource);
}

TEST(ConnectionTarget, DataSourceForms)
{
    const struct {
        const char *source;
        const char *host;
        int port;
        const char *instance;
    } cases[] = {
        {".", "localhost", 0, ""},
        {"(local)", "localhost", 0, ""},
        {"", "localhost", 0, ""},
        {"LocalHost", "localhost", 0, ""},
        {"srv01", "srv01", 0, ""},
        {"10.1.2.3", "10.1.2.3", 0, ""},
        {"SRV\\SQLEXPRESS", "SRV", 0, "SQLEXPRESS"},
        {".\\INST", "localhost", 0, "INST"},
        {"srv,1444", "srv", 1444, ""},
        {"tcp:srv , 1500", "srv", 1500, ""},
        {"srv\\INST,1444", "srv", 1444, "INST"},
        // IPv6 literals: bare, or in brackets when a port or instance follows.
        {"::1", "::1", 0, ""},
        {"fe80::1%eth0", "fe80::1%eth0", 0, ""},
        {"[::1],1433", "::1", 1433, ""},
        {"tcp:[2001:db8::5] , 1500", "2001:db8::5", 1500, ""},
        {"[::1]\\INST", "::1", 0, "INST"},
        {"::1,1444", "::1", 1444, ""},
    };
    for (const auto &c : cases) {
        const ConnectionTarget t = target(QString::fromUtf8(c.source));
        EXPECT_EQ(t.host, QString::fromUtf8(c.host)) << c.source;
        EXPECT_EQ(t.port, c.port) << c.source;
        EXPECT_EQ(t.instance, QString::fromUtf8(c.instance)) << c.source;
    }
}

TEST(ConnectionTarget, TemplatesMapToLogins)
{
    const ConnectionTarget windows = connectionTargetFrom(kLocalMasterConnectionString);
    EXPECT_TRUE(windows.integratedSecurity);
    EXPECT_TRUE(windows.user.isEmpty());
    EXPECT_EQ(windows.database, QStringLiteral("master"));

    const ConnectionTarget sql = connectionTargetFrom(
        BuildConnectionString(QStringLiteral("srv"), QStringLiteral("SQL"), QStringLiteral("admin"),
                              QStringLiteral("p;w"), QStringLiteral("Tarnel")));
    EXPECT_FALSE(sql.integratedSecurity);
    EXPECT_EQ(sql.user, QStringLiteral("admin"));
    EXPECT_EQ(sql.password, QStringLiteral("p;w"));
    EXPECT_EQ(sql.database, QStringLiteral("Tarnel"));
    EXPECT_EQ(sql.packetSize, 4096);
    EXPECT_EQ(sql.workstation, QStringLiteral("."));
}

TEST(ConnectionTarget, RefusesWhatItCannotReach)
{
    for (const char *bad :
         {"Provider=MSDASQL;Data Source=.", "Data Source=.", "Provider=SQLOLEDB.1;Data Source=srv,99999",
          "Provider=SQLOLEDB.1;Data Source=np:\\\\.\\pipe\\sql", "Provider=SQLOLEDB.1;Data Source=srv\\",
          "Provider=SQLOLEDB.1;Data Source=[::1", "Provider=SQLOLEDB.1;Data Source=[srv],1",
          "Provider=SQLOLEDB.1;Data Source=[::1]x", "Provider=SQLOLEDB.1;Data Source=lpc:srv",
          "Provider=SQLOLEDB.1;Password='open"})
        EXPECT_THROW(connectionTargetFrom(QString::fromUtf8(bad)), DatabaseError) << bad;
    try {
        connectionTargetFrom(QStringLiteral("Provider=MSDASQL.1;Data Source=."));
    } catch (const DatabaseError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("MSDASQL.1"))) << "the refused provider is named";
    }
}

TEST(ResultColumns, RepeatedNamesGetSuffixes)
{
    EXPECT_EQ(uniqueFieldNames({QStringLiteral("Value"), QStringLiteral("Value"), QStringLiteral("Data")}),
              (QStringList{QStringLiteral("Value"), QStringLiteral("Value_1"), QStringLiteral("Data")}));
    EXPECT_EQ(uniqueFieldNames({QStringLiteral("a"), QStringLiteral("A"), QStringLiteral("a")}),
              (QStringList{QStringLiteral("a"), QStringLiteral("A_1"), QStringLiteral("a_2")}));
}

TEST(Progress, OnlyMessage3211CountsAsProgress)
{
    EXPECT_EQ(percentProcessed(3211, QStringLiteral("10 percent processed.")), 10);
    EXPECT_EQ(percentProcessed(3211, QStringLiteral("100 percent processed.")), 100);
    EXPECT_EQ(percentProcessed(3014, QStringLiteral("10 percent processed.")), std::nullopt);
    EXPECT_EQ(percentProcessed(3211, QStringLiteral("percent")), std::nullopt);
}

} // namespace
