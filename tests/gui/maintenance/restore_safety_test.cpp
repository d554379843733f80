// The restore never loses the database the user had. The server runs under
// an account of its own, as a service does: each way a restore can fail,
// before the drop or after it, ends with that database listed, online and
// its files byte for byte as they were, and the sibling programs stopped only
// once nothing could be lost any more.
#include "backup_restore_fixture.h"
#include "db/blocking_call.h"
#include "util/persian_date.h"
#include "widgets/busy/mov_busy.h"
#include "widgets/busy/mov_sf_busy.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/mount.h>

using namespace movan;

namespace {

const QString kRestoreDone = QStringLiteral("باز گرداندن اطلاعات با موفقيت انجام شد.");
const QString kRestoreFailed = QStringLiteral("اشکال در باز گرداندن اطلاعات ...");
const QString kShrinkDone = QStringLiteral("حجم لاگ کاهش يافت");

class RestoreSafety : public BackupRestoreTest {
public:
    static void SetUpTestSuite()
    {
        s_serverAccount = "nobody";
        MaintenanceWindowTest::SetUpTestSuite();
    }

    void SetUp() override
    {
        BackupRestoreTest::SetUp();
        // The server may write Data/ unless a test takes that away.
        giveToServerAccount(restoreFolder());
    }

    // What the user had, to compare with what is left.
    struct Kept {
        QString name;
        QStringList hashes;
    };
    static Kept keep(const QString &name)
    {
        Kept kept{name, databaseFileHashes(name)};
        EXPECT_EQ(kept.hashes.size(), 2) << name.toStdString();
        return kept;
    }
    static void expectSurvived(const Kept &kept)
    {
        EXPECT_TRUE(listedAndOnline(kept.name)) << kept.name.toStdString();
        EXPECT_EQ(databaseFileHashes(kept.name), kept.hashes) << kept.name.toStdString();
    }

    // A folder of the test's that the server may write.
    struct ServerFolder : QTemporaryDir {
        ServerFolder() { giveToServerAccount(path()); }
    };

    // Server-side backup of a database, made with sa.
    static void backUpAsSa(const QString &database, const QString &file)
    {
        runAsSa(QStringLiteral("BACKUP DATABASE [%1] TO DISK = N'%2'").arg(database, file));
    }

    static bool statementSent(const QStringList &sent, const QString &start)
    {
        return std::any_of(sent.begin(), sent.end(), [&](const QString &s) { return s.startsWith(start); });
    }
};

// The move target Data/Data.mdf belongs to another database (the default
// one attached from Data/): refused before anything is stopped or dropped,
// naming that database; both databases as they were.
TEST_F(RestoreSafety, FilesOfAnotherDatabaseAreNotOverwritten)
{
    makeDatabase(QStringLiteral("Holder"), restoreFolder() + QStringLiteral("/Data.mdf"),
                 restoreFolder() + QStringLiteral("/Data_Log.ldf"));
    makeRestorable(QStringLiteral("MovanSalary"));
    makeRestorable(QStringLiteral("Source"));
    ServerFolder folder;
    const QString bak = folder.filePath(QStringLiteral("Source.Bak"));
    backUpAsSa(QStringLiteral("Source"), bak);
    writeSettings(QStringLiteral("Holder"));
    const Kept holder = keep(QStringLiteral("Holder"));
    const Kept salary = keep(QStringLiteral("MovanSalary"));
    QProcess &telvarex = startSibling(QStringLiteral("Telvarex.exe"));
    ModalDialogDriver driver;
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        const qsizetype before = received();
        clickRefusedRestore(w, QStringLiteral("MovanSalary"), bak, driver);
        EXPECT_TRUE(driver.last().text.startsWith(kRestoreFailed + u'\n')) << driver.last().text.toStdString();
        EXPECT_TRUE(driver.last().text.contains(QStringLiteral("«Holder»"))) << driver.last().text.toStdString();
        const QStringList sent = receivedSince(before);
        EXPECT_FALSE(statementSent(sent, QStringLiteral("USE MASTER IF EXISTS")));
        EXPECT_FALSE(statementSent(sent, QStringLiteral("BACKUP")));
        EXPECT_FALSE(statementSent(sent, QStringLiteral(" USE master  RESTORE DATABASE")));
    });
    EXPECT_EQ(telvarex.state(), QProcess::Running);
    expectSurvived(holder);
    expectSurvived(salary);
    for (const char *name : {"Holder", "MovanSalary", "Source"})
        runAsSa(QStringLiteral("DROP DATABASE %1").arg(QLatin1String(name)));
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

// Data/ belongs to root and the server runs as nobody: the safety copy
// cannot be written there, so nothing is stopped or dropped.
TEST_F(RestoreSafety, DataFolderTheServerCannotWriteStopsNothing)
{
    makeRestorable(QStringLiteral("Guarded"));
    ServerFolder folder;
    const QString bak = folder.filePath(QStringLiteral("Guarded.Bak"));
    backUpAsSa(QStringLiteral("Guarded"), bak);
    ASSERT_EQ(::chown(QFile::encodeName(restoreFolder()).constData(), 0, 0), 0);
    ASSERT_TRUE(QFile::setPermissions(
        restoreFolder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
    writeSettings(QStringLiteral("Guarded"));
    const Kept guarded = keep(QStringLiteral("Guarded"));
    QProcess &telvarex = startSibling(QStringLiteral("Telvarex.exe"));
    QProcess &cordanex = startSibling(QStringLiteral("Cordanex.exe"));
    ModalDialogDriver driver;
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        const qsizetype before = received();
        clickRestore(w, QStringLiteral("Guarded"), bak, driver);
        EXPECT_TRUE(driver.last().text.startsWith(kRestoreFailed + u'\n')) << driver.last().text.toStdString();
        EXPECT_TRUE(driver.last().text.contains(restoreFolder())) << driver.last().text.toStdString();
        EXPECT_FALSE(statementSent(receivedSince(before), QStringLiteral("USE MASTER IF EXISTS")));
    });
    EXPECT_EQ(telvarex.state(), QProcess::Running);
    EXPECT_EQ(cordanex.state(), QProcess::Running);
    expectSurvived(guarded);
    EXPECT_TRUE(QDir(restoreFolder()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    runAsSa(QStringLiteral("DROP DATABASE Guarded"));
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

// Nothing chosen in the box: asked to choose, nothing sent to the server.
TEST_F(RestoreSafety, NoDatabaseChosenSendsNothing)
{
    makeRestorable(QStringLiteral("Chosen"));
    ServerFolder folder;
    const QString bak = folder.filePath(QStringLiteral("Chosen.Bak"));
    backUpAsSa(QStringLiteral("Chosen"), bak);
    writeSettings(QStringLiteral("Chosen"));
    const Kept chosen = keep(QStringLiteral("Chosen"));
    QProcess &telvarex = startSibling(QStringLiteral("Telvarex.exe"));
    ModalDialogDriver driver;
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        w.DBLDBBackup->setCurrentIndex(-1);
        ASSERT_TRUE(w.DBLDBBackup->Text().trimmed().isEmpty());
        const qsizetype before = received();
        driver.pressButton(kYes);
        chooseFile(driver, bak);
        driver.pressEnter();
        QTest::mouseClick(w.BitBtn5, Qt::LeftButton);
        EXPECT_EQ(driver.last().icon, DialogIcon::Information);
        EXPECT_FALSE(driver.last().text.isEmpty());
        EXPECT_EQ(received(), before);
    });
    EXPECT_EQ(telvarex.state(), QProcess::Running);
    expectSurvived(chosen);
    runAsSa(QStringLiteral("DROP DATABASE Chosen"));
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

// A file holding two sets (backups append): the newest comes back, the
// question names its date, and after two restores each record holds only
// the last batch.
TEST_F(RestoreSafety, NewestOfTwoSetsComesBack)
{
    makeRestorable(QStringLiteral("TwoSets"));
    ServerFolder folder;
    const QString bak = folder.filePath(QStringLiteral("TwoSets.Bak"));
    const QString log
        = QString(dataFileOf(QStringLiteral("TwoSets"))).replace(QStringLiteral(".mdf"), QStringLiteral("_log.ldf"));
    backUpAsSa(QStringLiteral("TwoSets"), bak);
    runAsSa(QStringLiteral("EXEC sqlemu_test_grow_log @database = N'TwoSets', @megabytes = 2"));
    const QByteArray newestLog = contents(log);
    backUpAsSa(QStringLiteral("TwoSets"), bak);
    runAsSa(QStringLiteral("EXEC sqlemu_test_grow_log @database = N'TwoSets', @megabytes = 1"));
    writeSettings(QStringLiteral("TwoSets"));
    ModalDialogDriver driver;
    QString described;
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        for (int restore = 0; restore < 2; ++restore) {
            w.DBLDBBackup->setCurrentIndex(w.DBLDBBackup->findText(QStringLiteral("TwoSets")));
            driver.pressButton(kYes);
            chooseFile(driver, bak);
            driver.handle([&](QWidget *modal) {
                auto *box = qobject_cast<QMessageBox *>(modal);
                ASSERT_NE(box, nullptr);
                described = box->informativeText();
                for (QAbstractButton *button : box->buttons())
                    if (button->text() == kYes)
                        button->click();
            });
            driver.pressEnter();
            QTest::mouseClick(w.BitBtn5, Qt::LeftButton);
            EXPECT_EQ(driver.last().text, kRestoreDone);
        }
    });
    EXPECT_EQ(contents(restoreFolder() + QStringLiteral("/Data_Log.ldf")), newestLog);
    EXPECT_TRUE(listedAndOnline(QStringLiteral("TwoSets")));
    const QString today = PersianDateStr(toDateTimeValue(QDateTime::currentDateTime()));
    EXPECT_TRUE(described.contains(today)) << described.toStdString();
    EXPECT_TRUE(described.contains(QStringLiteral("«TwoSets»"))) << described.toStdString();
    const QByteArray create = contents(executableDirectory() + QStringLiteral("Create.txt"));
    const QByteArray restore = contents(executableDirectory() + QStringLiteral("Restore.txt"));
    EXPECT_EQ(create.count("DROP DATABASE"), 1) << create.toStdString();
    EXPECT_TRUE(create.endsWith("DROP DATABASE [TwoSets]\r\n")) << create.toStdString();
    EXPECT_EQ(restore.count("RESTORE DATABASE"), 1) << restore.toStdString();
    EXPECT_TRUE(restore.startsWith(" USE master  RESTORE DATABASE [TwoSets]")) << restore.toStdString();
    EXPECT_TRUE(restore.endsWith("FILE = 2\r\n")) << restore.toStdString();
    runAsSa(QStringLiteral("DROP DATABASE TwoSets"));
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

// sqlemu killed while it restores (after the drop) and started again: the
// database the user had comes back from the copy taken before the drop.
TEST_F(RestoreSafety, ServerKilledMidRestoreGivesTheDatabaseBack)
{
    makeRestorable(QStringLiteral("Victim"));
    makeRestorable(QStringLiteral("Large"), 160);
    ServerFolder folder;
    const QString bak = folder.filePath(QStringLiteral("Large.Bak"));
    backUpAsSa(QStringLiteral("Large"), bak);
    runAsSa(QStringLiteral("DROP DATABASE Large"));
    writeSettings(QStringLiteral("Victim"));
    const Kept victim = keep(QStringLiteral("Victim"));
    QProcess &telvarex = startSibling(QStringLiteral("Telvarex.exe"));
    ModalDialogDriver driver(120000);
    // Kills the server as soon as the restore writes its first file, then
    // starts it again on the same data.
    bool killed = false;
    QTimer killer;
    QObject::connect(&killer, &QTimer::timeout, [&] {
        const QStringList partial
            = QDir(restoreFolder()).entryList({QStringLiteral(".Data*sqlemu-partial*")}, QDir::Files | QDir::Hidden);
        if (killed || partial.isEmpty())
            return;
        killed = true;
        ::kill(s_server->processId(), SIGKILL);
        delete s_server;
        s_server = nullptr;
        EXPECT_TRUE(startServer());
    });
    killer.start(2);
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        clickRestore(w, QStringLiteral("Victim"), bak, driver);
        EXPECT_TRUE(driver.last().text.startsWith(kRestoreFailed + u'\n')) << driver.last().text.toStdString();
        EXPECT_TRUE(driver.last().text.contains(QStringLiteral("«Victim»"))) << driver.last().text.toStdString();
    });
    killer.stop();
    ASSERT_TRUE(killed) << "the restore finished before it could be killed";
    EXPECT_TRUE(ended(telvarex));
    expectSurvived(victim);
    runAsSa(QStringLiteral("DROP DATABASE Victim"));
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

// The window closed while the server takes the safety copy: the restore
// ends there, before any sibling is stopped or the database dropped, says
// nothing more, and takes the copy away again.
TEST_F(RestoreSafety, CloseDuringTheSafetyCopyStopsBeforeTheDrop)
{
    makeRestorable(QStringLiteral("Kept"), 40);
    ServerFolder folder;
    const QString bak = folder.filePath(QStringLiteral("Kept.Bak"));
    backUpAsSa(QStringLiteral("Kept"), bak);
    writeSettings(QStringLiteral("Kept"));
    const Kept kept = keep(QStringLiteral("Kept"));
    QProcess &telvarex = startSibling(QStringLiteral("Telvarex.exe"));
    ModalDialogDriver driver(120000);
    const QString restoring = QStringLiteral("در حال بازگرداندن اطلاعات ...");
    bool closedDuringCopy = false;
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            TMovsfBusy *busy = w.MovBusy1->form();
            if (closedDuringCopy || !blockingCallRunning() || !busy || busy->lblMessage1->text() != restoring)
                return;
            closedDuringCopy = true;
            w.close();
        });
        closer.start(1);
        const qsizetype before = received();
        clickRestore(w, QStringLiteral("Kept"), bak, driver);
        closer.stop();
        EXPECT_EQ(driver.last().icon, DialogIcon::Question);
        EXPECT_FALSE(driver.allAnswered()) << "a message followed the close: " << driver.last().text.toStdString();
        EXPECT_FALSE(statementSent(receivedSince(before), QStringLiteral("USE MASTER IF EXISTS")));
    });
    ASSERT_TRUE(closedDuringCopy) << "the copy was over before the window could be closed";
    EXPECT_EQ(telvarex.state(), QProcess::Running);
    expectSurvived(kept);
    EXPECT_TRUE(QDir(restoreFolder()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    runAsSa(QStringLiteral("DROP DATABASE Kept"));
}

// Data/ on a small file system that the restore fills half-way: the copy
// comes back into the room the failed restore gave up.
TEST_F(RestoreSafety, DiskFullMidRestoreGivesTheDatabaseBack)
{
    const QByteArray mountPoint = QFile::encodeName(restoreFolder());
    ASSERT_EQ(::mount("movan-test", mountPoint.constData(), "tmpfs", 0, "size=12m,uid=65534,gid=65534,mode=0755"), 0)
        << "a test tmpfs needs root: " << std::strerror(errno);
    struct Unmount {
        QByteArray path;
        ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
    } unmount{mountPoint};
    makeDatabase(QStringLiteral("Cramped"), restoreFolder() + QStringLiteral("/Cramped.mdf"),
                 restoreFolder() + QStringLiteral("/Cramped_log.ldf"));
    makeDatabase(QStringLiteral("Roomy"), s_data->filePath(QStringLiteral("roomy.mdf")),
                 s_data->filePath(QStringLiteral("roomy_log.ldf")), QStringLiteral("Data_Data"),
                 QStringLiteral("Data_log"), 10);
    ServerFolder folder;
    const QString bak = folder.filePath(QStringLiteral("Roomy.Bak"));
    backUpAsSa(QStringLiteral("Roomy"), bak);
    runAsSa(QStringLiteral("DROP DATABASE Roomy"));
    writeSettings(QStringLiteral("Cramped"));
    const Kept cramped = keep(QStringLiteral("Cramped"));
    QProcess &cordanex = startSibling(QStringLiteral("Cordanex.exe"));
    ModalDialogDriver driver(60000);
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        clickRestore(w, QStringLiteral("Cramped"), bak, driver);
        EXPECT_TRUE(driver.last().text.startsWith(kRestoreFailed + u'\n')) << driver.last().text.toStdString();
        EXPECT_TRUE(driver.last().text.contains(QStringLiteral("«Cramped»"))) << driver.last().text.toStdString();
    });
    EXPECT_TRUE(ended(cordanex));
    expectSurvived(cramped);
    runAsSa(QStringLiteral("DROP DATABASE Cramped"));
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

// The configured database restored while the window's own connection is in
// it (the drop's ROLLBACK IMMEDIATE ends that session): the log shrink right
// after works without reopening the window.
TEST_F(RestoreSafety, ShrinkWorksRightAfterARestore)
{
    makeRestorable(QStringLiteral("Configured"));
    ServerFolder folder;
    const QString bak = folder.filePath(QStringLiteral("Configured.Bak"));
    backUpAsSa(QStringLiteral("Configured"), bak);
    writeSettings(QStringLiteral("Configured"));
    openSharedConnection();
    ModalDialogDriver driver;
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        QTest::mouseClick(w.BitBtn6, Qt::LeftButton);
        ASSERT_EQ(w.lbMessage_Compress->text(), kShrinkDone);
        clickRestore(w, QStringLiteral("Configured"), bak, driver);
        ASSERT_EQ(driver.last().text, kRestoreDone);
        const qsizetype before = received();
        QTest::mouseClick(w.BitBtn6, Qt::LeftButton);
        EXPECT_EQ(w.lbMessage_Compress->text(), kShrinkDone);
        EXPECT_FALSE(receivedSince(before).isEmpty());
    });
    EXPECT_TRUE(listedAndOnline(QStringLiteral("Configured")));
    delete DMMain;
    DMMain = nullptr;
    runAsSa(QStringLiteral("DROP DATABASE Configured"));
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

} // namespace
