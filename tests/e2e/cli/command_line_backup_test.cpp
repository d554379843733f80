// Backups from the command line, as a timer runs them: the real program in
// an application folder of its own, no display, no Kerberos ticket and the
// login saved in InitPrg.ini, against sqlemu as the local default instance.
// Every failure leaves the database listed, online and byte for byte as it
// was, and the settings file as it was.
#include "backup/backup_file_name.h"
#include "db/database.h"
#include "settings/connection_templates.h"

#include "support/kerberos_realm.h"
#include "support/sqlemu_process.h"
#include "support/test_paths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace movan;

namespace {

const QString kSaPassword = QStringLiteral("Secret1");
const QString kDb = QStringLiteral("Tarnel");
const QRegularExpression kOwnName(QStringLiteral("^Tarnel_[0-9]{8}_[0-9]{2}-[0-9]{2}\\.Bak$"));

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
    QStringList errLines() const { return err.split(u'\n', Qt::SkipEmptyParts); }
};

QByteArray hashOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result().toHex();
}

class CommandLineBackup : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(app.isValid());
        server = std::make_unique<SqlemuProcess>(serverOptions());
        ASSERT_TRUE(server->start()) << server->error();
        serverFolder = QString::fromStdString(server->dataDir());
        makeDatabase(kDb);

        program = app.filePath(QStringLiteral("movan-config"));
        ASSERT_TRUE(QFile::copy(builtExecutablePath(QStringLiteral("movan-config")), program));
        settingsBytes = "[DataBase]\r\nServer=.\r\nServerMachinName=\r\nServerIPAddress=\r\nDataBaseName=Tarnel\r\n"
                        "Type=SQL\r\nUser=sa\r\nPass=Secret1\r\n";
        writeSettings(settingsBytes);
        databaseFiles = {dataFile(kDb), logFile(kDb)};
        for (const QString &file : databaseFiles)
            hashesBefore.append(hashOf(file));
    }

    virtual SqlemuOptions serverOptions() const
    {
        SqlemuOptions options;
        options.port = 1433;
        options.saPassword = kSaPassword.toStdString();
        return options;
    }

    QString dataFile(const QString &name) const { return serverFolder + u'/' + name + QStringLiteral(".mdf"); }
    QString logFile(const QString &name) const { return serverFolder + u'/' + name + QStringLiteral("_log.ldf"); }
    QString backups() const { return app.filePath(QStringLiteral("Backups")); }

    void writeSettings(const QByteArray &bytes) const
    {
        QFile file(app.filePath(QStringLiteral("InitPrg.ini")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    QByteArray settingsNow() const
    {
        QFile file(app.filePath(QStringLiteral("InitPrg.ini")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
    }

    void makeDatabase(const QString &name)
    {
        QProcess maker;
        maker.start(builtExecutablePath(QStringLiteral("sqlemu")),
                    {"--make-database", name, "--data", dataFile(name), "--log", logFile(name), "--size", "4"});
        ASSERT_TRUE(maker.waitForFinished(30000));
        ASSERT_EQ(maker.exitCode(), 0) << maker.readAllStandardError().toStdString();
        asSa(QStringLiteral("CREATE DATABASE [%1] ON (FILENAME = N'%2'), (FILENAME = N'%3') FOR ATTACH")
                 .arg(name, dataFile(name), logFile(name)));
    }

    QString saConnection() const
    {
        return BuildConnectionString(QString::fromStdString(server->dataSource()), QStringLiteral("SQL"),
                                     QStringLiteral("sa"), kSaPassword, QStringLiteral("master"));
    }
    void asSa(const QString &sql) const
    {
        DbQuery query;
        query.setConnectionString(saConnection());
        query.setParamCheck(false);
        query.setSqlText(sql);
        query.execSQL();
    }
    // The database's status bits as the server lists it; -1 when not listed.
    int databaseStatus(const QString &name) const
    {
        DbQuery query;
        query.setConnectionString(saConnection());
        query.setSqlText(QStringLiteral("SELECT status FROM master.dbo.sysdatabases WHERE name = :Name"));
        query.parameterByName(QStringLiteral("Name")).value = name;
        query.parameterByName(QStringLiteral("Name")).isNull = false;
        query.open();
        return query.eof() ? -1 : query.fieldByName(QStringLiteral("status")).toInt();
    }

    // What must survive every run, failed or not.
    void expectNothingLost() const
    {
        const int status = databaseStatus(kDb);
        EXPECT_GE(status, 0) << "the database is no longer listed";
        // Restoring (0x20), suspect (0x100), offline (0x200).
        EXPECT_EQ(status & (0x20 | 0x100 | 0x200), 0) << status;
        for (qsizetype i = 0; i < databaseFiles.size(); ++i)
            EXPECT_EQ(hashOf(databaseFiles[i]), hashesBefore[i]) << databaseFiles[i].toStdString();
        EXPECT_EQ(settingsNow(), settingsBytes);
    }

    Outcome run(const QStringList &arguments, const QMap<QString, QString> &environment = {},
                const std::function<void()> &asChild = {}) const
    {
        QProcess process;
        if (asChild)
            process.setChildProcessModifier(asChild);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // No ticket: the saved login is the way in.
        env.insert(QStringLiteral("KRB5CCNAME"), QStringLiteral("FILE:") + app.filePath(QStringLiteral("no-ticket")));
        env.remove(QStringLiteral("KRB5_CLIENT_KTNAME"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        env.remove(QStringLiteral("LC_ALL"));
        env.remove(QStringLiteral("LC_MESSAGES"));
        for (auto it = environment.begin(); it != environment.end(); ++it)
            env.insert(it.key(), it.value());
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(app.path());
        process.start(program, arguments);
        Outcome result;
        if (!process.waitForFinished(120000))
            return result;
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    QStringList folderEntries(const QString &folder) const
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden,
                                      QDir::Name);
    }

    QTemporaryDir app;
    std::unique_ptr<SqlemuProcess> server;
    QString serverFolder;
    QString program;
    QByteArray settingsBytes;
    QStringList databaseFiles;
    QList<QByteArray> hashesBefore;
};

} // namespace

TEST_F(CommandLineBackup, ProgressLinesVerifiedSetAndItsListing)
{
    const Outcome backup = run({QStringLiteral("--backup"), kDb});
    ASSERT_EQ(backup.exitCode, 0) << backup.err.toStdString();
    const QStringList files = folderEntries(backups());
    ASSERT_EQ(files.size(), 1) << files.join(u' ').toStdString();
    EXPECT_TRUE(kOwnName.match(files.first()).hasMatch()) << files.first().toStdString();
    const QString path = QDir(backups()).filePath(files.first());

    // One line per tenth, then the outcome; nothing but whole lines.
    QStringList expected;
    for (int percent = 10; percent <= 100; percent += 10)
        expected.append(QStringLiteral("backup of Tarnel: %1 percent processed").arg(percent));
    expected.append(QStringLiteral("backup of Tarnel written to %1 and verified").arg(path));
    EXPECT_EQ(backup.errLines(), expected);
    EXPECT_FALSE(backup.err.contains(u'\r'));
    EXPECT_TRUE(backup.out.isEmpty());

    // The window's own batch went to the server, with the path and the name
    // as parameters, then the check of the set just written.
    std::string trace;
    for (const auto &line : server->traceLines())
        trace += line + "\n";
    EXPECT_NE(trace.find("BACKUP DATABASE @Ar_DataBase TO DISK = @path WITH NOINIT, NOUNLOAD, NAME = N'My Backup', "
                         "NOSKIP, STATS = 10, NOFORMAT"),
              std::string::npos);
    EXPECT_NE(trace.find("RESTORE VERIFYONLY FROM DISK = @P1 WITH FILE = 1"), std::string::npos) << trace;

    const Outcome list = run({QStringLiteral("--list-sets"), path});
    ASSERT_EQ(list.exitCode, 0) << list.err.toStdString();
    const QStringList rows = list.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 2) << list.out.toStdString();
    EXPECT_EQ(rows[0], QStringLiteral("position\tdatabase\tdate\tsize"));
    const QRegularExpression row(QStringLiteral("^1\tTarnel\t[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}\t([0-9]+)$"));
    const auto match = row.match(rows[1]);
    ASSERT_TRUE(match.hasMatch()) << rows[1].toStdString();
    EXPECT_GT(match.captured(1).toLongLong(), 4 * 1024 * 1024);
    expectNothingLost();
}

TEST_F(CommandLineBackup, PersianLocaleAndATerminallessRunWithoutVerification)
{
    const QString folder = app.filePath(QStringLiteral("nightly/deep"));
    const Outcome backup = run({QStringLiteral("--backup"), kDb, QStringLiteral("--to"), QStringLiteral("nightly/deep"),
                                QStringLiteral("--no-verify")},
                               {{QStringLiteral("LANG"), QStringLiteral("fa_IR.UTF-8")}});
    ASSERT_EQ(backup.exitCode, 0) << backup.err.toStdString();
    const QStringList files = folderEntries(folder);
    ASSERT_EQ(files.size(), 1);
    const QStringList lines = backup.errLines();
    ASSERT_EQ(lines.size(), 11) << backup.err.toStdString();
    EXPECT_EQ(lines[4], QStringLiteral("پشتیبان‌گیری از Tarnel: 50 درصد انجام شد"));
    EXPECT_EQ(lines[10],
              QStringLiteral("پشتیبان Tarnel در %1 نوشته شد (وارسی نشد)").arg(QDir(folder).filePath(files.first())));
    for (const auto &line : server->traceLines())
        EXPECT_EQ(line.find("VERIFYONLY"), std::string::npos);
    expectNothingLost();
}

TEST_F(CommandLineBackup, ADamagedSetFailsAndOnlyAFileOfThisRunGoes)
{
    asSa(QStringLiteral("EXEC sqlemu_test_damage_backups @database = N'Tarnel'"));
    const Outcome damaged = run({QStringLiteral("--backup"), kDb, QStringLiteral("--keep"), QStringLiteral("1")});
    EXPECT_EQ(damaged.exitCode, 6) << damaged.err.toStdString();
    ASSERT_FALSE(damaged.errLines().isEmpty());
    EXPECT_TRUE(damaged.errLines().last().contains(QStringLiteral("did not verify and the file was removed")))
        << damaged.err.toStdString();
    EXPECT_TRUE(damaged.errLines().last().contains(QStringLiteral("Damage to the backup set was detected.")));
    EXPECT_TRUE(folderEntries(backups()).isEmpty()) << folderEntries(backups()).join(u' ').toStdString();
    expectNothingLost();

    // The file this minute's run names already holds a good set (a run
    // earlier in the minute): the damaged set appended is found and fails,
    // and the file, which was not this run's, stays with its good set.
    asSa(QStringLiteral("EXEC sqlemu_test_damage_backups @database = N'Tarnel', @damaged = 0"));
    if (QTime::currentTime().second() > 45)
        QThread::sleep(16);
    const QString goodPath = QDir(backups()).filePath(backupFileName(kDb, QDateTime::currentDateTime()));
    asSa(QStringLiteral("BACKUP DATABASE Tarnel TO DISK = N'%1' WITH NAME = N'My Backup'").arg(goodPath));
    asSa(QStringLiteral("EXEC sqlemu_test_damage_backups @database = N'Tarnel'"));
    const Outcome second = run({QStringLiteral("--backup"), kDb});
    EXPECT_EQ(second.exitCode, 6) << second.err.toStdString();
    ASSERT_TRUE(QFile::exists(goodPath));
    EXPECT_EQ(folderEntries(backups()), QStringList{QFileInfo(goodPath).fileName()});
    EXPECT_TRUE(second.err.contains(
        QStringLiteral("in %1 did not verify; the file holds earlier backups and was kept").arg(goodPath)))
        << second.err.toStdString();
    std::string trace;
    for (const auto &line : server->traceLines())
        trace += line + "\n";
    EXPECT_NE(trace.find("RESTORE VERIFYONLY FROM DISK = @P1 WITH FILE = 2"), std::string::npos);
    // The good set still reads back whole.
    EXPECT_NO_THROW(asSa(QStringLiteral("RESTORE VERIFYONLY FROM DISK = N'%1' WITH FILE = 1").arg(goodPath)));
    expectNothingLost();
}

TEST_F(CommandLineBackup, RetentionTouchesOnlyTheDatabasesOwnBackups)
{
    const QString folder = app.filePath(QStringLiteral("store"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QStringList old = {QStringLiteral("Tarnel_14000101_01-00.Bak"), QStringLiteral("Tarnel_14010101_01-00.Bak"),
                             QStringLiteral("Tarnel_14020101_01-00.Bak")};
    const QStringList others
        = {QStringLiteral("Tarnel_X_13990101_01-00.Bak"),   QStringLiteral("Movan_13990101_01-00.Bak"),
           QStringLiteral("tarnel_13990101_01-00.Bak"),     QStringLiteral("Tarnel.Bak"),
           QStringLiteral("Tarnel_13990101_01-00.Bak.txt"), QStringLiteral("notes.txt")};
    for (const QString &name : old + others) {
        QFile file(QDir(folder).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(name.toUtf8());
    }
    const Outcome backup = run({QStringLiteral("--backup"), kDb, QStringLiteral("--to"), folder,
                                QStringLiteral("--keep"), QStringLiteral("2")});
    ASSERT_EQ(backup.exitCode, 0) << backup.err.toStdString();
    QStringList remaining = folderEntries(folder);
    QStringList own;
    for (const QString &name : remaining)
        if (kOwnName.match(name).hasMatch())
            own.append(name);
    ASSERT_EQ(own.size(), 2) << remaining.join(u' ').toStdString();
    EXPECT_EQ(own.first(), old.last());
    for (const QString &name : others)
        EXPECT_TRUE(remaining.contains(name)) << name.toStdString();
    EXPECT_EQ(remaining.size(), 2 + others.size());
    const QStringList lines = backup.errLines();
    EXPECT_TRUE(lines.contains(QStringLiteral("old backup %1 removed").arg(QDir(folder).filePath(old[0]))));
    EXPECT_TRUE(lines.contains(QStringLiteral("old backup %1 removed").arg(QDir(folder).filePath(old[1]))));
    expectNothingLost();
}

TEST_F(CommandLineBackup, EachFailureHasItsExitCodeAndLosesNothing)
{
    // Bad usage: nothing is touched, not even the folder.
    const Outcome usage = run({QStringLiteral("--backup"), kDb, QStringLiteral("--keep"), QStringLiteral("none")});
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_EQ(usage.errLines().size(), 2) << usage.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(backups()));

    // The server refuses: an unknown database, its reason, no file left.
    const Outcome refused = run({QStringLiteral("--backup"), QStringLiteral("NoSuchBase")});
    EXPECT_EQ(refused.exitCode, 5);
    EXPECT_EQ(refused.errLines().size(), 1) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains(QStringLiteral("NoSuchBase"))) << refused.err.toStdString();
    EXPECT_TRUE(folderEntries(backups()).isEmpty());

    // The folder is a file, or lies below one.
    const QString plainFile = app.filePath(QStringLiteral("plain"));
    {
        QFile file(plainFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("keep me");
    }
    for (const QString &folder : {plainFile, plainFile + QStringLiteral("/below")}) {
        const Outcome notWritable = run({QStringLiteral("--backup"), kDb, QStringLiteral("--to"), folder});
        EXPECT_EQ(notWritable.exitCode, 7) << folder.toStdString();
        EXPECT_EQ(notWritable.errLines().size(), 1) << notWritable.err.toStdString();
    }
    EXPECT_EQ(hashOf(plainFile), QCryptographicHash::hash("keep me", QCryptographicHash::Sha256).toHex());

    // The saved login is refused.
    writeSettings(QByteArray(settingsBytes).replace("Pass=Secret1", "Pass=wrong"));
    const Outcome refusedLogin = run({QStringLiteral("--backup"), kDb});
    EXPECT_EQ(refusedLogin.exitCode, 4);
    EXPECT_TRUE(refusedLogin.err.contains(QStringLiteral("Login failed"))) << refusedLogin.err.toStdString();
    writeSettings(settingsBytes);

    // No ticket and no saved login: a settings file that says Windows
    // authentication, then none at all.
    writeSettings("[DataBase]\r\nType=WIN\r\n");
    EXPECT_EQ(run({QStringLiteral("--backup"), kDb}).exitCode, 3);
    ASSERT_TRUE(QFile::remove(app.filePath(QStringLiteral("InitPrg.ini"))));
    const Outcome missing = run({QStringLiteral("--list-sets"), QStringLiteral("x.Bak")});
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_TRUE(missing.err.contains(app.filePath(QStringLiteral("InitPrg.ini")))) << missing.err.toStdString();
    writeSettings(settingsBytes);

    // A file the server cannot read.
    const Outcome unreadable = run({QStringLiteral("--list-sets"), QStringLiteral("nothing-here.Bak")});
    EXPECT_EQ(unreadable.exitCode, 5);
    EXPECT_TRUE(unreadable.err.contains(app.filePath(QStringLiteral("nothing-here.Bak"))))
        << unreadable.err.toStdString();
    EXPECT_TRUE(unreadable.out.isEmpty());

    expectNothingLost();

    // No server at all.
    ASSERT_EQ(server->stop(), 0);
    const Outcome unreachable = run({QStringLiteral("--backup"), kDb});
    EXPECT_EQ(unreachable.exitCode, 4);
    EXPECT_EQ(unreachable.errLines().size(), 1) << unreachable.err.toStdString();
    EXPECT_EQ(settingsNow(), settingsBytes);
    for (qsizetype i = 0; i < databaseFiles.size(); ++i)
        EXPECT_EQ(hashOf(databaseFiles[i]), hashesBefore[i]);
}

TEST_F(CommandLineBackup, ListsEverySetOfAFile)
{
    makeDatabase(QStringLiteral("Movan"));
    const QString file = app.filePath(QStringLiteral("three.Bak"));
    for (const QString &name : {kDb, QStringLiteral("Movan"), kDb})
        asSa(QStringLiteral("BACKUP DATABASE [%1] TO DISK = N'%2' WITH NAME = N'My Backup'").arg(name, file));
    const Outcome list = run({QStringLiteral("--list-sets"), QStringLiteral("three.Bak")});
    ASSERT_EQ(list.exitCode, 0) << list.err.toStdString();
    const QStringList rows = list.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 4) << list.out.toStdString();
    const QStringList databases = {kDb, QStringLiteral("Movan"), kDb};
    for (int i = 1; i <= 3; ++i) {
        const QStringList fields = rows[i].split(u'\t');
        ASSERT_EQ(fields.size(), 4) << rows[i].toStdString();
        EXPECT_EQ(fields[0], QString::number(i));
        EXPECT_EQ(fields[1], databases[i - 1]);
        EXPECT_TRUE(QDateTime::fromString(fields[2], QStringLiteral("yyyy-MM-dd HH:mm")).isValid())
            << rows[i].toStdString();
        EXPECT_GT(fields[3].toLongLong(), 0);
    }
    const Outcome persian
        = run({QStringLiteral("--list-sets"), file}, {{QStringLiteral("LC_MESSAGES"), QStringLiteral("fa_IR")}});
    EXPECT_TRUE(persian.out.startsWith(QStringLiteral("شماره\tبانک\tتاریخ\tحجم\n"))) << persian.out.toStdString();
    expectNothingLost();
}

// Run by an administrator who is not root, the old backups are root's in a
// folder whose sticky bit keeps them: the new backup is done and verified,
// and the code says the old ones stayed.
TEST_F(CommandLineBackup, OldBackupsThatCannotGoGiveTheirOwnCode)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run the program as another user";
    const QString folder = app.filePath(QStringLiteral("shared"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_EQ(::chmod(QFile::encodeName(app.path()).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 01777), 0);
    const QString old = QDir(folder).filePath(QStringLiteral("Tarnel_14000101_01-00.Bak"));
    {
        QFile file(old);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("root's");
    }
    const Outcome backup = run({QStringLiteral("--backup"), kDb, QStringLiteral("--to"), folder,
                                QStringLiteral("--keep"), QStringLiteral("1")},
                               {}, [] {
                                   constexpr gid_t nobody = 65534;
                                   if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)
                                       ::_exit(127);
                               });
    EXPECT_EQ(backup.exitCode, 8) << backup.err.toStdString();
    EXPECT_TRUE(QFile::exists(old));
    ASSERT_FALSE(backup.errLines().isEmpty());
    EXPECT_TRUE(backup.errLines().last().startsWith(QStringLiteral("old backup %1 could not be removed: ").arg(old)))
        << backup.err.toStdString();
    EXPECT_EQ(folderEntries(folder).size(), 2);
    expectNothingLost();
}

// With a Kerberos ticket the program logs in with Windows authentication and
// needs no settings file at all.
class CommandLineBackupWithTicket : public CommandLineBackup {
protected:
    void SetUp() override
    {
        realm = std::make_unique<KerberosRealm>(std::vector<int>{1433});
        ASSERT_TRUE(realm->start()) << realm->error();
        CommandLineBackup::SetUp();
    }
    SqlemuOptions serverOptions() const override
    {
        SqlemuOptions options = realm->serverOptions(1433);
        options.saPassword = kSaPassword.toStdString();
        return options;
    }
    QMap<QString, QString> ticket() const
    {
        QMap<QString, QString> environment;
        for (const auto &[name, value] : realm->environment())
            environment.insert(QString::fromStdString(name), QString::fromStdString(value));
        return environment;
    }
    std::unique_ptr<KerberosRealm> realm;
};

TEST_F(CommandLineBackupWithTicket, WindowsAuthenticationWithoutSettings)
{
    ASSERT_TRUE(QFile::remove(app.filePath(QStringLiteral("InitPrg.ini"))));
    const Outcome backup = run({QStringLiteral("--backup"), kDb}, ticket());
    EXPECT_EQ(backup.exitCode, 0) << backup.err.toStdString();
    EXPECT_EQ(folderEntries(backups()).size(), 1);
    EXPECT_FALSE(QFileInfo::exists(app.filePath(QStringLiteral("InitPrg.ini"))));
}

// The versions the program meets: the same backup, read-back and listing on
// SQL Server 2008 R2 and 2022, whose backup headers have more columns.
class CommandLineBackupOnVersion : public CommandLineBackup, public ::testing::WithParamInterface<const char *> {
protected:
    SqlemuOptions serverOptions() const override
    {
        SqlemuOptions options = CommandLineBackup::serverOptions();
        options.serverVersion = GetParam();
        return options;
    }
};

TEST_P(CommandLineBackupOnVersion, BackupVerifyAndList)
{
    const Outcome backup = run({QStringLiteral("--backup"), kDb, QStringLiteral("--keep"), QStringLiteral("3")});
    ASSERT_EQ(backup.exitCode, 0) << backup.err.toStdString();
    const QStringList files = folderEntries(backups());
    ASSERT_EQ(files.size(), 1);
    const Outcome list = run({QStringLiteral("--list-sets"), QDir(backups()).filePath(files.first())});
    ASSERT_EQ(list.exitCode, 0) << list.err.toStdString();
    const QStringList rows = list.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 2) << list.out.toStdString();
    EXPECT_TRUE(rows[1].startsWith(QStringLiteral("1\tTarnel\t"))) << rows[1].toStdString();
    expectNothingLost();
}

INSTANTIATE_TEST_SUITE_P(Versions, CommandLineBackupOnVersion, ::testing::Values("10.50", "16.0"));
