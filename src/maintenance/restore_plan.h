#pragma once

// What the restore asks the server before it changes anything, and the
// statements of its safety net, as pure functions of their inputs.

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace movan {

// One row of RESTORE HEADERONLY.
struct BackupSetHeader {
    int position = 0;
    int backupType = 0; // 1: a whole database
    QString databaseName;
    QString finishDate; // as the server sent it
};

// The set a restore takes: the newest whole-database backup, i.e. the one
// with the highest position; none when the medium holds no such set.
std::optional<BackupSetHeader> newestDatabaseSet(const QList<BackupSetHeader> &sets);

std::string headerOnlySql(std::string_view backupFile);
std::string setFileListSql(std::string_view backupFile, int position);
std::string verifySetSql(std::string_view backupFile, int position);
// The restore batch of QrRestore, naming the set it restores.
std::string restoreSetSql(std::string_view targetDb, std::string_view backupFile, std::string_view programFolder,
                          int position);

// Every file of every database, and every database with its state, so the
// restore can tell whose file a path is.
inline constexpr std::string_view kDatabaseFilesSql = "SELECT dbid, filename FROM master.dbo.sysaltfiles";
inline constexpr std::string_view kDatabasesSql = "SELECT dbid, name, status FROM master.dbo.sysdatabases";

// sysdatabases.status without a bit of a database that cannot be used:
// loading or restoring, pre-recovery, recovering, suspect, offline,
// emergency.
bool databaseUsable(int status);

// Where the restore places the backup's two files on the server.
QString restoredDataPath(const QString &programFolder);
QString restoredLogPath(const QString &programFolder);

// Two paths as a Windows server compares them: either separator, repeated
// separators as one, letter case ignored.
bool sameServerPath(const QString &a, const QString &b);

struct DatabaseFileRow {
    int dbid = 0;
    QString fileName;
};

// The database that holds the file at one of the paths (the same place
// written in different ways), or nothing.
std::optional<QString> ownerOfFile(const QStringList &pathForms, const QList<DatabaseFileRow> &files,
                                   const QMap<int, QString> &databaseNames);

// The copy of the target taken before it is dropped: in Data/ beside the
// program, named after the database (characters a file name cannot hold
// replaced) and the moment.
QString safetyBackupPath(const QString &programFolder, const QString &targetDb, const QDateTime &now);
std::string safetyBackupSql(std::string_view targetDb, std::string_view safetyFile);
// Brings the copy back over whatever a failed restore left of the target.
std::string bringBackSql(std::string_view targetDb, std::string_view safetyFile);

} // namespace movan
