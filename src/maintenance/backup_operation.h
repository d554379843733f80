#pragma once

#include <QDateTime>
#include <QString>

class QFileDialog;

namespace movan {

class CloseAfterBlockingCall;
class DbQuery;
class TGauge;
class TMovBusy;

// The parts of the maintenance window a backup works with.
struct BackupWindowParts {
    QFileDialog &saveDialog;
    TMovBusy &busy;
    DbQuery &query;
    TGauge &gauge; // follows the server's progress while the backup runs
    const CloseAfterBlockingCall &closeGuard;
};

// Asks where to write the backup of the database, proposing a name made at
// now, and has the server append a backup set there; reports the outcome,
// unless the window was asked to close while the server worked. Cancelling
// the dialog does nothing, and so does a database not chosen, but for a
// word to the user. A failure is told with its reason under the fixed text.
void backupDatabase(const QString &database, const QDateTime &now, const BackupWindowParts &parts);

// The gauge follows the server's "N percent processed.", painted at once.
void followBackupProgress(TGauge &gauge, int progress, int maxProgress);

} // namespace movan
