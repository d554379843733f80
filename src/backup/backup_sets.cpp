#include "backup/backup_sets.h"

#include "backup/backup_batch.h"
#include "db/database.h"

#include <QVariant>

#include <algorithm>
#include <array>

namespace movan {

namespace {

void setParameter(DbQuery &query, std::string_view name, const QString &value, int size)
{
    query.setParameterText(QString::fromLatin1(name.data(), qsizetype(name.size())), value, size);
}

QString oneLine(const QString &text)
{
    QString line = text;
    line.replace(u'\r', u' ');
    line.replace(u'\n', u' ');
    return line.trimmed();
}

// The server's reasons for a set that does not read back as written: a page
// or checksum that fails (3183, 3189), a medium malformed or of another
// format (3241, 3242, 3243), backup data at the end of the file that is not
// well formed (3266), a read of the file that failed (3203).
constexpr std::array<int, 7> kDamageNumbers = {3183, 3189, 3203, 3241, 3242, 3243, 3266};

} // namespace

QDateTime serverDate(const QVariant &value)
{
    return value.typeId() == QMetaType::QDateTime ? value.toDateTime() : QDateTime();
}

QDateTime serverNow(DbConnection &connection)
{
    DbQuery query;
    query.setConnection(&connection);
    query.setSqlText(QStringLiteral("SELECT GETDATE() AS Now"));
    query.open();
    QDateTime now = query.eof() ? QDateTime() : serverDate(query.fieldValue(QStringLiteral("Now")));
    query.close();
    return now;
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
        set.position = query.fieldValue(QStringLiteral("Position")).toInt();
        set.backupType = query.fieldValue(QStringLiteral("BackupType")).toInt();
        set.database = query.fieldValue(QStringLiteral("DatabaseName")).toString();
        set.name = query.fieldValue(QStringLiteral("BackupName")).toString();
        set.serverName = query.fieldValue(QStringLiteral("ServerName")).toString();
        set.started = serverDate(query.fieldValue(QStringLiteral("BackupStartDate")));
        set.finished = serverDate(query.fieldValue(QStringLiteral("BackupFinishDate")));
        set.sizeBytes = query.fieldValue(QStringLiteral("BackupSize")).toLongLong();
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

bool isDamageNumber(int number)
{
    return std::find(kDamageNumbers.begin(), kDamageNumbers.end(), number) != kDamageNumbers.end();
}

Verification verdictOf(const std::exception &error)
{
    const auto *database = dynamic_cast<const DatabaseError *>(&error);
    if (database && !database->outcomeUnknown() && isDamageNumber(database->number()))
        return Verification::Damaged;
    return Verification::NotVerified;
}

VerifyResult verifyBackupSet(DbConnection &connection, const QString &mediaPath, int position)
{
    // FILE = 0 or less would check whatever the server takes it for.
    if (position < 1)
        return {Verification::NotVerified, QStringLiteral("the file holds no set of this backup to read back")};
    try {
        DbQuery query;
        query.setConnection(&connection);
        // The position is this program's own number, never a text from outside.
        query.setSqlText(QStringLiteral("RESTORE VERIFYONLY FROM DISK = :Path WITH FILE = %1").arg(position));
        setParameter(query, "Path", mediaPath, kBackupPathParameterSize);
        query.execSQL();
    } catch (const std::exception &error) {
        return {verdictOf(error), oneLine(QString::fromUtf8(error.what()))};
    }
    return {Verification::Sound, {}};
}

} // namespace movan
