// Backups from the command line, as a timer runs them: the real program in
// an application folder of its own, no display, no Kerberos ticket and the
// login saved in InitPrg.ini, against sqlemu as the local default instance.
// Every failure leaves the database listed, online and byte for byte as it
// was, and the settings file as it was.
#include "backup/backup_file_name.h"
#include "backup/verified_record.h"
#include "db/database.h"
#include "settings/connection_templates.h"

#include "support/compiled_locales.h"
#include "support/fault_relay.h"
#include "support/kerberos_realm.h"
#include "support/sqlemu_process.h"
#include "support/test_paths.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <grp.h>
#include <signal.h>
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

    // A database of that many megabytes; its files are named after stem,
    // since a name may hold what a file name had better not.
    void makeDatabase(const QString &name, int megabytes = 4, const QString &stem = {})
    {
        const QString file = stem.isEmpty() ? name : stem;
        QProcess maker;
        maker.start(builtExecutablePath(QStringLiteral("sqlemu")),
                    {"--make-database", name, "--data", dataFile(file), "--log", logFile(file), "--size",
                     QString::number(megabytes)});
        ASSERT_TRUE(maker.waitForFinished(60000));
        ASSERT_EQ(maker.exitCode(), 0) << maker.readAllStandardError().toStdString();
        asSa(QStringLiteral("CREATE DATABASE [%1] ON (FILENAME = N'%2'), (FILENAME = N'%3') FOR ATTACH")
                 .arg(QString(name).replace(u']', QStringLiteral("]]")), dataFile(file), logFile(file)));
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
                const std::function<void()> &asChild = {}, const std::function<void()> &meanwhile = {}) const
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
        if (meanwhile) {
            QDeadlineTimer deadline(120000);
            while (!process.waitForFinished(2) && !deadline.hasExpired())
                meanwhile();
        }
        if (process.state() != QProcess::NotRunning && !process.waitForFinished(120000))
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
    // The entries but the record of verified backups.
    QStringList backupEntries(const QString &folder) const
    {
        QStringList entries = folderEntries(folder);
        entries.removeAll(kVerifiedRecordName);
        return entries;
    }

    // Freezes the server the moment its trace shows a request containing
    // text, then ends it as a power cut would: the request reached it, no
    // reply ever comes.
    std::function<void()> killServerOn(const std::string &text)
    {
        auto asRpc = std::make_shared<FaultRelay::Trigger>(traceGains(*server, "rpc", text));
        auto asBatch = std::make_shared<FaultRelay::Trigger>(traceGains(*server, "batch", text));
        auto killed = std::make_shared<bool>(false);
        const pid_t pid = server->processId();
        return [asRpc, asBatch, killed, pid] {
            if (!*killed && ((*asRpc)() || (*asBatch)())) {
                ::kill(pid, SIGSTOP);
                ::kill(pid, SIGKILL);
                *killed = true;
            }
        };
    }

    std::string trace() const
    {
        std::string text;
        for (const auto &line : server->traceLines())
            text += line + "\n";
        return text;
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
    const QStringList files = backupEntries(backups());
    ASSERT_EQ(files.size(), 1) << files.join(u' ').toStdString();
    EXPECT_TRUE(kOwnName.match(files.first()).hasMatch()) << files.first().toStdString();
    const QString path = QDir(backups()).filePath(files.first());
    // Read back whole, so counted by a later --keep.
    EXPECT_EQ(verifiedBackups(backups()), QSet<QString>{files.first()});

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
    EXPECT_TRUE(backupEntries(backups()).isEmpty()) << folderEntries(backups()).join(u' ').toStdString();
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
    EXPECT_EQ(backupEntries(backups()), QStringList{QFileInfo(goodPath).fileName()});
    EXPECT_TRUE(verifiedBackups(backups()).isEmpty());
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

// Only the database's own backups that were read back whole count toward
// --keep and go; one never verified, even the newest, stays and is named.
TEST_F(CommandLineBackup, RetentionTouchesOnlyTheDatabasesOwnVerifiedBackups)
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
    // The two oldest were read back whole; the newest old one never was.
    for (const QString &name : {old[0], old[1]})
        ASSERT_FALSE(recordVerification(folder, name, true));
    const Outcome backup = run({QStringLiteral("--backup"), kDb, QStringLiteral("--to"), folder,
                                QStringLiteral("--keep"), QStringLiteral("2")});
    ASSERT_EQ(backup.exitCode, 0) << backup.err.toStdString();
    const QStringList remaining = backupEntries(folder);
    QStringList own;
    for (const QString &name : remaining)
        if (kOwnName.match(name).hasMatch())
            own.append(name);
    ASSERT_EQ(own.size(), 3) << remaining.join(u' ').toStdString();
    EXPECT_EQ(own.mid(0, 2), old.mid(1, 2));
    for (const QString &name : others)
        EXPECT_TRUE(remaining.contains(name)) << name.toStdString();
    EXPECT_EQ(remaining.size(), 3 + others.size());
    const QStringList lines = backup.errLines();
    EXPECT_TRUE(lines.contains(QStringLiteral("old backup %1 removed").arg(QDir(folder).filePath(old[0]))))
        << backup.err.toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("old backup %1 kept: it was never verified, so --keep does not count it")
                                   .arg(QDir(folder).filePath(old[2]))))
        << backup.err.toStdString();
    EXPECT_EQ(verifiedBackups(folder), (QSet<QString>{old[1], own[2]}));
    expectNothingLost();
}

// Names as their users chose them: quotes, brackets, a percent sign, blanks
// and Persian letters reach the server as the name, not as SQL, and the
// file, the set and the listing carry them whole.
TEST_F(CommandLineBackup, AwkwardNamesBackUpVerifyAndListAsThemselves)
{
    const QStringList names = {QStringLiteral("O'Brien"),
                               QStringLiteral("Sales]2"),
                               QStringLiteral("[Archive"),
                               QStringLiteral("100%"),
                               QStringLiteral("Movan Sales"),
                               QStringLiteral("تارنل"),
                               QStringLiteral("'; DROP DATABASE Tarnel --")};
    for (int i = 0; i < names.size(); ++i)
        makeDatabase(names[i], 4, QStringLiteral("awkward%1").arg(i));
    for (const QString &name : names) {
        const QString folder = app.filePath(QStringLiteral("each"));
        QDir(folder).removeRecursively();
        // Blanks around the name are the only thing that goes.
        const Outcome backup
            = run({QStringLiteral("--backup"), QStringLiteral("  ") + name, QStringLiteral("--to"), folder},
                  {{QStringLiteral("LANG"), QStringLiteral("fa_IR.UTF-8")}});
        ASSERT_EQ(backup.exitCode, 0) << name.toStdString() << ": " << backup.err.toStdString();
        const QStringList files = backupEntries(folder);
        ASSERT_EQ(files.size(), 1) << name.toStdString();
        EXPECT_TRUE(files.first().startsWith(name + u'_')) << files.first().toStdString();
        EXPECT_TRUE(backupFileMoment(name, files.first())) << files.first().toStdString();
        const QString path = QDir(folder).filePath(files.first());
        EXPECT_TRUE(backup.err.contains(QStringLiteral("پشتیبان %1 در %2 نوشته و وارسی شد").arg(name, path)))
            << backup.err.toStdString();

        const Outcome list = run({QStringLiteral("--list-sets"), path});
        ASSERT_EQ(list.exitCode, 0) << list.err.toStdString();
        const QStringList rows = list.out.split(u'\n', Qt::SkipEmptyParts);
        ASSERT_EQ(rows.size(), 2) << list.out.toStdString();
        EXPECT_EQ(rows[1].split(u'\t').value(1), name) << rows[1].toStdString();
    }
    // No name was taken for another, and Tarnel is still there.
    EXPECT_EQ(trace().find("Set @Ar_DataBase = LTrim(RTrim(Replace("), std::string::npos);
    expectNothingLost();
}

// The server goes away while it reads the new set back: the backup is
// written, nothing says it is bad, so it stays, and its own code says it was
// not verified; no old backup goes on its account.
TEST_F(CommandLineBackup, AReadBackThatCannotRunKeepsTheFile)
{
    makeDatabase(QStringLiteral("Large"), 96);
    const QString folder = app.filePath(QStringLiteral("store"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString older = QDir(folder).filePath(QStringLiteral("Large_14000101_01-00.Bak"));
    {
        QFile file(older);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("an older backup");
    }
    ASSERT_FALSE(recordVerification(folder, QFileInfo(older).fileName(), true));
    const Outcome backup = run({QStringLiteral("--backup"), QStringLiteral("Large"), QStringLiteral("--to"), folder,
                                QStringLiteral("--keep"), QStringLiteral("1")},
                               {}, {}, killServerOn("VERIFYONLY"));
    EXPECT_EQ(backup.exitCode, 9) << backup.err.toStdString();
    const QStringList files = backupEntries(folder);
    ASSERT_EQ(files.size(), 2) << files.join(u' ').toStdString();
    const QString written = QDir(folder).filePath(files.last());
    EXPECT_TRUE(backupFileMoment(QStringLiteral("Large"), files.last()));
    EXPECT_GT(QFileInfo(written).size(), 96 * 1024 * 1024);
    ASSERT_FALSE(backup.errLines().isEmpty());
    EXPECT_TRUE(backup.errLines().last().startsWith(
        QStringLiteral("the backup of Large was written to %1 but not verified").arg(written)))
        << backup.err.toStdString();
    EXPECT_FALSE(backup.err.contains(QStringLiteral("removed"))) << backup.err.toStdString();
    EXPECT_EQ(verifiedBackups(folder), QSet<QString>{QFileInfo(older).fileName()});
    for (qsizetype i = 0; i < databaseFiles.size(); ++i)
        EXPECT_EQ(hashOf(databaseFiles[i]), hashesBefore[i]);
}

// The server goes away with the backup request in its hands: whether the
// backup was made nobody can say until it answers again, so nothing is
// removed and the code says so.
TEST_F(CommandLineBackup, ALostReplyTheServerCannotAnswerForIsUnknown)
{
    makeDatabase(QStringLiteral("Large"), 96);
    const QString folder = app.filePath(QStringLiteral("store"));
    const Outcome backup
        = run({QStringLiteral("--backup"), QStringLiteral("Large"), QStringLiteral("--to"), folder,
               QStringLiteral("--keep"), QStringLiteral("1")},
              {{QStringLiteral("LANG"), QStringLiteral("fa_IR.UTF-8")}}, {}, killServerOn("BACKUP DATABASE"));
    EXPECT_EQ(backup.exitCode, 10) << backup.err.toStdString();
    ASSERT_FALSE(backup.errLines().isEmpty());
    EXPECT_TRUE(
        backup.errLines().last().startsWith(QStringLiteral("معلوم نیست پشتیبان Large در %1/Large_").arg(folder)))
        << backup.err.toStdString();
    EXPECT_FALSE(backup.err.contains(QStringLiteral("پاک شد"))) << backup.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(QDir(folder).filePath(kVerifiedRecordName)));
    for (qsizetype i = 0; i < databaseFiles.size(); ++i)
        EXPECT_EQ(hashOf(databaseFiles[i]), hashesBefore[i]);
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
    const Outcome noLogin = run({QStringLiteral("--backup"), kDb});
    EXPECT_EQ(noLogin.exitCode, 3);
    EXPECT_TRUE(noLogin.err.contains(QStringLiteral("Kerberos"))) << noLogin.err.toStdString();
    ASSERT_TRUE(QFile::remove(app.filePath(QStringLiteral("InitPrg.ini"))));
    // The missing file is named as missing, not taken for a file without a login.
    const Outcome missing = run({QStringLiteral("--list-sets"), QStringLiteral("x.Bak")});
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_TRUE(missing.err.contains(app.filePath(QStringLiteral("InitPrg.ini")) + QStringLiteral(" does not exist")))
        << missing.err.toStdString();
    EXPECT_FALSE(missing.err.contains(QStringLiteral("Kerberos"))) << missing.err.toStdString();
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

// The date of a set comes typed from the server: the same ISO date and
// 24-hour time whatever locale the program runs under.
TEST_F(CommandLineBackup, ListSetsIsTheSameUnderEveryLocale)
{
    static const CompiledLocales locales;
    ASSERT_TRUE(locales.problem().isEmpty()) << locales.problem().toStdString();
    const QString file = app.filePath(QStringLiteral("two.Bak"));
    for (int i = 0; i < 2; ++i)
        asSa(QStringLiteral("BACKUP DATABASE Tarnel TO DISK = N'%1' WITH NAME = N'My Backup'").arg(file));
    QStringList first;
    for (const char *lang : {"fa_IR.UTF-8", "C.UTF-8", "en_US.UTF-8", "de_DE.UTF-8"}) {
        const QMap<QString, QString> environment
            = {{QStringLiteral("LANG"), QString::fromLatin1(lang)}, {QStringLiteral("LOCPATH"), locales.folder()}};
        // The locale is in force: its month names are its own.
        QProcess locale;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("LC_ALL"));
        env.remove(QStringLiteral("LC_TIME"));
        for (auto it = environment.begin(); it != environment.end(); ++it)
            env.insert(it.key(), it.value());
        locale.setProcessEnvironment(env);
        locale.start(QStringLiteral("locale"), {QStringLiteral("mon")});
        ASSERT_TRUE(locale.waitForFinished(10000));
        EXPECT_TRUE(locale.readAllStandardError().isEmpty()) << lang;

        const Outcome list = run({QStringLiteral("--list-sets"), file}, environment);
        ASSERT_EQ(list.exitCode, 0) << lang << ": " << list.err.toStdString();
        QStringList rows = list.out.split(u'\n', Qt::SkipEmptyParts);
        ASSERT_EQ(rows.size(), 3) << lang << ": " << list.out.toStdString();
        rows.removeFirst();
        const QRegularExpression row(
            QStringLiteral("^[12]\tTarnel\t[0-9]{4}-[0-9]{2}-[0-9]{2} ([01][0-9]|2[0-3]):[0-5][0-9]\t[0-9]+$"));
        for (const QString &line : rows)
            EXPECT_TRUE(row.match(line).hasMatch()) << lang << ": " << line.toStdString();
        if (first.isEmpty())
            first = rows;
        EXPECT_EQ(rows, first) << lang;
    }
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
    ASSERT_FALSE(recordVerification(folder, QFileInfo(old).fileName(), true));
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
    EXPECT_EQ(backupEntries(folder).size(), 2);
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
    EXPECT_EQ(backupEntries(backups()).size(), 1);
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
    const QStringList files = backupEntries(backups());
    ASSERT_EQ(files.size(), 1);
    const Outcome list = run({QStringLiteral("--list-sets"), QDir(backups()).filePath(files.first())});
    ASSERT_EQ(list.exitCode, 0) << list.err.toStdString();
    const QStringList rows = list.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 2) << list.out.toStdString();
    EXPECT_TRUE(rows[1].startsWith(QStringLiteral("1\tTarnel\t"))) << rows[1].toStdString();
    expectNothingLost();
}

INSTANTIATE_TEST_SUITE_P(Versions, CommandLineBackupOnVersion, ::testing::Values("10.50", "16.0"));
