#include "db/connection_target.h"
#include "platform/profile_file.h"
#include "settings/connection_templates.h"
#include "settings/maintenance_connection.h"
#include "settings/settings_keys.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace movan;

namespace {

class MaintenanceConnectionTest : public ::testing::Test {
protected:
    ProfileFile settings(const QString &type, const QString &user, const QString &password)
    {
        ProfileFile file(m_folder.filePath(QStringLiteral("InitPrg.ini")));
        file.writeString(Settings::kSection, Settings::kServer, QStringLiteral("faraway,1500"));
        file.writeString(Settings::kSection, Settings::kType, type);
        file.writeString(Settings::kSection, Settings::kUser, user);
        file.writeString(Settings::kSection, Settings::kPass, password);
        return ProfileFile(file.path());
    }

    QTemporaryDir m_folder;
};

TEST_F(MaintenanceConnectionTest, WithATicketWindowsAuthenticationOnTheLocalInstanceWhateverIsSaved)
{
    const MaintenanceConnection c
        = maintenanceConnection(settings(QStringLiteral("SQL"), QStringLiteral("sa"), QStringLiteral("pw")), true);
    EXPECT_EQ(c.connectionString, kLocalMasterConnectionString);
    EXPECT_FALSE(c.usesSavedLogin);
    EXPECT_TRUE(c.notice.isEmpty());
}

// The saved login, on this computer's default instance: never the server
// the settings name, which may be another machine.
TEST_F(MaintenanceConnectionTest, WithoutATicketTheSavedSqlLoginOnTheLocalDefaultInstance)
{
    const QString password = QStringLiteral("p;w=\"x'");
    const MaintenanceConnection c
        = maintenanceConnection(settings(QStringLiteral("sql"), QStringLiteral("Kasra"), password), false);
    ASSERT_TRUE(c.usesSavedLogin);
    const ConnectionTarget target = connectionTargetFrom(c.connectionString);
    EXPECT_FALSE(target.integratedSecurity);
    EXPECT_EQ(target.user, QStringLiteral("Kasra"));
    EXPECT_EQ(target.password, password);
    EXPECT_EQ(target.host, QStringLiteral("localhost"));
    EXPECT_EQ(target.port, 0);
    EXPECT_TRUE(target.instance.isEmpty());
    EXPECT_EQ(target.database, QStringLiteral("master"));
    EXPECT_TRUE(c.notice.contains(QStringLiteral("Kasra")));
    EXPECT_TRUE(c.notice.contains(QStringLiteral("Kerberos")));
}

TEST_F(MaintenanceConnectionTest, WithoutATicketNothingToFallBackToKeepsWindowsAuthentication)
{
    for (const auto &[type, user] : {std::pair{QStringLiteral("WIN"), QStringLiteral("sa")},
                                     std::pair{QStringLiteral("SQL"), QStringLiteral("  ")}}) {
        const MaintenanceConnection c = maintenanceConnection(settings(type, user, QStringLiteral("pw")), false);
        EXPECT_EQ(c.connectionString, kLocalMasterConnectionString) << type.toStdString();
        EXPECT_FALSE(c.usesSavedLogin);
    }
    const MaintenanceConnection none
        = maintenanceConnection(ProfileFile(m_folder.filePath(QStringLiteral("missing.ini"))), false);
    EXPECT_EQ(none.connectionString, kLocalMasterConnectionString);
}

// Without anybody to show Kerberos's reason to, a connection that could only
// fail is no connection: the caller says the settings are missing.
TEST_F(MaintenanceConnectionTest, UnattendedOnlyWhatCanLogIn)
{
    const ProfileFile sql = settings(QStringLiteral("SQL"), QStringLiteral("Kasra"), QStringLiteral("pw"));
    EXPECT_EQ(maintenanceConnectionString(sql, true), kLocalMasterConnectionString);
    const auto saved = maintenanceConnectionString(sql, false);
    ASSERT_TRUE(saved);
    EXPECT_EQ(connectionTargetFrom(*saved).user, QStringLiteral("Kasra"));
    const ProfileFile windows = settings(QStringLiteral("WIN"), QStringLiteral("Kasra"), QStringLiteral("pw"));
    EXPECT_EQ(maintenanceConnectionString(windows, true), kLocalMasterConnectionString);
    EXPECT_FALSE(maintenanceConnectionString(windows, false));
    EXPECT_FALSE(maintenanceConnectionString(ProfileFile(m_folder.filePath(QStringLiteral("missing.ini"))), false));
}

} // namespace
