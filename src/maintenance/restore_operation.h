#pragma once

#include <QString>

namespace movan {

class DbQuery;
class TMovBusy;

// The parts of the maintenance window a restore works with.
struct RestoreWindowParts {
    TMovBusy &busy;
    DbQuery &dropQuery; // cmCreateDataBase
    DbQuery &restoreQuery; // QrRestore
};

// Replaces the target database by the first backup set of the file, on the
// server and with the login of InitPrg.ini beside the executable, once the
// user has confirmed. The file is checked first: a file that is not a backup,
// is damaged, or lacks the logical files the restore places leaves the
// database and the sibling programs as they were. True only once the server
// has finished the restore and the user was told so.
bool RestoreDataBase(const QString &targetDb, const QString &backupFile, const RestoreWindowParts &parts);

} // namespace movan
