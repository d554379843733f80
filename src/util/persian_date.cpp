#include "util/persian_date.h"

#include "util/jalali_calendar.h"

#include <QCalendar>
#include <QLocale>

#include <cmath>

namespace movan {

namespace {

const QDate kEpoch(1899, 12, 30);
constexpr QChar kRightToLeftMark(0x200F);

} // namespace

double toDateTimeValue(const QDateTime &dateTime)
{
    const double days = static_cast<double>(kEpoch.daysTo(dateTime.date()));
    const double fraction = dateTime.time().msecsSinceStartOfDay() / 86400000.0;
    // Before the epoch the fraction still counts forward from midnight.
    return days >= 0 ? days + fraction : days - fraction;
}

QString PersianDateStr(double dateTime)
{
    if (dateTime == 0)
        return QStringLiteral("    /  /  ");

    // The calendar's own rules, not an arithmetic shortcut: the fixed rule
    // drifts a day off the real calendar from 2029 on, Qt's from 2058, and a
    // backup would be named, and sorted, by the wrong date.
    const QDate date = kEpoch.addDays(static_cast<qint64>(std::trunc(dateTime)));
    JalaliCalendar::Date parts{};
    if (const auto official = JalaliCalendar::fromGregorian(date)) {
        parts = *official;
    } else {
        // Centuries away from any backup: the arithmetic calendar will do.
        static const QCalendar arithmetic(QCalendar::System::Jalali);
        const QCalendar::YearMonthDay computed = arithmetic.partsFromDate(date);
        parts = {computed.year, computed.month, computed.day};
    }
    return kRightToLeftMark
        + QStringLiteral("%1/%2/%3")
              .arg(parts.year)
              .arg(parts.month, 2, 10, QChar(u'0'))
              .arg(parts.day, 2, 10, QChar(u'0'));
}

QString ReplaceFirst(const QString &source, const QString &search, const QString &replacement)
{
    if (search.isEmpty())
        return source;
    const qsizetype at = source.indexOf(search, 0, Qt::CaseSensitive);
    if (at < 0)
        return source;
    QString result = source;
    result.replace(at, search.size(), replacement);
    return result;
}

QString persianDateAndTime(const QDateTime &moment)
{
    if (!moment.isValid())
        return QString();
    return PersianDateStr(toDateTimeValue(moment)) + u' ' + QLocale::c().toString(moment, QStringLiteral("HH:mm"));
}

} // namespace movan
