#pragma once

#include "backup/backup_sets.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace movan {

// What became of a BACKUP whose reply was lost on the way: only the server
// can say, by its history and by the file itself.
enum class BackupOutcome { Done, NotDone, Unknown };

struct BackupResolution {
    BackupOutcome outcome = BackupOutcome::Unknown;
    int position = 0; // the set's FILE = n when done
    QString reason; // why it stays unknown
};

// One row of the server's backup history (msdb.dbo.backupset) with the file
// its media set lives in.
struct BackupHistoryEntry {
    int position = 0;
    QString database;
    QString type; // "D": a whole database
    QDateTime started;
    QDateTime finished;
    QStringList devices; // physical_device_name of each family
};

// What the request was: the database, the file, and the moment it was sent
// on the server's clock.
struct BackupRequestFacts {
    QString database;
    QString mediaPath;
    QDateTime sentOnServerClock;
};

// The judgement over what the server answered; a source that could not be
// asked is nothing. Done when either source shows a complete set of the
// database, begun since the request, in that file; not done when a source
// answered and none shows one; unknown when nothing answered.
BackupResolution judgeBackupOutcome(const BackupRequestFacts &request,
                                    const std::optional<QList<BackupHistoryEntry>> &history,
                                    const std::optional<QList<BackupSetSummary>> &sets);

// Asks the server, on a connection of its own made from connectionString,
// what became of the backup of database to mediaPath sent at sentAt (this
// computer's clock).
BackupResolution resolveBackupOutcome(const QString &connectionString, const QString &database,
                                      const QString &mediaPath, const QDateTime &sentAt);

} // namespace movan
