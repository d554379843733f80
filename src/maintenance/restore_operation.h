#pragma once

#include <QString>

class QWidget;

namespace movan {

class CloseAfterBlockingCall;
class DbQuery;
class TMovBusy;

// The parts of the maintenance window a restore works with.
struct RestoreWindowParts {
    QWidget &window; // owns the restore's questions and messages
    TMovBusy &busy;
    DbQuery &dropQuery; // cmCreateDataBase
    DbQuery &restoreQuery; // QrRestore; its time-out serves every long step
    const CloseAfterBlockingCall &closeGuard;
};

// Replaces the target database by the newest backup set of the file, on the
// server and with the login of InitPrg.ini beside the executable, once the
// user has confirmed a question that names the set's date.
//
// Nothing is stopped or dropped until the server has shown that the restore
// can succeed (see RestoreRun), and a copy of the target, read back whole,
// is taken before the drop. Every step is recorded in a journal first; a
// restore left unfinished is resolved before a new one begins, and at the
// program's next start. The copy is removed only once the database is online
// and known to hold its old content or the chosen set.
//
// A window asked to close while the server works ends the restore at the next
// step that can still be left: before the question, or after the copy but
// before anything is stopped or dropped (the copy is then removed). Once the
// drop is sent the restore finishes, and where the user's database is is
// still reported.
// True only once the server has finished the restore.
bool RestoreDataBase(const QString &targetDb, const QString &backupFile, const RestoreWindowParts &parts);

} // namespace movan
