#include "maintenance/backup_file_name.h"

#include "util/persian_date.h"
#include "util/text_trim.h"

namespace movan {

namespace {

QString persianDateDigits(const QDateTime &now)
{
    QString date = PersianDateStr(toDateTimeValue(now));
    date = ReplaceFirst(date, QStringLiteral("/"), QString());
    date = ReplaceFirst(date, QStringLiteral("/"), QString());
    // The right-to-left mark in front of the date has no place in a file name.
    if (!date.isEmpty())
        date[0] = QLatin1Char(' ');
    return trimControl(date);
}

QString clockTime(const QDateTime &now)
{
    return ReplaceFirst(now.time().toString(QStringLiteral("HH:mm")), QStringLiteral(":"), QStringLiteral("-"));
}

} // namespace

QString proposedBackupFileName(const QString &database, const QDateTime &now)
{
    return database + QLatin1Char('_') + persianDateDigits(now) + QLatin1Char('_') + clockTime(now);
}

} // namespace movan
