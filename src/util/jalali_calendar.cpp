#include "util/jalali_calendar.h"

#include <array>

namespace movan {

namespace {

// Years at which the pattern of leap years within the 33-year cycle shifts.
constexpr std::array<int, 20> kBreaks
    = {-61, 9, 38, 199, 426, 686, 756, 818, 1111, 1181, 1210, 1635, 2060, 2097, 2192, 2262, 2324, 2394, 2456, 3178};

struct YearFacts {
    int yearsSinceLeap; // 0 for a leap year
    int gregorianYear; // in which the year begins
    int marchDay; // day of March on which it begins
};

// Division that rounds toward zero, as the published algorithm is stated.
constexpr int quotient(int a, int b)
{
    return a / b;
}
constexpr int remainder(int a, int b)
{
    return a - quotient(a, b) * b;
}

YearFacts factsOf(int year)
{
    const int gregorianYear = year + 621;
    int leapDays = -14;
    int previousBreak = kBreaks.front();
    int jump = 0;
    for (std::size_t i = 1; i < kBreaks.size(); ++i) {
        jump = kBreaks[i] - previousBreak;
        if (year < kBreaks[i])
            break;
        leapDays += quotient(jump, 33) * 8 + quotient(remainder(jump, 33), 4);
        previousBreak = kBreaks[i];
    }
    int n = year - previousBreak;
    leapDays += quotient(n, 33) * 8 + quotient(remainder(n, 33) + 3, 4);
    if (remainder(jump, 33) == 4 && jump - n == 4)
        ++leapDays;
    const int gregorianLeapDays
        = quotient(gregorianYear, 4) - quotient((quotient(gregorianYear, 100) + 1) * 3, 4) - 150;
    const int marchDay = 20 + leapDays - gregorianLeapDays;
    if (jump - n < 6)
        n = n - jump + quotient(jump + 4, 33) * 33;
    int sinceLeap = remainder(remainder(n + 1, 33) - 1, 4);
    if (sinceLeap == -1)
        sinceLeap = 4;
    return {sinceLeap, gregorianYear, marchDay};
}

bool covered(int year)
{
    return year >= JalaliCalendar::kFirstYear && year <= JalaliCalendar::kLastYear;
}

} // namespace

namespace JalaliCalendar {

std::optional<QDate> newYearsDay(int year)
{
    if (!covered(year))
        return std::nullopt;
    const YearFacts facts = factsOf(year);
    return QDate(facts.gregorianYear, 3, 1).addDays(facts.marchDay - 1);
}

bool isLeapYear(int year)
{
    return covered(year) && factsOf(year).yearsSinceLeap == 0;
}

std::optional<Date> fromGregorian(const QDate &date)
{
    int year = date.year() - 621;
    const auto start = newYearsDay(year);
    if (!start)
        return std::nullopt;
    qint64 dayOfYear = start->daysTo(date);
    if (dayOfYear < 0) {
        // Still the year before, in its months 10 to 12.
        if (!covered(--year))
            return std::nullopt;
        dayOfYear += isLeapYear(year) ? 180 : 179;
    } else if (dayOfYear <= 185) {
        return Date{year, int(dayOfYear / 31) + 1, int(dayOfYear % 31) + 1};
    } else {
        dayOfYear -= 186;
    }
    return Date{year, int(dayOfYear / 30) + 7, int(dayOfYear % 30) + 1};
}

} // namespace JalaliCalendar

} // namespace movan
