// The program killed at each step of a restore (a window killed because it
// looked frozen, a logout, a crashed display): whatever step it died at, the
// user's data is on the server or in a safety copy the journal names, and
// the next restore through the window first tells where it is and brings it
// back on the user's word.
#include "backup_restore_fixture.h"
#include "maintenance/restore_journal.h"
#include "message_responder.h"

#include "support/fault_relay.h"

#include <QProcessEnvironment>

using namespace movan;

namespace {

const char kChildVariable[] = "MOVAN_RESTORE_KILL_CHILD";
const QString kTarget = QStringLiteral("Killed");
const QString kSource = QStringLiteral("Source");

// The restore through the window, in a process of its own that the test
// kills; it runs only when started so, against the killing test's server.
using RestoreKillChild = BackupRestoreChild;

TEST_F(RestoreKillChild, RestoresThroughTheWindow)
{
    const QString backup = qEnvironmentVariable(kChildVariable);
    if (backup.isEmpty())
        GTEST_SKIP() << "run by RestoreKill";
    ModalDialogDriver driver(60000);
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        clickRestore(w, kTarget, backup, driver);
    });
}

class RestoreKill : public BackupRestoreTest, public ::testing::WithParamInterface<RestoreStep> {
public:
    void SetUp() override
    {
        BackupRestoreTest::SetUp();
        writeSaSettings(kTarget);
        makeRestorable(kTarget, 32);
        makeRestorable(kSource, 32);
        m_backup = m_folder.filePath(QStringLiteral("Source.Bak"));
        runAsSa(QStringLiteral("BACKUP DATABASE [%1] TO DISK = N'%2'").arg(kSource, m_backup));
        m_old = databaseFileHashes(kTarget);
        m_restoredHash = fileHash(dataFileOf(kSource));
    }

    void TearDown() override
    {
        pace(0);
        for (const QString &name : {kTarget, kSource})
            if (databaseStatus(name))
                runAsSa(QStringLiteral("DROP DATABASE [%1]").arg(name));
        BackupRestoreTest::TearDown();
    }

    static void pace(int milliseconds)
    {
        runAsSa(
            QStringLiteral("EXEC sqlemu_test_pace_storage @milliseconds = %1, @scope = N'server'").arg(milliseconds));
    }

    // Starts the restore in a child process and kills it once its journal
    // shows the step (the step is recorded before it is taken); whether it
    // got that far.
    bool killAt(RestoreStep step)
    {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(kChildVariable), m_backup);
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=RestoreKillChild.RestoresThroughTheWindow")});
        EXPECT_TRUE(child.waitForStarted());
        QElapsedTimer waited;
        waited.start();
        bool reached = false;
        while (!reached && child.state() == QProcess::Running && waited.elapsed() < 60000) {
            if (const std::optional<RestoreJournal> journal = readRestoreJournal(restoreJournalPath()))
                reached = journal->step >= step;
            if (!reached)
                child.waitForFinished(2);
        }
        child.kill();
        child.waitForFinished();
        return reached;
    }

    // Until the server has finished every request it received: what the
    // killed program left running has ended, one way or the other.
    static void waitUntilTheServerIsIdle()
    {
        QElapsedTimer waited;
        waited.start();
        while (traceCount(*s_server, "end") < traceCount(*s_server, "batch") + traceCount(*s_server, "rpc")
               && waited.elapsed() < 30000)
            QTest::qWait(20);
    }

    std::optional<bool> holdsOldContent() const
    {
        if (!listedAndOnline(kTarget))
            return std::nullopt;
        if (databaseFileHashes(kTarget) == m_old)
            return true;
        if (fileHash(dataFileOf(kTarget)) == m_restoredHash)
            return false;
        return std::nullopt;
    }

    static QStringList safetyCopies()
    {
        return QDir(restoreFolder()).entryList({QStringLiteral("*_before_restore_*.Bak")}, QDir::Files);
    }

    QTemporaryDir m_folder;
    QString m_backup;
    QStringList m_old;
    QByteArray m_restoredHash;
};

TEST_P(RestoreKill, TheDataSurvivesAndTheNextRestoreOffersTheWayBack)
{
    const RestoreStep step = GetParam();
    pace(120);
    const bool reached = killAt(step);
    pace(0);
    ASSERT_TRUE(reached || step == RestoreStep::BringBackSent) << restoreStepName(step).toStdString();
    waitUntilTheServerIsIdle();

    // Right after the kill: the data is on the server, or in the copy the
    // journal names.
    const std::optional<RestoreJournal> journal = readRestoreJournal(restoreJournalPath());
    if (!holdsOldContent().has_value()) {
        ASSERT_TRUE(journal) << "the database is gone and no journal says where its data is";
        ASSERT_FALSE(journal->safetyCopy.isEmpty());
        EXPECT_TRUE(QFileInfo::exists(QString(journal->safetyCopy).replace(u'\\', u'/')))
            << journal->safetyCopy.toStdString();
    }

    // The next restore through the window first resolves the one left.
    MessageResponder responder;
    restoreMeetingLeftovers(kSource, m_backup);
    if (journal) {
        EXPECT_FALSE(responder.seen().isEmpty()) << "a journal was left and nothing was said";
    }

    EXPECT_FALSE(QFileInfo::exists(restoreJournalPath())) << responder.seen().join(u'\n').toStdString();
    // A copy of a database that was never dropped may stay: the user chose
    // to keep it. Once the drop is done, the way back takes it.
    if (step >= RestoreStep::DropDone) {
        EXPECT_TRUE(safetyCopies().isEmpty()) << safetyCopies().join(u' ').toStdString();
    }
    ASSERT_TRUE(holdsOldContent().has_value()) << responder.seen().join(u'\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(EveryStep, RestoreKill,
                         ::testing::Values(RestoreStep::SafetyCopySent, RestoreStep::SafetyCopyVerified,
                                           RestoreStep::SiblingsStopped, RestoreStep::DropSent, RestoreStep::DropDone,
                                           RestoreStep::RestoreSent, RestoreStep::RestoreDone),
                         [](const ::testing::TestParamInfo<RestoreStep> &info) {
                             QString name = restoreStepName(info.param);
                             name.replace(u'-', u'_');
                             return name.toStdString();
                         });

} // namespace
