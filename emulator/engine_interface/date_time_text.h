#pragma once

// The date and time types of SQL Server 2008 and later (date, time,
// datetime2, datetimeoffset) travel between the interpreter and the
// protocol as text in one canonical form, 'yyyy-mm-dd', 'hh:mm:ss.fffffff',
// 'yyyy-mm-dd hh:mm:ss.fffffff' and 'yyyy-mm-dd hh:mm:ss.fffffff +hh:mm'
// (the fraction as long as the type's scale), the form CAST to nvarchar
// gives. Both sides read and write it here.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace sqlemu {

struct DateTimeParts {
    int year = 1900;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    std::int64_t ticks = 0; // of 100 ns within the second
    int offsetMinutes = 0;
    bool hasDate = false;
    bool hasTime = false;
    bool hasOffset = false;
};

inline bool validDate(int year, int month, int day)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

// 'yyyy-mm-dd', 'hh:mm[:ss[.f...]]' or both (a blank or T between), with an
// optional offset (' +hh:mm', '-hh:mm' or 'Z'); nothing for anything else.
inline std::optional<DateTimeParts> parseDateTimeText(const std::string &given)
{
    std::string text = given;
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    text.erase(0, std::min(text.find_first_not_of(' '), text.size()));
    DateTimeParts p;
    std::size_t at = 0;
    int used = 0;
    int year = 0, month = 0, day = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &year, &month, &day, &used) == 3 && used == 10) {
        if (!validDate(year, month, day))
            return std::nullopt;
        p.year = year;
        p.month = month;
        p.day = day;
        p.hasDate = true;
        at = 10;
        if (at < text.size() && (text[at] == ' ' || text[at] == 'T'))
            ++at;
    }
    int hour = 0, minute = 0;
    if (at < text.size() && std::sscanf(text.c_str() + at, "%2d:%2d%n", &hour, &minute, &used) == 2) {
        p.hour = hour;
        p.minute = minute;
        p.hasTime = true;
        at += static_cast<std::size_t>(used);
        if (at < text.size() && text[at] == ':') {
            if (std::sscanf(text.c_str() + at, ":%2d%n", &p.second, &used) != 1)
                return std::nullopt;
            at += static_cast<std::size_t>(used);
            if (at < text.size() && text[at] == '.') {
                int digits = 0;
                for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++digits)
                    if (digits < 7)
                        p.ticks = p.ticks * 10 + (text[at] - '0');
                if (digits == 0)
                    return std::nullopt;
                for (; digits < 7; ++digits)
                    p.ticks *= 10;
            }
        }
        if (p.hour > 23 || p.minute > 59 || p.second > 59)
            return std::nullopt;
    }
    if (!p.hasDate && !p.hasTime)
        return std::nullopt;
    while (at < text.size() && text[at] == ' ')
        ++at;
    if (at < text.size() && text[at] == 'Z') {
        p.hasOffset = true;
        ++at;
    } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        int h = 0, m = 0;
        if (std::sscanf(text.c_str() + at + 1, "%2d:%2d%n", &h, &m, &used) != 2 || h > 14 || m > 59)
            return std::nullopt;
        p.offsetMinutes = (text[at] == '-' ? -1 : 1) * (h * 60 + m);
        p.hasOffset = true;
        at += 1 + static_cast<std::size_t>(used);
    }
    if (at != text.size())
        return std::nullopt;
    return p;
}

// The fraction rounded to scale digits, as the types keep it; a carry
// moves into the seconds, minutes and hours (not past midnight, where the
// fraction is cut instead).
inline DateTimeParts roundedToScale(DateTimeParts p, int scale)
{
    std::int64_t unit = 1;
    for (int i = scale; i < 7; ++i)
        unit *= 10;
    std::int64_t ticks = (p.ticks + unit / 2) / unit * unit;
    if (ticks < 10'000'000) {
        p.ticks = ticks;
        return p;
    }
    if (p.hour == 23 && p.minute == 59 && p.second == 59) {
        p.ticks = p.ticks / unit * unit;
        return p;
    }
    p.ticks = 0;
    if (++p.second == 60) {
        p.second = 0;
        if (++p.minute == 60) {
            p.minute = 0;
            ++p.hour;
        }
    }
    return p;
}

// The canonical text of parts for the type that has a date, a time, an
// offset as asked, with scale (0 to 7) digits of fraction.
inline std::string formatDateTimeText(const DateTimeParts &given, bool withDate, bool withTime, bool withOffset,
                                      int scale)
{
    const DateTimeParts p = withTime ? roundedToScale(given, scale) : given;
    char buffer[64];
    std::string out;
    if (withDate) {
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", p.year, p.month, p.day);
        out += buffer;
    }
    if (withTime) {
        std::snprintf(buffer, sizeof buffer, "%s%02d:%02d:%02d", withDate ? " " : "", p.hour, p.minute, p.second);
        out += buffer;
        if (scale > 0) {
            std::snprintf(buffer, sizeof buffer, ".%07lld", static_cast<long long>(p.ticks));
            out += std::string(buffer).substr(0, static_cast<std::size_t>(scale) + 1);
        }
    }
    if (withOffset) {
        const int minutes = p.offsetMinutes < 0 ? -p.offsetMinutes : p.offsetMinutes;
        std::snprintf(buffer, sizeof buffer, " %c%02d:%02d", p.offsetMinutes < 0 ? '-' : '+', minutes / 60,
                      minutes % 60);
        out += buffer;
    }
    return out;
}

} // namespace sqlemu
