#include "backup/backup_outcome.h"

#include "backup/backup_batch.h"
#include "db/database.h"

#include <QVariant>

#include <algorithm>

namespace movan {

namespace {

// The server writes its dates on its own wall clock, without a zone: dates
// are compared as the wall clock reads, whatever zone Qt gave them.
QDateTime wallClock(const QDateTime &moment)
{
    return QDateTime(moment.date(), moment.time(), Qt::UTC);
}

bool sinceRequest(const QDateTime &started, const BackupRequestFacts &request)
{
    return started.isValid() && wallClock(started) >= wallClock(request.sentOnServerClock);
}

bool sameDatabase(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString reasonOf(const std::exception &error)
{
    return QString::fromUtf8(error.what()).simplified();
}

QList<BackupHistoryEntry> readHistory(DbConnection &connection, const BackupRequestFacts &request)
{
    struct Row {
        BackupHistoryEntry entry;
        QString mediaSet;
    };
    QList<Row> rows;
    {
        DbQuery query;
        query.setConnection(&connection);
        query.setSqlText(
            QStringLiteral("SELECT backup_set_id, media_set_id, position, database_name, type, backup_start_date, "
                           "backup_finish_date FROM msdb.dbo.backupset WHERE database_name = :Database AND "
                           "backup_start_date >= :Since ORDER BY backup_set_id DESC"));
        query.setParameterText(QStringLiteral("Database"), request.database, kBackupDataBaseParameterSize);
        query.setParameterText(QStringLiteral("Since"),
                               wallClock(request.sentOnServerClock).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));
        query.open();
        for (query.first(); !query.eof(); query.next()) {
            Row row;
            row.entry.position = query.fieldValue(QStringLiteral("position")).toInt();
            row.entry.database = query.fieldValue(QStringLiteral("database_name")).toString();
            row.entry.type = query.fieldValue(QStringLiteral("type")).toString().trimmed();
            row.entry.started = serverDate(query.fieldValue(QStringLiteral("backup_start_date")));
            row.entry.finished = serverDate(query.fieldValue(QStringLiteral("backup_finish_date")));
            row.mediaSet = query.fieldByName(QStringLiteral("media_set_id"));
            rows.append(row);
        }
        query.close();
    }
    QList<BackupHistoryEntry> entries;
    for (Row &row : rows) {
        DbQuery query;
        query.setConnection(&connection);
        query.setSqlText(QStringLiteral(
            "SELECT physical_device_name FROM msdb.dbo.backupmediafamily WHERE media_set_id = :MediaSet"));
        query.setParameterText(QStringLiteral("MediaSet"), row.mediaSet);
        query.open();
        for (query.first(); !query.eof(); query.next())
            row.entry.devices.append(query.fieldValue(QStringLiteral("physical_device_name")).toString());
        query.close();
        entries.append(row.entry);
    }
    return entries;
}

} // namespace

BackupResolution judgeBackupOutcome(const BackupRequestFacts &request,
                                    const std::optional<QList<BackupHistoryEntry>> &history,
                                    const std::optional<QList<BackupSetSummary>> &sets)
{
    if (history) {
        for (const BackupHistoryEntry &entry : *history) {
            if (entry.type == QStringLiteral("D") && sameDatabase(entry.database, request.database)
                && sinceRequest(entry.started, request) && entry.finished.isValid()
                && entry.devices.contains(request.mediaPath))
                return {BackupOutcome::Done, entry.position, {}};
        }
    }
    if (sets) {
        // The last such set of the file: a set appended later by another
        // request of the same moment cannot precede it.
        const auto last = std::find_if(sets->crbegin(), sets->crend(), [&](const BackupSetSummary &set) {
            return set.backupType == kDatabaseBackupType && sameDatabase(set.database, request.database)
                && sinceRequest(set.started, request) && set.finished.isValid();
        });
        if (last != sets->crend())
            return {BackupOutcome::Done, last->position, {}};
    }
    if (history || sets)
        return {BackupOutcome::NotDone, 0, {}};
    return {BackupOutcome::Unknown, 0, QStringLiteral("the server could not be asked")};
}

BackupResolution resolveBackupOutcome(const QString &connectionString, const QString &database,
                                      const QString &mediaPath, const QDateTime &sentAt)
{
    DbConnection connection;
    connection.setConnectionString(connectionString);
    BackupRequestFacts request{database, mediaPath, {}};
    try {
        connection.open();
        // Both clocks read now give the server's time of the request, to the
        // second below it: the request was sent no earlier.
        const QDateTime clientNow = QDateTime::currentDateTime();
        const QDateTime server = serverNow(connection);
        if (!server.isValid())
            return {BackupOutcome::Unknown, 0, QStringLiteral("the server did not give its time")};
        const qint64 offset = wallClock(clientNow).msecsTo(wallClock(server));
        QDateTime sent = wallClock(sentAt).addMSecs(offset).addSecs(-1);
        sent.setTime(QTime(sent.time().hour(), sent.time().minute(), sent.time().second()));
        request.sentOnServerClock = sent;
    } catch (const std::exception &error) {
        return {BackupOutcome::Unknown, 0, reasonOf(error)};
    }

    std::optional<QList<BackupHistoryEntry>> history;
    std::optional<QList<BackupSetSummary>> sets;
    QString reason;
    try {
        history = readHistory(connection, request);
    } catch (const std::exception &error) {
        reason = reasonOf(error);
    }
    try {
        sets = readBackupSets(connection, mediaPath);
    } catch (const std::exception &error) {
        const auto *server = dynamic_cast<const DatabaseError *>(&error);
        // A file the server cannot open holds no set of this backup: 3201.
        if (server && !server->outcomeUnknown() && server->number() == 3201)
            sets = QList<BackupSetSummary>();
        else if (reason.isEmpty())
            reason = reasonOf(error);
    }
    BackupResolution resolution = judgeBackupOutcome(request, history, sets);
    if (resolution.outcome == BackupOutcome::Unknown && !reason.isEmpty())
        resolution.reason = reason;
    return resolution;
}

} // namespace movan
