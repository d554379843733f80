#pragma once

#include <QString>
#include <QStringList>

namespace movan {

// Which of the files of a folder (names only) go so that keep backups of the
// database remain, the one just written counted among them: the oldest by
// the moment their names carry. Only names backupFileName gives for this
// database are ever chosen, and never justWritten, whatever its name says
// (a clock set back must not cost the newest backup). keep below 1 chooses
// nothing.
QStringList backupsToRemove(const QStringList &fileNames, const QString &database, int keep,
                            const QString &justWritten);

struct RetentionOutcome {
    QStringList removed; // full paths
    QStringList kept; // full paths that should have gone but could not be removed
    QStringList reasons; // why, one per kept path
};

// Removes from folder what backupsToRemove chooses among its regular files;
// links and anything else that is not a plain file are never touched.
RetentionOutcome removeOldBackups(const QString &folder, const QString &database, int keep, const QString &justWritten);

} // namespace movan
