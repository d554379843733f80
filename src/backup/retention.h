#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

namespace movan {

// Which of the files of a folder (names only) go so that keep backups of the
// database remain, the one just written (verified by the caller) counted
// among them: the oldest by the moment their names carry, among the verified
// ones only. A backup nobody read back whole neither counts toward keep nor
// ever goes: it may be the only copy, and nothing says it is worthless. Only
// names backupFileName gives for this database are ever chosen, and never
// justWritten, whatever its name says (a clock set back must not cost the
// newest backup). keep below 1 chooses nothing.
QStringList backupsToRemove(const QStringList &fileNames, const QString &database, int keep, const QString &justWritten,
                            const QSet<QString> &verified);

struct RetentionOutcome {
    QStringList removed; // full paths
    QStringList kept; // full paths that should have gone but could not be removed
    QStringList reasons; // why, one per kept path
    QStringList unverified; // full paths of the database's backups never verified, left alone
};

// Removes from folder what backupsToRemove chooses among its regular files,
// the verified ones known by the folder's record (verified_record.h);
// links and anything else that is not a plain file are never touched.
RetentionOutcome removeOldBackups(const QString &folder, const QString &database, int keep, const QString &justWritten);

} // namespace movan
