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
// can succeed: a target is chosen, the set lists the two logical files the
// restore places and reads back whole, no other database owns the files it
// would write, and the server can write a copy of the target into Data/. That
// copy is taken before the drop; should the restore still fail, the copy is
// restored in place of the target, so the user keeps the database they had.
//
// A window asked to close while the server works ends the restore at the next
// step that can still be left: before the question, or after the copy but
// before anything is stopped or dropped (the copy is then removed). Once the
// drop is sent the restore finishes, and only a database left in its safety
// copy is still reported.
// True only once the server has finished the restore.
bool RestoreDataBase(const QString &targetDb, const QString &backupFile, const RestoreWindowParts &parts);

} // namespace movan
