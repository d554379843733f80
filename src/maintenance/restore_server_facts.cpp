#include "maintenance/restore_server_facts.h"

#include "db/database.h"
#include "maintenance/restore_plan.h"

namespace movan {

namespace {

void prepare(DbQuery &query, DbConnection &connection, const QString &sql)
{
    query.setConnection(&connection);
    query.setSqlText(sql);
}

// Whether the question about running requests finds one; nothing when the
// server has no such view to ask (208).
std::optional<bool> anyRequestListed(DbQuery &query)
{
    try {
        query.open();
    } catch (const DatabaseError &error) {
        if (error.number() == 208)
            return std::nullopt;
        throw;
    }
    const bool running = !query.eof();
    query.close();
    return running;
}

} // namespace

DatabaseCondition databaseCondition(DbConnection &connection, const QString &database)
{
    DbQuery query;
    prepare(query, connection,
            QStringLiteral("SELECT state_desc, user_access_desc FROM master.sys.databases WHERE name = :Name"));
    query.setParameterText(QStringLiteral("Name"), database);
    query.open();
    DatabaseCondition condition;
    if (!query.eof()) {
        condition.listed = true;
        condition.state = query.fieldByName(QStringLiteral("state_desc")).trimmed();
        condition.singleUser = query.fieldByName(QStringLiteral("user_access_desc"))
                                   .trimmed()
                                   .compare(QLatin1String("SINGLE_USER"), Qt::CaseInsensitive)
            == 0;
    }
    query.close();
    return condition;
}

std::optional<bool> restoreRunning(DbConnection &connection, const QString &database)
{
    DbQuery query;
    prepare(query, connection,
            QStringLiteral("SELECT session_id FROM sys.dm_exec_requests "
                           "WHERE command = N'RESTORE DATABASE' AND database_id = DB_ID(:Name)"));
    query.setParameterText(QStringLiteral("Name"), database);
    return anyRequestListed(query);
}

std::optional<bool> dropRunning(DbConnection &connection)
{
    DbQuery query;
    prepare(
        query, connection,
        QStringLiteral("SELECT session_id FROM sys.dm_exec_requests "
                       "WHERE (command = N'ALTER DATABASE' OR command = N'DROP DATABASE') AND session_id <> @@SPID"));
    return anyRequestListed(query);
}

std::optional<RestoreRecord> restoreFinishedSince(DbConnection &connection, const QString &database,
                                                  const QDateTime &since)
{
    DbQuery history;
    prepare(history, connection,
            QStringLiteral("SELECT restore_history_id, restore_date, backup_set_id FROM msdb.dbo.restorehistory "
                           "WHERE destination_database_name = :Name AND restore_date >= :Since "
                           "ORDER BY restore_history_id DESC"));
    history.setParameterText(QStringLiteral("Name"), database);
    history.setParameterText(QStringLiteral("Since"), since.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));
    history.open();
    if (history.eof())
        return std::nullopt;
    RestoreRecord record;
    record.restored = history.fieldValue(QStringLiteral("restore_date")).toDateTime();
    const qlonglong setId = history.fieldValue(QStringLiteral("backup_set_id")).toLongLong();
    history.close();

    // The identifiers are the server's own numbers, never a text from outside.
    DbQuery set;
    prepare(set, connection,
            QStringLiteral("SELECT media_set_id, position, name FROM msdb.dbo.backupset WHERE backup_set_id = %1")
                .arg(setId));
    set.open();
    if (set.eof())
        return record;
    record.position = set.fieldValue(QStringLiteral("position")).toInt();
    record.setName = set.fieldByName(QStringLiteral("name"));
    const qlonglong mediaId = set.fieldValue(QStringLiteral("media_set_id")).toLongLong();
    set.close();

    DbQuery media;
    prepare(media, connection,
            QStringLiteral("SELECT physical_device_name FROM msdb.dbo.backupmediafamily WHERE media_set_id = %1")
                .arg(mediaId));
    media.open();
    if (!media.eof())
        record.device = media.fieldByName(QStringLiteral("physical_device_name"));
    media.close();
    return record;
}

bool restoredSet(const RestoreRecord &record, const QString &file, int position)
{
    return record.position == position && sameServerPath(record.device, file);
}

} // namespace movan
