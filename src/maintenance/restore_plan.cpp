#include "maintenance/restore_plan.h"

#include "maintenance/batches.h"

#include <QDir>
#include <QLocale>
#include <QRegularExpression>

namespace movan {

namespace {

QString normalisedServerPath(QString path)
{
    path.replace(u'\\', u'/');
    static const QRegularExpression repeated(QStringLiteral("/{2,}"));
    path.replace(repeated, QStringLiteral("/"));
    return path.toCaseFolded();
}

} // namespace

std::optional<BackupSetSummary> newestDatabaseSet(const QList<BackupSetSummary> &sets)
{
    std::optional<BackupSetSummary> newest;
    for (const BackupSetSummary &set : sets) {
        if (set.backupType != kDatabaseBackupType)
            continue;
        if (!newest || set.position > newest->position)
            newest = set;
    }
    return newest;
}

std::string setFileListSql(std::string_view backupFile, int position)
{
    return "RESTORE FILELISTONLY FROM DISK = " + unicodeLiteral(backupFile)
        + " WITH FILE = " + std::to_string(position);
}

std::string restoreSetSql(std::string_view targetDb, std::string_view backupFile, std::string_view programFolder,
                          int position)
{
    return restoreDatabaseSql(targetDb, backupFile, programFolder) + "  ,    FILE = " + std::to_string(position);
}

QString restoredDataPath(const QString &programFolder)
{
    return programFolder + QStringLiteral("Data\\Data.mdf");
}

QString restoredLogPath(const QString &programFolder)
{
    return programFolder + QStringLiteral("Data\\Data_Log.ldf");
}

QString localPathOf(const QString &serverPath)
{
    return QDir::fromNativeSeparators(QString(serverPath).replace(u'\\', u'/'));
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

QString safetyBackupPath(const QString &programFolder, const QString &targetDb, const QDateTime &now,
                         const QString &uniquePart)
{
    QString stem;
    for (const QChar c : targetDb)
        stem += c.isLetterOrNumber() || c == u'_' || c == u'-' ? c : u'_';
    return programFolder + QStringLiteral("Data\\") + stem + QStringLiteral("_before_restore_")
        + QLocale::c().toString(now, QStringLiteral("yyyyMMdd_HHmmss")) + u'_' + uniquePart + QStringLiteral(".Bak");
}

QString safetySetName(const QString &uniquePart)
{
    return QStringLiteral("Before restore ") + uniquePart;
}

std::string safetyBackupSql(std::string_view targetDb, std::string_view safetyFile, std::string_view setName)
{
    return "BACKUP DATABASE " + bracketedName(targetDb) + " TO DISK = " + unicodeLiteral(safetyFile)
        + " WITH COPY_ONLY, NAME = " + unicodeLiteral(setName);
}

std::string bringBackSql(std::string_view targetDb, std::string_view safetyFile, int position)
{
    return "RESTORE DATABASE " + bracketedName(targetDb) + " FROM DISK = " + unicodeLiteral(safetyFile)
        + " WITH FILE = " + std::to_string(position) + ", REPLACE";
}

qint64 megabytesFor(qint64 bytes)
{
    constexpr qint64 kMegabyte = qint64{1024} * 1024;
    return (qMax<qint64>(bytes, 0) + kMegabyte - 1) / kMegabyte;
}

} // namespace movan
