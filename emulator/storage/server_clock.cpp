#include "storage/server_clock.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace sqlemu {

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, int &y, unsigned &m, unsigned &d)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

const std::int64_t kEpoch1900 = daysFromCivil(1900, 1, 1);

} // namespace

DateTimeValue serverNow()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    const std::int64_t days = daysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) - kEpoch1900;
    const std::int64_t dayMs = (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) * 1000LL + ms;
    return DateTimeValue{days * kMsPerDay + dayMs};
}

std::string formatDateTime(DateTimeValue value)
{
    std::int64_t ms = value.millisecondsSince1900;
    std::int64_t days = ms / kMsPerDay;
    std::int64_t rest = ms % kMsPerDay;
    if (rest < 0) {
        rest += kMsPerDay;
        --days;
    }
    int y = 0;
    unsigned m = 0, d = 0;
    civilFromDays(days + kEpoch1900, y, m, d);
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u %02d:%02d:%02d.%03d", y, m, d,
                  static_cast<int>(rest / 3'600'000), static_cast<int>(rest / 60'000 % 60),
                  static_cast<int>(rest / 1000 % 60), static_cast<int>(rest % 1000));
    return buffer;
}

std::optional<DateTimeValue> parseDateTime(std::string_view text)
{
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0, consumed = 0;
    const std::string copy(text);
    if (std::sscanf(copy.c_str(), "%4d-%2d-%2d %2d:%2d:%2d.%3d%n", &y, &mo, &d, &h, &mi, &s, &ms, &consumed) != 7
        || consumed != static_cast<int>(copy.size()))
        return std::nullopt;
    if (y < 1753 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59 || ms < 0)
        return std::nullopt;
    const std::int64_t days = daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) - kEpoch1900;
    return DateTimeValue{days * kMsPerDay + ((h * 60LL + mi) * 60 + s) * 1000 + ms};
}

} // namespace sqlemu
