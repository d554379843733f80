// A restore left unfinished (its journal at "drop sent", the copy on disk)
// meets its database in every state the server can report: the next
// restore through the window says what the server holds, brings the old
// database back from the copy where the server has nothing usable, and
// leaves it online and open to every user.
#include "backup_restore_fixture.h"
#include "maintenance/restore_journal.h"
#include "maintenance/restore_plan.h"
#include "message_responder.h"

using namespace movan;

namespace {

const QString kTarget = QStringLiteral("Left");
const QString kSource = QStringLiteral("Chosen");

struct StateCase {
    const char *name;
    QString makeIt; // the statement that leaves the target so; %1 its name
    QString toldWord; // what the notice names
    bool broughtBack;
};

void PrintTo(const StateCase &state, std::ostream *out)
{
    *out << state.name;
}

class RestoreRecovery : public BackupRestoreTest, public ::testing::WithParamInterface<StateCase> {
public:
    void SetUp() override
    {
        BackupRestoreTest::SetUp();
        writeSaSettings(kTarget);
        makeRestorable(kTarget, 8);
        makeRestorable(kSource, 8);
        m_old = databaseFileHashes(kTarget);

        const QString unique = QStringLiteral("00112233aabbccdd");
        m_journal.target = kTarget;
        m_journal.backupFile = m_folder.filePath(QStringLiteral("Chosen.Bak"));
        m_journal.position = 1;
        m_journal.targetExisted = true;
        m_journal.safetyCopy = safetyBackupPath(executableDirectory(), kTarget, QDateTime::currentDateTime(), unique);
        m_journal.safetySetName = safetySetName(unique);
        m_journal.safetyPosition = 1;
        m_journal.started = QDateTime::currentDateTime();
        m_journal.step = RestoreStep::DropSent;
        runAsSa(QString::fromStdString(safetyBackupSql(kTarget.toStdString(), m_journal.safetyCopy.toStdString(),
                                                       m_journal.safetySetName.toStdString())));
        runAsSa(QStringLiteral("BACKUP DATABASE [%1] TO DISK = N'%2'").arg(kSource, m_journal.backupFile));
        ASSERT_FALSE(writeRestoreJournal(restoreJournalPath(), m_journal));
    }

    void TearDown() override
    {
        for (const QString &name : {kTarget, kSource})
            if (databaseStatus(name))
                runAsSa(QStringLiteral("DROP DATABASE [%1]").arg(name));
        BackupRestoreTest::TearDown();
    }

    static QString userAccess()
    {
        const QStringList access = columnAsSa(
            QStringLiteral("SELECT user_access_desc FROM master.sys.databases WHERE name = N'%1'").arg(kTarget),
            QStringLiteral("user_access_desc"));
        return access.value(0).trimmed();
    }

    QTemporaryDir m_folder;
    RestoreJournal m_journal;
    QStringList m_old;
};

TEST_P(RestoreRecovery, TheOldDatabaseIsOnlineAndOpenToAll)
{
    const StateCase &state = GetParam();
    if (!state.makeIt.isEmpty())
        runAsSa(state.makeIt.arg(kTarget));

    MessageResponder responder;
    restoreMeetingLeftovers(kSource, m_journal.backupFile);
    const QString told = responder.seen().join(u'\n');
    ASSERT_FALSE(told.isEmpty()) << "nothing was said of the restore left unfinished";
    EXPECT_TRUE(told.contains(state.toldWord)) << told.toStdString();
    EXPECT_FALSE(QFileInfo::exists(restoreJournalPath()));

    ASSERT_TRUE(listedAndOnline(kTarget)) << told.toStdString();
    EXPECT_EQ(userAccess(), QStringLiteral("MULTI_USER"));
    EXPECT_EQ(databaseFileHashes(kTarget), m_old);
    // The copy goes only once it has been restored; kept otherwise.
    EXPECT_NE(QFileInfo::exists(localPathOf(m_journal.safetyCopy)), state.broughtBack) << told.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    EveryState, RestoreRecovery,
    ::testing::Values(
        StateCase{"online", {}, QStringLiteral("دست نخورده"), false},
        StateCase{"single_user", QStringLiteral("ALTER DATABASE [%1] SET SINGLE_USER WITH ROLLBACK IMMEDIATE"),
                  QStringLiteral("دست نخورده"), false},
        StateCase{"restoring", QStringLiteral("EXEC sqlemu_test_set_state @database = N'%1', @state = N'RESTORING'"),
                  QStringLiteral("RESTORING"), true},
        StateCase{"recovering", QStringLiteral("EXEC sqlemu_test_set_state @database = N'%1', @state = N'RECOVERING'"),
                  QStringLiteral("RECOVERING"), true},
        StateCase{"suspect", QStringLiteral("EXEC sqlemu_test_set_state @database = N'%1', @state = N'SUSPECT'"),
                  QStringLiteral("SUSPECT"), true},
        StateCase{"offline", QStringLiteral("ALTER DATABASE [%1] SET OFFLINE"), QStringLiteral("OFFLINE"), true},
        StateCase{"dropped", QStringLiteral("DROP DATABASE [%1]"), QStringLiteral("نیست"), true}),
    [](const ::testing::TestParamInfo<StateCase> &info) { return std::string(info.param.name); });

} // namespace
