#include "maintenance/restore_plan.h"

#include "maintenance/batches.h"

#include <QLocale>
#include <QRegularExpression>

namespace movan {

namespace {

// Database states that leave a database unusable, as sysdatabases.status
// shows them.
constexpr int kLoading = 0x20;
constexpr int kPreRecovery = 0x40;
constexpr int kRecovering = 0x80;
constexpr int kSuspect = 0x100;
constexpr int kOffline = 0x200;
constexpr int kEmergency = 0x8000;

QString normalisedServerPath(QString path)
{
    path.replace(u'\\', u'/');
    static const QRegularExpression repeated(QStringLiteral("/{2,}"));
    path.replace(repeated, QStringLiteral("/"));
    return path.toCaseFolded();
}

} // namespace

std::optional<BackupSetHeader> newestDatabaseSet(const QList<BackupSetHeader> &sets)
{
    std::optional<BackupSetHeader> newest;
    for (const BackupSetHeader &set : sets) {
        if (set.backupType != 1)
            continue;
        if (!newest || set.position > newest->position)
            newest = set;
    }
    return newest;
}

std::string headerOnlySql(std::string_view backupFile)
{
    return "RESTORE HEADERONLY FROM DISK = " + unicodeLiteral(backupFile);
}

std::string setFileListSql(std::string_view backupFile, int position)
{
    return "RESTORE FILELISTONLY FROM DISK = " + unicodeLiteral(backupFile)
        + " WITH FILE = " + std::to_string(position);
}

std::string verifySetSql(std::string_view backupFile, int position)
{
    return "RESTORE VERIFYONLY FROM DISK = " + unicodeLiteral(backupFile) + " WITH FILE = " + std::to_string(position);
}

std::string restoreSetSql(std::string_view targetDb, std::string_view backupFile, std::string_view programFolder,
                          int position)
{
    return restoreDatabaseSql(targetDb, backupFile, programFolder) + "  ,    FILE = " + std::to_string(position);
}

bool databaseUsable(int status)
{
    return (status & (kLoading | kPreRecovery | kRecovering | kSuspect | kOffline | kEmergency)) == 0;
}

QString restoredDataPath(const QString &programFolder)
{
    return programFolder + QStringLiteral("Data\\Data.mdf");
}

QString restoredLogPath(const QString &programFolder)
{
    return programFolder + QStringLiteral("Data\\Data_Log.ldf");
}

bool sameServerPath(const QString &a, const QString &b)
{
    return normalisedServerPath(a) == normalisedServerPath(b);
}

std::optional<QString> ownerOfFile(const QStringList &pathForms, const QList<DatabaseFileRow> &files,
                                   const QMap<int, QString> &databaseNames)
{
    for (const DatabaseFileRow &file : files) {
        for (const QString &form : pathForms) {
            if (!form.isEmpty() && sameServerPath(form, file.fileName))
                return databaseNames.value(file.dbid, QString::number(file.dbid));
        }
    }
    return std::nullopt;
}

QString safetyBackupPath(const QString &programFolder, const QString &targetDb, const QDateTime &now)
{
    QString stem;
    for (const QChar c : targetDb)
        stem += c.isLetterOrNumber() || c == u'_' || c == u'-' ? c : u'_';
    return programFolder + QStringLiteral("Data\\") + stem + QStringLiteral("_before_restore_")
        + QLocale::c().toString(now, QStringLiteral("yyyyMMdd_HHmmss")) + QStringLiteral(".Bak");
}

std::string safetyBackupSql(std::string_view targetDb, std::string_view safetyFile)
{
    return "BACKUP DATABASE " + bracketedName(targetDb) + " TO DISK = " + unicodeLiteral(safetyFile)
        + " WITH COPY_ONLY, NAME = N'Before restore'";
}

std::string bringBackSql(std::string_view targetDb, std::string_view safetyFile)
{
    return "RESTORE DATABASE " + bracketedName(targetDb) + " FROM DISK = " + unicodeLiteral(safetyFile)
        + " WITH REPLACE";
}

} // namespace movan
