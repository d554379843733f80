#pragma once

#include <QDateTime>
#include <QString>

namespace movan {

// A date-time as the sibling programs count it: days since 30 December 1899,
// the fraction being the time of day.
double toDateTimeValue(const QDateTime &dateTime);

// The Persian (Jalali) calendar date of a date-time value as
// "<mark>year/MM/DD", the mark being the right-to-left mark U+200F so that the
// date reads correctly inside Persian text. The zero value gives the empty
// mask "    /  /  " without the mark.
QString PersianDateStr(double dateTime);

// The Persian date and the 24-hour time of a moment, as messages name it:
// "<mark>year/MM/DD HH:mm"; empty for an invalid moment.
QString persianDateAndTime(const QDateTime &moment);

// The source with the first occurrence of search replaced (case-sensitive);
// unchanged when search is empty or absent.
QString ReplaceFirst(const QString &source, const QString &search, const QString &replacement);

} // namespace movan
