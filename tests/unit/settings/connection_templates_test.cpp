#include "db/connection_string.h"
#include "platform/executable_path.h"
#include "platform/profile_file.h"
#include "settings/connection_templates.h"
#include "settings/settings_file.h"

#include "support/qt_printers.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace movan;

namespace {

const QString kTail
    = QStringLiteral(";Use Procedure for Prepare=1;Auto Translate=True;Packet Size=4096;Workstation ID=.;"
                     "Use Encryption for Data=False;Tag with column collation when possible=False");

TEST(BuildConnectionString, ComposesTheConfiguredDatabaseStrings)
{
    EXPECT_EQ(
        BuildConnectionString(QStringLiteral("."), QStringLiteral("win"), QStringLiteral("sa"), QString(), QString()),
        QStringLiteral("Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
                       "Initial Catalog=;Data Source=."));
    EXPECT_EQ(BuildConnectionString(QStringLiteral("SRV"), QStringLiteral("Sql"), QStringLiteral("sa"),
                                    QStringLiteral(" \t\x01"), QStringLiteral("Tarnel")),
              QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Initial Catalog=Tarnel;"
                             "Data Source=SRV")
                  + kTail)
        << "a password of blanks and control characters is no password and is not sent";
    EXPECT_FALSE(BuildConnectionString(QStringLiteral("SRV"), QStringLiteral("SQL"), QStringLiteral("sa"),
                                       QStringLiteral("\x01\x1f\r"), QString())
                     .contains(QStringLiteral("Password=")))
        << "control characters alone are no password either";
    EXPECT_EQ(BuildConnectionString(QStringLiteral("."), QStringLiteral("SQL"), QStringLiteral("sa"),
                                    QStringLiteral("p@ss "), QStringLiteral("Tarnel")),
              QStringLiteral("Provider=SQLOLEDB.1;Password=\"p@ss \";Persist Security Info=True;User ID=sa;"
                             "Initial Catalog=Tarnel;Data Source=.")
                  + kTail)
        << "the untrimmed password is sent, quoted because of its trailing blank";
    EXPECT_EQ(BuildConnectionString(QStringLiteral("."), QStringLiteral("ODBC"), QStringLiteral("sa"), QString(),
                                    QStringLiteral("Tarnel")),
              QString());
}

TEST(BuildConnectionString, ValuesWithSeparatorsCannotInjectKeys)
{
    const QString text = BuildConnectionString(QStringLiteral("host;Initial Catalog=master"), QStringLiteral("SQL"),
                                               QStringLiteral("sa"), QStringLiteral("a;Integrated Security=SSPI"),
                                               QStringLiteral("Tarnel"));
    const ConnectionProperties p = parseConnectionString(text);
    EXPECT_EQ(p.value(QStringLiteral("Password")), QStringLiteral("a;Integrated Security=SSPI"));
    EXPECT_FALSE(p.contains(QStringLiteral("Integrated Security")));
    EXPECT_EQ(p.value(QStringLiteral("Initial Catalog")), QStringLiteral("Tarnel"));
    EXPECT_EQ(p.value(QStringLiteral("Data Source")), QStringLiteral("host;Initial Catalog=master"));
}

class ServerLevelStrings : public ::testing::Test {
protected:
    QTemporaryDir dir;
    ProfileFile file{dir.filePath(QStringLiteral("InitPrg.ini"))};

    void set(const char *key, const char *value)
    {
        file.writeString(QStringLiteral("DataBase"), QString::fromUtf8(key), QString::fromUtf8(value));
    }
};

TEST_F(ServerLevelStrings, MasterStringsKeepTheirOwnCatalogSpellings)
{
    set("Server", "SRV");
    set("Type", "WIN");
    EXPECT_EQ(BuildMasterConnectionString(file),
              QStringLiteral("Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
                             "Initial Catalog=master;Data Source=SRV"));
    set("Type", "SQL");
    set("User", "admin");
    set("Pass", "");
    EXPECT_EQ(BuildMasterConnectionString(file),
              QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;User ID=admin;"
                             "Initial Catalog= master;Data Source=SRV")
                  + kTail);
    set("Pass", "secret");
    EXPECT_EQ(BuildMasterConnectionString(file),
              QStringLiteral("Provider=SQLOLEDB.1;Password=secret;Persist Security Info=True;User ID=admin;"
                             "Initial Catalog=Master;Data Source=SRV")
                  + kTail);
    set("Pass", "\x01\x1f");
    EXPECT_EQ(BuildMasterConnectionString(file),
              QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;User ID=admin;"
                             "Initial Catalog= master;Data Source=SRV")
                  + kTail)
        << "control characters alone are no password";
    set("Type", "win");
    EXPECT_EQ(BuildMasterConnectionString(file), QString()) << "the server-level strings compare the type exactly";
}

TEST_F(ServerLevelStrings, MasterStringWithoutAFileIsEmpty)
{
    EXPECT_EQ(BuildMasterConnectionString(file), QString());
}

TEST_F(ServerLevelStrings, DefaultsWhenKeysAreAbsent)
{
    set("Other", "x");
    EXPECT_EQ(BuildMasterConnectionString(file),
              QStringLiteral("Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
                             "Initial Catalog=master;Data Source=."));
    EXPECT_EQ(buildRestoreConnectionString(file),
              QStringLiteral("Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
                             "Initial Catalog=master;Data Source="))
        << "with Windows authentication the restore leaves an absent server empty";
    set("Type", "SQL");
    EXPECT_EQ(BuildMasterConnectionString(file),
              QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;"
                             "Initial Catalog= master;Data Source=.")
                  + kTail);
    EXPECT_EQ(buildRestoreConnectionString(file),
              QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;"
                             "Initial Catalog=master;Data Source=.")
                  + kTail);
    set("Pass", "pw");
    EXPECT_EQ(buildRestoreConnectionString(file),
              QStringLiteral("Provider=SQLOLEDB.1;Password=pw;Persist Security Info=True;User ID=sa;"
                             "Initial Catalog=master;Data Source=.")
                  + kTail);
}

TEST(SettingsFilePath, IsBesideTheExecutableWhateverTheWorkingDirectory)
{
    QTemporaryDir elsewhere;
    const QString before = settingsFilePath(QStringLiteral("InitPrg.ini"));
    ASSERT_TRUE(QDir::setCurrent(elsewhere.path()));
    EXPECT_EQ(settingsFilePath(QStringLiteral("InitPrg.ini")), before);
    EXPECT_EQ(before, executableDirectory() + QStringLiteral("InitPrg.ini"));
    EXPECT_TRUE(QFileInfo(executableDirectory() + QStringLiteral("unit_connection_templates_test")).isFile());
}

} // namespace
