#include "backup/backup_file_name.h"

#include "util/persian_date.h"
#include "util/text_trim.h"

#include <QRegularExpression>

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

QString backupFileName(const QString &database, const QDateTime &now)
{
    return proposedBackupFileName(database, now) + kBackupFileSuffix;
}

std::optional<QString> backupFileMoment(const QString &database, const QString &fileName)
{
    const QRegularExpression pattern(QStringLiteral("\\A") + QRegularExpression::escape(database)
                                     + QStringLiteral("_([0-9]{8})_([0-9]{2})-([0-9]{2})")
                                     + QRegularExpression::escape(kBackupFileSuffix) + QStringLiteral("\\z"));
    const auto match = pattern.match(fileName);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1) + match.captured(2) + match.captured(3);
}

} // namespace movan
