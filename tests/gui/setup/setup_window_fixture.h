#pragma once

// What the setup window's tests share: the settings file and the Data folder
// beside the test executable (where the window looks for them), a sqlemu
// whose trace tells what the window really sent, and the window shown with
// its show sequence run.

#include "setup/frm_sql_setup.h"

#include "support/modal_dialog_driver.h"
#include "support/sqlemu_process.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <memory>
#include <utility>

using namespace movan;

namespace movan::test {

inline const QString kSaPassword = QStringLiteral("Secret1");

class SetupWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Every suite ends the sqlemu it started, so a run leaves no server behind.
    static void TearDownTestSuite() { stopServer(); }

    // One sqlemu for the whole suite, started on first use.
    static SqlemuProcess &server();
    static void stopServer();
    static QString serverAddress(const SqlemuProcess &process = server());
    // A loopback address where nothing answers.
    static QString deadServerAddress();

    static QString settingsPath();
    static QString dataFolder();
    void writeSettings(const QList<std::pair<QString, QString>> &keys);
    // Settings that reach the suite's server as sa.
    void writeServerSettings(const QString &database = QStringLiteral("Tarnel"));
    static QByteArray settingsBytes();
    static QString setting(const QString &key);

    // An attachable pair of files for a database, written into Data/ by
    // sqlemu itself.
    static void makeDatabaseFiles(const QString &name, const QString &dataFile, const QString &logFile);

    // Shows a new window and waits until its show sequence has run.
    std::unique_ptr<TFrmSQLSetup> showWindow(const std::function<void(TFrmSQLSetup &)> &beforeShow = {});
    static QStringList serverEntries(const TFrmSQLSetup &form);
    static int balloonsShown(const TFrmSQLSetup &form);

    // The batches sqlemu received since the last call.
    static QStringList newBatches(const SqlemuProcess &process = server());
    // Database names the server lists, by a query of its own.
    static QStringList databaseNames(const SqlemuProcess &process = server());

    ModalDialogDriver driver;

private:
    static void removeSideFiles();
};

} // namespace movan::test
