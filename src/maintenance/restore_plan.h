#pragma once

// What the restore asks the server before it changes anything, and the
// statements of its safety net, as pure functions of their inputs.

#include "backup/backup_sets.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace movan {

// The set a restore takes: the newest whole-database backup, i.e. the one
// with the highest position; none when the medium holds no such set.
std::optional<BackupSetSummary> newestDatabaseSet(const QList<BackupSetSummary> &sets);

std::string setFileListSql(std::string_view backupFile, int position);
// The restore batch of QrRestore, naming the set it restores.
std::string restoreSetSql(std::string_view targetDb, std::string_view backupFile, std::string_view programFolder,
                          int position);

// Every file of every database with its size in 8 KB pages, and every
// database, so the restore can tell whose file a path is and what room a
// copy of the target needs.
inline constexpr std::string_view kDatabaseFilesSql = "SELECT dbid, filename, size FROM master.dbo.sysaltfiles";
inline constexpr std::string_view kDatabasesSql = "SELECT dbid, name FROM master.dbo.sysdatabases";

// Where the restore places the backup's two files on the server.
QString restoredDataPath(const QString &programFolder);
QString restoredLogPath(const QString &programFolder);

// A path the server wrote (Data\\x.Bak beside the program), as this computer
// names the same file.
QString localPathOf(const QString &serverPath);

// Two paths as a Windows server compares them: either separator, repeated
// separators as one, letter case ignored.
bool sameServerPath(const QString &a, const QString &b);

struct DatabaseFileRow {
    int dbid = 0;
    QString fileName;
    qint64 pages = 0;
};

// The database that holds the file at one of the paths (the same place
// written in different ways), or nothing.
std::optional<QString> ownerOfFile(const QStringList &pathForms, const QList<DatabaseFileRow> &files,
                                   const QMap<int, QString> &databaseNames);

// The copy of the target taken before it is dropped: in Data/ beside the
// program, named after the database (characters a file name cannot hold
// replaced), the moment and a part drawn at random, so that no earlier copy,
// leftover or file of another member of the group has its name.
QString safetyBackupPath(const QString &programFolder, const QString &targetDb, const QDateTime &now,
                         const QString &uniquePart);
// The NAME of the copy's set, which no other set has: the bring-back finds
// its set by it.
QString safetySetName(const QString &uniquePart);
std::string safetyBackupSql(std::string_view targetDb, std::string_view safetyFile, std::string_view setName);
// Brings the copy's set back over whatever a failed restore left of the
// target.
std::string bringBackSql(std::string_view targetDb, std::string_view safetyFile, int position);

// The room a disk must have for a text of the sizes: megabytes, rounded up.
qint64 megabytesFor(qint64 bytes);

} // namespace movan
