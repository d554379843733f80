#pragma once

// The maintenance window against sqlemu as the local default instance (TCP
// 1433, Windows logins through a throw-away Kerberos realm) holding a few
// databases, opened by its class name as the setup window's tools button
// opens it.

#include "db/blocking_call.h"
#include "db/database.h"
#include "maintenance/frm_db_tools.h"
#include "platform/freetds_session.h"
#include "platform/profile_file.h"
#include "settings/connection_templates.h"
#include "settings/data_module.h"
#include "settings/settings_file.h"
#include "settings/settings_keys.h"
#include "ui/form_registry.h"

#include "support/kerberos_realm.h"
#include "support/modal_dialog_driver.h"
#include "support/sqlemu_process.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace movan;

class MaintenanceWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!loopbackPortIsFree(1433, SOCK_STREAM))
            return;
        s_realm = new KerberosRealm({1433});
        ASSERT_TRUE(s_realm->start()) << s_realm->error();
        s_realm->applyToThisProcess();
        s_data = new QTemporaryDir;
        ASSERT_TRUE(startServer()) << s_server->error() << s_server->standardError();
        FreeTdsSession::initializeLibrary();
        TFrmDBTools::registerClass();
        for (const char *name : {"Tarnel", "Movan_Sales", "Qelnat1404", "Archive"})
            attach(QString::fromLatin1(name));
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        s_server = nullptr;
        delete s_data;
        delete s_realm;
    }

    void SetUp() override
    {
        if (!s_server)
            GTEST_FAIL()
                << "TCP 1433 is in use on this machine: stop the server holding it (a running demo, say) and test again";
        QFile::remove(settingsFilePath(Settings::kFileName));
    }
    void TearDown() override
    {
        delete DMMain;
        DMMain = nullptr;
        QFile::remove(settingsFilePath(Settings::kFileName));
    }

    static bool startServer()
    {
        SqlemuOptions options = s_realm->serverOptions(1433);
        options.saPassword = "Secret1";
        options.dataDir = s_data->path().toStdString();
        if (!s_serverAccount.empty()) {
            // The server's own account reads the realm's keys, keeps its
            // replay cache there and owns its data folder, as a service
            // account would.
            const QString realm = QString::fromStdString(s_realm->directory());
            ::chmod(QFile::encodeName(realm).constData(), 0777);
            ::chmod(QFile::encodeName(QFileInfo(realm).absolutePath()).constData(), 0711);
            for (const QFileInfo &file : QDir(realm).entryInfoList(QDir::Files))
                ::chmod(QFile::encodeName(file.filePath()).constData(), 0644);
            giveToServerAccount(s_data->path());
            const passwd *account = ::getpwnam(s_serverAccount.c_str());
            if (!account)
                return false;
            options.launcher = {"setpriv", "--reuid=" + s_serverAccount, "--regid=" + std::to_string(account->pw_gid),
                                "--clear-groups", "--"};
        }
        s_server = new SqlemuProcess(options);
        return s_server->start();
    }

    // Makes the server's account the owner of a file or folder (nothing
    // when the server runs as this process's account).
    static void giveToServerAccount(const QString &path)
    {
        if (s_serverAccount.empty())
            return;
        const passwd *account = ::getpwnam(s_serverAccount.c_str());
        ASSERT_NE(account, nullptr) << s_serverAccount;
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), account->pw_uid, account->pw_gid), 0)
            << path.toStdString();
    }

    static QString saConnectionString()
    {
        return BuildConnectionString(QStringLiteral("127.0.0.1,1433"), QStringLiteral("SQL"), QStringLiteral("sa"),
                                     QStringLiteral("Secret1"), QStringLiteral("master"));
    }

    static void attach(const QString &name)
    {
        const QString data = s_data->filePath(name + QStringLiteral(".mdf"));
        const QString log = s_data->filePath(name + QStringLiteral("_log.ldf"));
        QProcess make;
        make.start(
            QString::fromStdString(builtExecutable("sqlemu")),
            {QStringLiteral("--make-database"), name, QStringLiteral("--data"), data, QStringLiteral("--log"), log});
        ASSERT_TRUE(make.waitForFinished(30000));
        ASSERT_EQ(make.exitCode(), 0) << make.readAllStandardError().toStdString();
        giveToServerAccount(data);
        giveToServerAccount(log);
        DbCommand command;
        command.setConnectionString(saConnectionString());
        command.setCommandText(
            QStringLiteral("USE master CREATE DATABASE %1 ON (FILENAME = N'%2'), (FILENAME = N'%3') FOR ATTACH")
                .arg(name, data, log));
        ASSERT_NO_THROW(command.execute());
    }

    // InitPrg.ini beside the executable, for the local default instance
    // with Windows authentication.
    static void writeSettings(const QString &database)
    {
        ProfileFile file(settingsFilePath(Settings::kFileName));
        file.writeString(Settings::kSection, Settings::kServer, QStringLiteral("."));
        file.writeString(Settings::kSection, Settings::kType, QStringLiteral("WIN"));
        file.writeString(Settings::kSection, Settings::kDataBaseName, database);
    }

    // The same for sa's SQL Server login at an address ("127.0.0.1,PORT").
    static void writeSaSettings(const QString &database, const QString &server = QStringLiteral("127.0.0.1,1433"))
    {
        ProfileFile file(settingsFilePath(Settings::kFileName));
        file.writeString(Settings::kSection, Settings::kServer, server);
        file.writeString(Settings::kSection, Settings::kType, QStringLiteral("SQL"));
        file.writeString(Settings::kSection, Settings::kUser, QStringLiteral("sa"));
        file.writeString(Settings::kSection, Settings::kPass, QStringLiteral("Secret1"));
        file.writeString(Settings::kSection, Settings::kDataBaseName, database);
    }

    // What the setup window does before it opens the window: the shared
    // connection, opened from InitPrg.ini.
    static void openSharedConnection()
    {
        DMMain = new TDMMain;
        ASSERT_TRUE(ConnectFromIni(DMMain->ADOConnection1, Settings::kSection, Settings::kFileName));
    }

    static TFrmDBTools *openWindow()
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *window = qobject_cast<TFrmDBTools *>(widget); window && window->isVisible())
                return window;
        }
        return nullptr;
    }

    // Opens the window by its class name and runs body on it once it is
    // shown and its show handler is over, then closes it; returns when
    // ShowFormByClassName has returned.
    static void withWindow(const std::function<void(TFrmDBTools &)> &body)
    {
        bool ran = false;
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QPointer<TFrmDBTools> window = openWindow();
            // Shown, its show handler over, and nothing it reported still open.
            if (!window || ran || blockingCallRunning() || QApplication::activeModalWidget() != window)
                return;
            poll.stop();
            ran = true;
            body(*window);
            if (window)
                window->close();
        });
        poll.start();
        // Should the window never come up for the body, or a message nobody
        // expected stay open, whatever is open is closed and the test fails
        // instead of hanging.
        QTimer watchdog;
        watchdog.setInterval(60000);
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                ADD_FAILURE() << "nobody answered \"" << ModalDialogDriver::describe(modal).text.toStdString() << '"';
                modal->close();
            }
        });
        watchdog.start();
        ShowFormByClassName(TFrmDBTools::kClassName);
        EXPECT_TRUE(ran) << "the window never showed";
    }

    // The account sqlemu runs as; empty: this process's own.
    static inline std::string s_serverAccount;
    static KerberosRealm *s_realm;
    static QTemporaryDir *s_data;
    static SqlemuProcess *s_server;
};
inline KerberosRealm *MaintenanceWindowTest::s_realm = nullptr;
inline QTemporaryDir *MaintenanceWindowTest::s_data = nullptr;
inline SqlemuProcess *MaintenanceWindowTest::s_server = nullptr;
