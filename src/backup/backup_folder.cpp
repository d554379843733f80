#include "backup/backup_folder.h"

#include "platform/executable_path.h"

#include <QDir>
#include <QFileInfo>

namespace movan {

namespace {

// Only the user-interface thread chooses and writes backups.
QString &lastFolder()
{
    static QString folder;
    return folder;
}

} // namespace

QString defaultBackupFolder()
{
    return executableDirectory() + QStringLiteral("Backups");
}

QString lastBackupFolder()
{
    const QString &last = lastFolder();
    // A folder removed since is no place to open a dialog in.
    if (!last.isEmpty() && QFileInfo(last).isDir())
        return last;
    return defaultBackupFolder();
}

void rememberBackupFile(const QString &path)
{
    if (path.isEmpty())
        return;
    lastFolder() = QFileInfo(QDir::current().absoluteFilePath(path)).absolutePath();
}

} // namespace movan
