#include "setup_window_fixture.h"

#include "platform/profile_file.h"
#include "settings/settings_file.h"
#include "setup/default_database_files.h"
#include "widgets/balloon/balloon_window.h"

#include "support/server_databases.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <map>
#include <sys/socket.h>

using namespace movan;

namespace movan::test {

namespace {

SqlemuProcess *s_server = nullptr;
std::map<const SqlemuProcess *, size_t> s_traceRead;

constexpr int kShowSequenceWaitMs = 60000;

} // namespace

void SetupWindowTest::SetUp()
{
    removeSideFiles();
    newBatches();
}

void SetupWindowTest::TearDown()
{
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(QStringLiteral("; ")).toStdString();
    removeSideFiles();
}

void SetupWindowTest::removeSideFiles()
{
    QFile file(settingsPath());
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    file.remove();
    // A test may leave a folder or a pipe under the file's name.
    QDir().rmdir(settingsPath());
    QFile::remove(settingsPath());
    QDir(dataFolder()).removeRecursively();
}

SqlemuProcess &SetupWindowTest::server()
{
    if (!s_server) {
        SqlemuOptions options;
        options.saPassword = kSaPassword.toStdString();
        s_server = new SqlemuProcess(options);
        if (!s_server->start())
            ADD_FAILURE() << s_server->error();
    }
    return *s_server;
}

void SetupWindowTest::stopServer()
{
    delete s_server;
    s_server = nullptr;
}

QString SetupWindowTest::serverAddress(const SqlemuProcess &process)
{
    return QString::fromStdString(process.dataSource());
}

QString SetupWindowTest::deadServerAddress()
{
    return QStringLiteral("127.0.0.1,%1").arg(freeLoopbackPort(SOCK_STREAM));
}

QString SetupWindowTest::settingsPath()
{
    return settingsFilePath(QStringLiteral("InitPrg.ini"));
}

QString SetupWindowTest::dataFolder()
{
    return defaultDatabaseFolder();
}

void SetupWindowTest::writeSettings(const QList<std::pair<QString, QString>> &keys)
{
    ProfileFile file(settingsPath());
    for (const auto &[key, value] : keys)
        file.writeString(QStringLiteral("DataBase"), key, value);
}

void SetupWindowTest::writeServerSettings(const QString &database)
{
    writeSettings({{QStringLiteral("Server"), serverAddress()},
                   {QStringLiteral("DataBaseName"), database},
                   {QStringLiteral("Type"), QStringLiteral("SQL")},
                   {QStringLiteral("User"), QStringLiteral("sa")},
                   {QStringLiteral("Pass"), kSaPassword}});
}

QByteArray SetupWindowTest::settingsBytes()
{
    QFile file(settingsPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString SetupWindowTest::setting(const QString &key)
{
    return ProfileFile(settingsPath()).readString(QStringLiteral("DataBase"), key, QStringLiteral("<absent>"));
}

void SetupWindowTest::makeDatabaseFiles(const QString &name, const QString &dataFile, const QString &logFile)
{
    QDir().mkpath(QFileInfo(dataFolder() + dataFile).path());
    QProcess maker;
    maker.start(QString::fromStdString(builtExecutable("sqlemu")),
                {QStringLiteral("--make-database"), name, QStringLiteral("--data"), dataFolder() + dataFile,
                 QStringLiteral("--log"), dataFolder() + logFile});
    ASSERT_TRUE(maker.waitForFinished(30000));
    ASSERT_EQ(maker.exitCode(), 0) << maker.readAllStandardError().toStdString();
}

std::unique_ptr<TFrmSQLSetup> SetupWindowTest::showWindow(const std::function<void(TFrmSQLSetup &)> &beforeShow)
{
    auto form = std::make_unique<TFrmSQLSetup>();
    if (beforeShow)
        beforeShow(*form);
    QSignalSpy finished(form.get(), &TFrmSQLSetup::showSequenceFinished);
    form->show();
    form->activateWindow();
    EXPECT_TRUE(finished.wait(kShowSequenceWaitMs)) << "the show sequence did not end";
    return form;
}

QStringList SetupWindowTest::serverEntries(const TFrmSQLSetup &form)
{
    QStringList entries;
    for (int i = 0; i < form.cbServer->count(); ++i)
        entries.append(form.cbServer->itemText(i));
    return entries;
}

int SetupWindowTest::balloonsShown(const TFrmSQLSetup &form)
{
    int shown = 0;
    for (const TBalloon *balloon : form.findChildren<TBalloon *>())
        shown += balloon->isVisible() ? 1 : 0;
    return shown;
}

QStringList SetupWindowTest::newBatches(const SqlemuProcess &process)
{
    const std::vector<std::string> lines = process.traceLines();
    size_t &read = s_traceRead[&process];
    QStringList batches;
    for (size_t i = read; i < lines.size(); ++i) {
        const QJsonObject entry = QJsonDocument::fromJson(QByteArray::fromStdString(lines[i])).object();
        if (entry.value(QStringLiteral("kind")).toString() == u"batch")
            batches.append(entry.value(QStringLiteral("text")).toString());
    }
    read = lines.size();
    return batches;
}

QStringList SetupWindowTest::databaseNames(const SqlemuProcess &process)
{
    const QStringList names = serverDatabaseNames(serverAddress(process), kSaPassword);
    // The query itself is no business of the window.
    newBatches(process);
    return names;
}

} // namespace movan::test
