// A user's first start of the program: no settings yet, the database files
// shipped in Data/. They type the server and the login, confirm, accept the
// offer to attach the default database, confirm again, and the program ends.
#include "support/program_end.h"
#include "support/server_databases.h"
#include "support/sqlemu_process.h"
#include "support/test_paths.h"
#include "support/x_session.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

const QString kSetupCaption = QStringLiteral("Movan Config DataBase 4.0");
const QString kSaPassword = QStringLiteral("Secret1");
constexpr int kStepMs = 30000;

class FirstRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(session.isReady());
        ASSERT_TRUE(folder.isValid());
        SqlemuOptions options;
        options.saPassword = kSaPassword.toStdString();
        server = std::make_unique<SqlemuProcess>(options);
        ASSERT_TRUE(server->start()) << server->error();
    }
    void TearDown() override
    {
        if (program)
            killIfRunning(*program);
    }

    QString dataSource() const { return QString::fromStdString(server->dataSource()); }

    // The window the program shows with that caption, once it is there.
    QString waitForWindow(const QString &caption) const
    {
        if (!session.waitForWindows(caption, 1, kStepMs))
            return {};
        return session.windowsNamed(caption).first();
    }
    // Keys to whatever has the keyboard in the program's active window.
    void keys(const QStringList &names) const { session.tool("xdotool", QStringList{"key", "--delay", "50"} + names); }
    void type(const QString &text) const { session.tool("xdotool", {"type", "--delay", "30", text}); }
    // Waits for a message dialog of the program's over its main window and
    // answers it with Enter, its first button. (Dialogs are found by their
    // process: xdotool does not match Persian captions.)
    void answerDialog(const QString &mainWindow) const
    {
        QString dialog;
        QDeadlineTimer shown(kStepMs);
        while (dialog.isEmpty() && !shown.hasExpired()) {
            for (const QString &window : programWindows()) {
                if (window != mainWindow)
                    dialog = window;
            }
            QThread::msleep(50);
        }
        ASSERT_FALSE(dialog.isEmpty()) << session.describeWindows().toStdString();
        session.activate(dialog);
        ASSERT_TRUE(session.waitForActiveWindow(dialog));
        keys({"Return"});
        QDeadlineTimer gone(kStepMs);
        while (programWindows().contains(dialog) && !gone.hasExpired())
            QThread::msleep(50);
    }
    QStringList programWindows() const
    {
        return session.tool("xdotool", {"search", "--onlyvisible", "--pid", QString::number(program->processId())})
            .split('\n', Qt::SkipEmptyParts);
    }
    QStringList databaseNames() const { return serverDatabaseNames(dataSource(), kSaPassword); }

    XSession session;
    QTemporaryDir folder;
    std::unique_ptr<SqlemuProcess> server;
    std::unique_ptr<QProcess> program;
};

TEST_F(FirstRun, TypeConfirmAttachConfirmAndTheProgramEnds)
{
    // The program and its database files, as an installation lays them out.
    const QString executable = folder.filePath(QStringLiteral("movan-config"));
    ASSERT_TRUE(QFile::copy(builtExecutablePath(QStringLiteral("movan-config")), executable));
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("Data")));
    QProcess maker;
    maker.start(builtExecutablePath(QStringLiteral("sqlemu")),
                {"--make-database", "Tarnel", "--data", folder.filePath("Data/Tarnel.mdf"), "--log",
                 folder.filePath("Data/Tarnel_log.ldf")});
    ASSERT_TRUE(maker.waitForFinished(kStepMs));
    ASSERT_EQ(maker.exitCode(), 0);

    program = session.start(executable);
    const QString window = waitForWindow(kSetupCaption);
    ASSERT_FALSE(window.isEmpty()) << session.describeWindows().toStdString();
    session.activate(window);
    ASSERT_TRUE(session.waitForActiveWindow(window));

    // The keyboard starts on the page's tab; Tab walks the login, the
    // password, the server, the database name and the confirm button.
    keys({"Tab", "Tab"});
    type(QStringLiteral("sa"));
    keys({"Tab"});
    type(kSaPassword);
    keys({"Tab", "ctrl+a"});
    type(dataSource());
    keys({"Tab", "Tab", "space"});

    // The database is not there yet: the offer, then the attach.
    answerDialog(window);
    answerDialog(window);
    EXPECT_TRUE(databaseNames().contains(QStringLiteral("Tarnel")));

    // Confirm again: the connection works and the program ends.
    session.activate(window);
    ASSERT_TRUE(session.waitForActiveWindow(window));
    keys({"space"});
    answerDialog(window);
    ASSERT_TRUE(program->waitForFinished(kStepMs));
    EXPECT_EQ(program->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program->exitCode(), 0);

    QFile settings(folder.filePath(QStringLiteral("InitPrg.ini")));
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    const QByteArray bytes = settings.readAll();
    const QList<QByteArray> lines = bytes.split('\n');
    ASSERT_EQ(lines.size(), 9) << bytes.toStdString();
    const QByteArray keysInOrder[] = {
        "[DataBase]", "Server=", "ServerMachinName=", "ServerIPAddress=", "DataBaseName=", "Type=", "User=", "Pass="};
    for (int i = 0; i < 8; ++i) {
        EXPECT_TRUE(lines[i].startsWith(keysInOrder[i])) << lines[i].toStdString();
        EXPECT_TRUE(lines[i].endsWith('\r')) << "CR LF line ends";
    }
    EXPECT_EQ(lines[1], "Server=" + dataSource().toLatin1() + '\r');
    EXPECT_EQ(lines[4], "DataBaseName=Tarnel\r");
    EXPECT_EQ(lines[5], "Type=SQL\r");
    EXPECT_EQ(lines[6], "User=sa\r");
    EXPECT_EQ(lines[7], "Pass=" + kSaPassword.toLatin1() + '\r');
    EXPECT_TRUE(lines[8].isEmpty());
}

} // namespace
