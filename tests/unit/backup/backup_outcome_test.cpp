#include "backup/backup_outcome.h"

#include <gtest/gtest.h>

using namespace movan;

namespace {

const QString kPath = QStringLiteral("/srv/backups/O'Brien_14050916_02-00.Bak");
const QDateTime kSent(QDate(2026, 12, 7), QTime(2, 0, 5));

BackupRequestFacts request()
{
    return {QStringLiteral("O'Brien"), kPath, kSent};
}

BackupHistoryEntry entry(int position, const QDateTime &started, const QString &device = kPath)
{
    BackupHistoryEntry e;
    e.position = position;
    e.database = QStringLiteral("O'Brien");
    e.type = QStringLiteral("D");
    e.started = started;
    e.finished = started.addSecs(3);
    e.devices = {device};
    return e;
}

BackupSetSummary set(int position, const QDateTime &started, const QString &database = QStringLiteral("O'Brien"))
{
    BackupSetSummary s;
    s.position = position;
    s.backupType = kDatabaseBackupType;
    s.database = database;
    s.started = started;
    s.finished = started.addSecs(3);
    return s;
}

} // namespace

// What the server's history and the file say, each answered or not, and
// what the program concludes: a set of another database, file, kind or an
// earlier moment never stands for this request.
TEST(JudgeBackupOutcome, DoneNotDoneOrUnknown)
{
    const QDateTime after = kSent.addSecs(1);
    const QDateTime before = kSent.addSecs(-60);
    BackupHistoryEntry otherFile = entry(4, after, QStringLiteral("/srv/backups/else.Bak"));
    BackupHistoryEntry logBackup = entry(5, after);
    logBackup.type = QStringLiteral("L");
    BackupHistoryEntry unfinished = entry(6, after);
    unfinished.finished = QDateTime();
    BackupSetSummary logSet = set(2, after);
    logSet.backupType = 2;
    BackupSetSummary openSet = set(2, after);
    openSet.finished = QDateTime();
    // The server may list a name in its own letter case.
    BackupSetSummary otherCase = set(3, after, QStringLiteral("o'brien"));
    // A date that arrived in another zone is still read as the wall clock.
    BackupSetSummary utcSet = set(3, QDateTime(kSent.date(), kSent.time(), Qt::UTC));

    using History = std::optional<QList<BackupHistoryEntry>>;
    using Sets = std::optional<QList<BackupSetSummary>>;
    const struct {
        const char *what;
        History history;
        Sets sets;
        BackupOutcome outcome;
        int position;
    } cases[] = {
        {"history shows it", QList{entry(3, after)}, std::nullopt, BackupOutcome::Done, 3},
        {"history shows it at the very second", QList{entry(2, kSent)}, Sets(QList<BackupSetSummary>()),
         BackupOutcome::Done, 2},
        {"file shows it, history cannot be read", std::nullopt, QList{set(1, before), set(2, after)},
         BackupOutcome::Done, 2},
        {"file shows it in another letter case", History(QList<BackupHistoryEntry>()), QList{otherCase},
         BackupOutcome::Done, 3},
        {"file date in another zone", std::nullopt, QList{utcSet}, BackupOutcome::Done, 3},
        {"only an earlier set", QList{entry(1, before)}, QList{set(1, before)}, BackupOutcome::NotDone, 0},
        {"history of another file", QList{otherFile}, std::nullopt, BackupOutcome::NotDone, 0},
        {"a log backup, an unfinished one", QList{logBackup, unfinished}, QList{logSet, openSet},
         BackupOutcome::NotDone, 0},
        {"another database in the file", std::nullopt, QList{set(1, after, QStringLiteral("OBrien"))},
         BackupOutcome::NotDone, 0},
        {"both answered, nothing", History(QList<BackupHistoryEntry>()), Sets(QList<BackupSetSummary>()),
         BackupOutcome::NotDone, 0},
        {"nothing answered", std::nullopt, std::nullopt, BackupOutcome::Unknown, 0},
    };
    for (const auto &c : cases) {
        const BackupResolution r = judgeBackupOutcome(request(), c.history, c.sets);
        EXPECT_EQ(r.outcome, c.outcome) << c.what;
        EXPECT_EQ(r.position, c.position) << c.what;
        EXPECT_EQ(r.reason.isEmpty(), c.outcome != BackupOutcome::Unknown) << c.what;
    }
}
