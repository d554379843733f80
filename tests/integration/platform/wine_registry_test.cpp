// The machine registry on a real Wine prefix: made by wineboot, changed and
// read back with Wine's own reg tool.
#include "platform/machine_registry.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

using namespace movan;

namespace {

const QString kKey = QStringLiteral("\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\");
const QString kRegKey = QStringLiteral("HKLM\\System\\CurrentControlSet\\Control\\Session Manager");
const QString kPending = QStringLiteral("PendingFileRenameOperations");

class WinePrefixFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_root = new QTemporaryDir;
        s_prefix = s_root->filePath(QStringLiteral("prefix"));
        ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("wine")).isEmpty())
            << "Wine is missing: ./dev deps installs it";
        ASSERT_EQ(wine(QStringLiteral("wineboot"), {QStringLiteral("-i")}), 0);
        stopServer();
        s_pristine = hive();
        ASSERT_TRUE(s_pristine.startsWith("WINE REGISTRY Version 2"));
    }
    static void TearDownTestSuite()
    {
        delete s_root;
        s_root = nullptr;
    }

    void SetUp() override
    {
        // Every test starts from the hive wineboot left.
        QFile file(s_prefix + QStringLiteral("/system.reg"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(s_pristine);
    }

    static int wine(const QString &program, const QStringList &arguments, QString *output = nullptr)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("WINEPREFIX"), s_prefix);
        environment.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
        environment.remove(QStringLiteral("DISPLAY"));
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        if (!process.waitForFinished(240000))
            return -1;
        if (output)
            *output = QString::fromLocal8Bit(process.readAllStandardOutput());
        return process.exitCode();
    }

    // Until the server has written the registry and gone.
    static void stopServer() { wine(QStringLiteral("wineserver"), {QStringLiteral("-w")}); }

    static QByteArray hive()
    {
        QFile file(s_prefix + QStringLiteral("/system.reg"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static bool regAdd(const QString &value, const QString &type, const QString &data)
    {
        const int code = wine(QStringLiteral("wine"),
                              {QStringLiteral("reg"), QStringLiteral("add"), kRegKey, QStringLiteral("/v"), value,
                               QStringLiteral("/t"), type, QStringLiteral("/d"), data, QStringLiteral("/f")});
        stopServer();
        return code == 0;
    }

    // The type and data of a value as reg shows them; empty when reg finds
    // no such value.
    static QString regQuery(const QString &value)
    {
        QString output;
        const int code
            = wine(QStringLiteral("wine"),
                   {QStringLiteral("reg"), QStringLiteral("query"), kRegKey, QStringLiteral("/v"), value}, &output);
        stopServer();
        return code == 0 ? output.simplified() : QString();
    }

    static bool repair()
    {
        MachineRegistry registry{WinePrefix(s_prefix)};
        if (!registry.openKey(kKey))
            return false;
        return registry.deleteValue(kPending);
    }

    static QTemporaryDir *s_root;
    static QString s_prefix;
    static QByteArray s_pristine;
};
QTemporaryDir *WinePrefixFixture::s_root = nullptr;
QString WinePrefixFixture::s_prefix;
QByteArray WinePrefixFixture::s_pristine;

TEST_F(WinePrefixFixture, RemovesThePendingRenamesAndNothingElse)
{
    ASSERT_TRUE(regAdd(QStringLiteral("MovanKeep"), QStringLiteral("REG_SZ"), QStringLiteral("kept")));
    ASSERT_TRUE(regAdd(kPending, QStringLiteral("REG_MULTI_SZ"), QStringLiteral("\\??\\C:\\a.tmp\\0\\??\\C:\\b.tmp")));
    // Wine carries out pending renames when it next starts, as Windows does
    // at boot, so the hive file, not a later reg query, shows the value.
    const QByteArray before = hive();
    ASSERT_TRUE(before.contains("\"PendingFileRenameOperations\"="));

    ASSERT_TRUE(repair());

    const QByteArray after = hive();
    // The value's line is all that went; the rest is byte for byte as it was.
    const qsizetype at = before.indexOf("\"PendingFileRenameOperations\"=");
    ASSERT_GE(at, 0);
    const qsizetype lineEnd = before.indexOf('\n', at) + 1;
    EXPECT_EQ(after, before.left(at) + before.mid(lineEnd));
    EXPECT_TRUE(regQuery(QStringLiteral("MovanKeep")).contains(QStringLiteral("REG_SZ kept")));
    EXPECT_TRUE(regQuery(QStringLiteral("CriticalSectionTimeout")).contains(QStringLiteral("REG_DWORD")));
}

TEST_F(WinePrefixFixture, AnAbsentValueIsAFailureThatChangesNothing)
{
    const QByteArray before = hive();
    EXPECT_FALSE(repair());
    EXPECT_EQ(hive(), before);
}

TEST_F(WinePrefixFixture, AMissingPrefixHasNoKeyToOpen)
{
    MachineRegistry registry{WinePrefix(s_root->filePath(QStringLiteral("no-such-prefix")))};
    EXPECT_FALSE(registry.openKey(kKey));
    EXPECT_FALSE(registry.deleteValue(kPending));
}

TEST_F(WinePrefixFixture, APrefixInUseIsLeftAlone)
{
    ASSERT_TRUE(regAdd(kPending, QStringLiteral("REG_MULTI_SZ"), QStringLiteral("x")));
    const QByteArray before = hive();
    QProcess server;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("WINEPREFIX"), s_prefix);
    server.setProcessEnvironment(environment);
    // A persistent server, as while a sibling program of the prefix runs.
    server.start(QStringLiteral("wineserver"), {QStringLiteral("-f"), QStringLiteral("-p")});
    ASSERT_TRUE(server.waitForStarted());
    MachineRegistry registry{WinePrefix(s_prefix)};
    bool refused = false;
    // The server takes its lock a moment after it starts.
    for (int attempt = 0; attempt < 100 && !refused; ++attempt) {
        refused = !registry.openKey(kKey);
        if (!refused)
            QThread::msleep(50);
    }
    EXPECT_TRUE(refused);
    EXPECT_EQ(hive(), before);
    wine(QStringLiteral("wineserver"), {QStringLiteral("-k")});
    server.waitForFinished(10000);
    EXPECT_TRUE(repair()) << "the prefix is free again";
}

} // namespace
