#pragma once

#include <QString>

namespace movan {

// Backups beside the executable: where the command line writes when no
// folder is given, and where the window looks first.
QString defaultBackupFolder();

// The folder of the backup file this program last wrote or chose while it
// runs, else the default one: where the next file dialog opens.
QString lastBackupFolder();
void rememberBackupFile(const QString &path);

} // namespace movan
