#pragma once

#include <QDate>

#include <optional>

namespace movan {

// The Iranian (Jalali) calendar as the country's almanacs publish it, the year
// starting on the day of the vernal equinox. Its leap years follow 33-year
// cycles broken at known years, which matches the astronomical calendar from
// 1 AP far past 2200 AP, where a purely arithmetic rule drifts a day off in one
// year of every cycle from 2058 AD on.
namespace JalaliCalendar {

struct Date {
    int year;
    int month; // 1..12: months 1-6 have 31 days, 7-11 have 30, 12 has 29 or 30
    int day;
};

// Years the break table covers.
constexpr int kFirstYear = -61;
constexpr int kLastYear = 3177;

// Nothing outside the covered years.
std::optional<Date> fromGregorian(const QDate &date);

// The first day of the year (1 Farvardin); nothing outside the covered years.
std::optional<QDate> newYearsDay(int year);

bool isLeapYear(int year);

} // namespace JalaliCalendar

} // namespace movan
