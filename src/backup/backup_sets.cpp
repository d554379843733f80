#include "backup/backup_sets.h"

#include "backup/backup_batch.h"
#include "db/database.h"

#include <QLocale>

namespace movan {

namespace {

void setParameter(DbQuery &query, std::string_view name, const QString &value, int size)
{
    DbQuery::Parameter &parameter = query.parameterByName(QString::fromLatin1(name.data(), qsizetype(name.size())));
    parameter.value = value;
    parameter.isNull = false;
    parameter.size = size;
}

} // namespace

QDateTime serverDateTime(const QString &text)
{
    const QString simple = text.simplified();
    const QLocale c = QLocale::c();
    for (const QString &format : {QStringLiteral("MMM d yyyy h:mm:ss:zzzAP"), QStringLiteral("MMM d yyyy h:mmAP"),
                                  QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"), QStringLiteral("yyyy-MM-dd HH:mm:ss"),
                                  QStringLiteral("yyyy-MM-dd HH:mm")}) {
        QDateTime parsed = c.toDateTime(simple, format);
        if (parsed.isValid())
            return parsed;
    }
    return {};
}

QList<BackupSetSummary> readBackupSets(DbConnection &connection, const QString &mediaPath)
{
    DbQuery query;
    query.setConnection(&connection);
    query.setSqlText(QStringLiteral("RESTORE HEADERONLY FROM DISK = :Path"));
    setParameter(query, "Path", mediaPath, kBackupPathParameterSize);
    query.open();
    QList<BackupSetSummary> sets;
    for (query.first(); !query.eof(); query.next()) {
        BackupSetSummary set;
        set.position = query.fieldByName(QStringLiteral("Position")).toInt();
        set.database = query.fieldByName(QStringLiteral("DatabaseName"));
        set.name = query.fieldByName(QStringLiteral("BackupName"));
        set.finishedText = query.fieldByName(QStringLiteral("BackupFinishDate"));
        set.finished = serverDateTime(set.finishedText);
        set.sizeBytes = query.fieldByName(QStringLiteral("BackupSize")).toLongLong();
        sets.append(set);
    }
    query.close();
    return sets;
}

void appendBackupSet(DbConnection &connection, const QString &database, const QString &mediaPath,
                     const std::function<void(int percent)> &onPercent)
{
    DbQuery query;
    query.setConnection(&connection);
    query.setSqlText(QString::fromLatin1(kBackupSql));
    setParameter(query, kBackupDataBaseParameter, database, kBackupDataBaseParameterSize);
    setParameter(query, kBackupPathParameter, mediaPath, kBackupPathParameterSize);
    if (onPercent)
        query.OnFetchProgress = [onPercent](int progress, int) { onPercent(progress); };
    query.execSQL();
}

void verifyBackupSet(DbConnection &connection, const QString &mediaPath, int position)
{
    DbQuery query;
    query.setConnection(&connection);
    // The position is this program's own number, never a text from outside.
    query.setSqlText(QStringLiteral("RESTORE VERIFYONLY FROM DISK = :Path WITH FILE = %1").arg(position));
    setParameter(query, "Path", mediaPath, kBackupPathParameterSize);
    query.execSQL();
}

} // namespace movan
