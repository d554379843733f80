// Faults between the window and the server at every request of a restore:
// the connection cut as the request passes, the reply dropped after the
// server finished, the reply held past the client's time-out. Whatever
// happens, the user keeps their database (online with the content the
// message claims, old or restored), every copy that may be needed stays on
// disk, and no request that changes the server is sent twice.
#include "backup_restore_fixture.h"
#include "maintenance/restore_journal.h"
#include "maintenance/restore_settle.h"

#include "support/fault_relay.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <sys/stat.h>

using namespace movan;

namespace {

const QString kRestoreDone = QStringLiteral("باز گرداندن اطلاعات با موفقيت انجام شد.");
const QString kRestoreFailed = QStringLiteral("اشکال در باز گرداندن اطلاعات ...");
const QString kNothingChanged = QStringLiteral("هیچ تغییری در بانک‌ها داده نشد.");
const QString kBringBackOld = QStringLiteral("برگرداندن بانک پیشین");

// What the database holds after the fault.
enum class Content { Old, Restored };

class RestoreFaults : public BackupRestoreTest {
public:
    static void SetUpTestSuite()
    {
        s_serverAccount = "nobody";
        MaintenanceWindowTest::SetUpTestSuite();
    }

    void SetUp() override
    {
        BackupRestoreTest::SetUp();
        // A server away is given up on well within the dialog driver's wait.
        setRestoreServerPatience(std::chrono::seconds(3));
        giveToServerAccount(restoreFolder());
        m_relay = std::make_unique<FaultRelay>(s_server->port());
        // The restore goes through the relay; the test's own checks do not.
        writeSaSettings(kTarget, QStringLiteral("127.0.0.1,%1").arg(m_relay->port()));

        makeRestorable(kTarget, 16);
        makeRestorable(kSource, 16);
        m_backup = m_folder.filePath(QStringLiteral("Source.Bak"));
        giveToServerAccount(m_folder.path());
        runAsSa(QStringLiteral("BACKUP DATABASE [%1] TO DISK = N'%2'").arg(kSource, m_backup));
        m_old = databaseFileHashes(kTarget);
        m_restoredHash = fileHash(dataFileOf(kSource));
        m_traceFrom = received();
    }

    void TearDown() override
    {
        m_relay.reset();
        runAsSa(QStringLiteral("EXEC sqlemu_test_pace_storage @milliseconds = 0, @scope = N'server'"));
        for (const QString &name : {kTarget, kSource})
            dropIfListed(name);
        BackupRestoreTest::TearDown();
    }

    static void dropIfListed(const QString &name)
    {
        if (databaseStatus(name))
            runAsSa(QStringLiteral("DROP DATABASE [%1]").arg(name));
    }

    // What the target holds now, when it is listed and online.
    std::optional<Content> content() const
    {
        if (!listedAndOnline(kTarget))
            return std::nullopt;
        if (databaseFileHashes(kTarget) == m_old)
            return Content::Old;
        if (fileHash(dataFileOf(kTarget)) == m_restoredHash)
            return Content::Restored;
        return std::nullopt;
    }

    static QStringList safetyCopies()
    {
        return QDir(restoreFolder()).entryList({QStringLiteral("*_before_restore_*.Bak")}, QDir::Files);
    }

    // How many statements beginning so the server received in this test.
    int sent(const std::string &start) const
    {
        const QStringList all = receivedSince(m_traceFrom);
        return int(std::count_if(all.begin(), all.end(),
                                 [&](const QString &s) { return s.startsWith(QString::fromStdString(start)); }));
    }

    // Restores the backup over the target through the window, with a fault
    // armed; the text of the last message shown.
    QString restoreWithFault(const std::function<void()> &arm, int timeoutSeconds = 0)
    {
        // The checks and the copy may run at a slow server's pace.
        ModalDialogDriver driver(30000);
        QString told;
        withWindow([&](TFrmDBTools &w) {
            driver.ignoreWindow(&w);
            if (timeoutSeconds > 0)
                w.QrRestore->setCommandTimeout(timeoutSeconds);
            arm();
            clickRestore(w, kTarget, m_backup, driver);
            told = driver.last().text;
        });
        EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
        return told;
    }

    static inline const QString kTarget = QStringLiteral("Faulted");
    static inline const QString kSource = QStringLiteral("Source");
    std::unique_ptr<FaultRelay> m_relay;
    QTemporaryDir m_folder;
    QString m_backup;
    QStringList m_old;
    QByteArray m_restoredHash;
    qsizetype m_traceFrom = 0;
};

// The statements that change the server, as the trace shows them.
const std::string kSafetyCopy = "BACKUP DATABASE [Faulted]";
const std::string kDrop = "USE MASTER IF EXISTS";
const std::string kRestore = " USE master  RESTORE DATABASE [Faulted]";
const std::string kBringBack = "RESTORE DATABASE [Faulted] FROM DISK = N'";

struct FaultCase {
    const char *name;
    std::string kind; // "batch", or "rpc" for a statement sent with parameters
    std::string request; // the statement the fault falls on
    int occurrence; // the first, second, ... such statement of the restore
    FaultRelay::Fault fault;
    bool afterTheServerFinished; // hold the reply until the server ends the request, then cut
};

// Fires when the server has received the statement that many times since.
FaultRelay::Trigger nthRequest(const SqlemuProcess &server, const FaultCase &c)
{
    return [&server, c, base = traceCount(server, c.kind, c.request)] {
        return traceCount(server, c.kind, c.request) >= base + c.occurrence;
    };
}

class RestoreFaultPoints : public RestoreFaults, public ::testing::WithParamInterface<FaultCase> {};

// Every outcome the user is told is the outcome the server shows; each
// statement that changes the server went once; a copy is gone only when the
// database is online with what the message claims.
TEST_P(RestoreFaultPoints, TheUserKeepsTheirDatabaseAndIsToldWhatItHolds)
{
    const FaultCase &c = GetParam();
    const QString told = restoreWithFault([&] {
        if (c.afterTheServerFinished)
            m_relay->arm(nthRequest(*s_server, c),
                         {FaultRelay::Fault::HoldThenCut, 0, traceEndOf(*s_server, c.kind, c.request), false});
        else
            m_relay->arm(nthRequest(*s_server, c), {c.fault, 16, {}, false});
    });
    EXPECT_TRUE(m_relay->waitForFault(std::chrono::seconds(5))) << c.name;

    const std::optional<Content> now = content();
    ASSERT_TRUE(now) << c.name << ": the database is neither online with its old content nor the restored one";
    if (told == kRestoreDone) {
        EXPECT_EQ(*now, Content::Restored) << c.name;
    } else {
        EXPECT_TRUE(told.startsWith(kRestoreFailed)) << told.toStdString();
        EXPECT_EQ(*now, Content::Old) << c.name << ": " << told.toStdString();
    }
    // A copy that was not needed any more is gone; none was deleted while
    // the database depended on it (it is online here).
    EXPECT_FALSE(QFileInfo::exists(restoreJournalPath())) << c.name;
    for (const std::string &request : {kSafetyCopy, kDrop, kRestore})
        EXPECT_LE(sent(request), 1) << c.name << ": " << request;
}

INSTANTIATE_TEST_SUITE_P(
    EveryRequest, RestoreFaultPoints,
    ::testing::Values(
        FaultCase{"copy cut", "batch", kSafetyCopy, 1, FaultRelay::Fault::CutAtOnce, false},
        FaultCase{"copy reply lost", "batch", kSafetyCopy, 1, FaultRelay::Fault::CutAtOnce, true},
        FaultCase{"copy not read back", "rpc", "RESTORE HEADERONLY", 2, FaultRelay::Fault::CutAtReply, false},
        FaultCase{"copy not verified", "rpc", "RESTORE VERIFYONLY", 2, FaultRelay::Fault::CutAtReply, false},
        FaultCase{"drop cut", "batch", kDrop, 1, FaultRelay::Fault::CutAtOnce, false},
        FaultCase{"drop reply lost", "batch", kDrop, 1, FaultRelay::Fault::CutAtOnce, true},
        FaultCase{"restore cut", "batch", kRestore, 1, FaultRelay::Fault::CutAtOnce, false},
        FaultCase{"restore reply lost", "batch", kRestore, 1, FaultRelay::Fault::CutAtOnce, true},
        FaultCase{"restore reply cut midway", "batch", kRestore, 1, FaultRelay::Fault::CutInReply, false},
        FaultCase{"server clock cut", "batch", "SELECT GETDATE()", 1, FaultRelay::Fault::CutAtOnce, false}),
    [](const ::testing::TestParamInfo<FaultCase> &info) {
        std::string name = info.param.name;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

// The reply lost after the server finished the restore: the server's history
// says the chosen set is in place, so the user hears it was restored, and the
// copy of the old database goes.
TEST_F(RestoreFaults, ARestoreWhoseReplyWasLostIsKnownFromTheServersHistory)
{
    const QString told = restoreWithFault([&] {
        m_relay->arm(traceGains(*s_server, "batch", kRestore),
                     {FaultRelay::Fault::HoldThenCut, 0, traceEndOf(*s_server, "batch", kRestore), false});
    });
    EXPECT_EQ(told, kRestoreDone);
    EXPECT_EQ(content(), Content::Restored);
    EXPECT_TRUE(safetyCopies().isEmpty()) << safetyCopies().join(u' ').toStdString();
    EXPECT_EQ(sent(kRestore), 1);
    EXPECT_EQ(sent(kBringBack), 0);
}

// The reply held past the client's time-out while the server restores
// slowly: nothing is sent again; the user hears the outcome the server shows.
TEST_F(RestoreFaults, ATimeOutIsSettledByAskingTheServer)
{
    runAsSa(QStringLiteral("EXEC sqlemu_test_pace_storage @milliseconds = 800, @scope = N'server'"));
    // Once the server has ended the restore, whatever follows runs at speed.
    const FaultRelay::Trigger restoreEnded = traceEndOf(*s_server, "batch", kRestore);
    QTimer unpace;
    QObject::connect(&unpace, &QTimer::timeout, [&] {
        if (restoreEnded()) {
            unpace.stop();
            runAsSa(QStringLiteral("EXEC sqlemu_test_pace_storage @milliseconds = 0, @scope = N'server'"));
        }
    });
    unpace.start(50);
    const QString told = restoreWithFault(
        [&] { m_relay->arm(traceGains(*s_server, "batch", kRestore), FaultRelay::Fault::HoldReply); }, 1);
    m_relay->release();
    const std::optional<Content> now = content();
    ASSERT_TRUE(now) << told.toStdString();
    EXPECT_EQ(*now, told == kRestoreDone ? Content::Restored : Content::Old) << told.toStdString();
    EXPECT_EQ(sent(kRestore), 1);
}

// The restore fails and the server is then away longer than the window
// waits: the copy stays, the message names it, and the next restore first
// offers to bring the database back from it.
TEST_F(RestoreFaults, AServerAwayLeavesTheCopyNamedAndOfferedAgain)
{
    const QString told = restoreWithFault([&] {
        m_relay->arm(traceGains(*s_server, "batch", kRestore), {FaultRelay::Fault::CutAtOnce, 0, {}, true});
    });
    const QStringList copies = safetyCopies();
    ASSERT_EQ(copies.size(), 1);
    EXPECT_TRUE(told.startsWith(kRestoreFailed));
    EXPECT_TRUE(told.contains(copies.front())) << told.toStdString();
    EXPECT_TRUE(QFileInfo::exists(restoreJournalPath()));

    m_relay->setRefusing(false);
    ModalDialogDriver driver;
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        w.DBLDBBackup->setCurrentIndex(w.DBLDBBackup->findText(kSource));
        driver.pressButton(kYes);
        chooseFile(driver, m_backup);
        driver.pressButton(kBringBackOld);
        driver.pressEnter();
        QTest::mouseClick(w.BitBtn5, Qt::LeftButton);
    });
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
    EXPECT_EQ(content(), Content::Old);
    EXPECT_TRUE(safetyCopies().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(restoreJournalPath()));
}

// The server refuses to bring the copy back (it cannot read it any more):
// the copy stays and the message names it.
TEST_F(RestoreFaults, ABringBackTheServerRefusesKeepsTheCopy)
{
    QString copy;
    const QString told = restoreWithFault([&] {
        m_relay->arm(
            [trigger = traceGains(*s_server, "batch", kRestore), &copy] {
                if (!trigger())
                    return false;
                const QStringList copies = safetyCopies();
                if (!copies.isEmpty()) {
                    copy = QDir(restoreFolder()).filePath(copies.front());
                    ::chmod(QFile::encodeName(copy).constData(), 0);
                }
                return true;
            },
            FaultRelay::Fault::CutAtOnce);
    });
    ASSERT_FALSE(copy.isEmpty());
    EXPECT_TRUE(QFileInfo::exists(copy));
    EXPECT_TRUE(told.contains(copy)) << told.toStdString();
    EXPECT_TRUE(QFileInfo::exists(restoreJournalPath()));
    ::chmod(QFile::encodeName(copy).constData(), 0600);
}

} // namespace
