#include "tds/date_time_codec.h"

#include "engine_interface/date_time_text.h"
#include "tds/type_codec.h"

namespace sqlemu::tds {

namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;

// Days since 0001-01-01 of a date of the proleptic Gregorian calendar.
std::int64_t daysFromCivil(int year, int month, int day)
{
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = y / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    // 0000-03-01 is day 0 of era 0; 0001-01-01 is 306 days later.
    return static_cast<std::int64_t>(era) * 146097 + dayOfEra - 306;
}

void civilFromDays(std::int64_t days, int &year, int &month, int &day)
{
    days += 306;
    const std::int64_t era = days / 146097;
    const auto dayOfEra = static_cast<int>(days - era * 146097);
    const int yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int mp = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * mp + 2) / 5 + 1;
    month = mp + (mp < 10 ? 3 : -9);
    year = static_cast<int>(era * 400 + yearOfEra + (month <= 2 ? 1 : 0));
}

std::size_t timeLength(int scale)
{
    return scale <= 2 ? 3 : scale <= 4 ? 4 : 5;
}

std::int64_t unitsPerSecond(int scale)
{
    std::int64_t units = 1;
    for (int i = 0; i < scale; ++i)
        units *= 10;
    return units;
}

void putLittleEndian(Bytes &out, std::uint64_t value, std::size_t bytes)
{
    for (std::size_t i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint64_t getLittleEndian(std::span<const std::uint8_t> bytes)
{
    std::uint64_t value = 0;
    for (std::size_t i = bytes.size(); i-- > 0;)
        value = (value << 8) | bytes[i];
    return value;
}

// A date and a time of day moved by minutes (a datetimeoffset's local time
// to UTC and back).
void shiftMinutes(DateTimeParts &p, int minutes)
{
    std::int64_t days = daysFromCivil(p.year, p.month, p.day);
    std::int64_t minuteOfDay = p.hour * 60 + p.minute + minutes;
    while (minuteOfDay < 0) {
        minuteOfDay += 1440;
        --days;
    }
    days += minuteOfDay / 1440;
    minuteOfDay %= 1440;
    civilFromDays(days, p.year, p.month, p.day);
    p.hour = static_cast<int>(minuteOfDay / 60);
    p.minute = static_cast<int>(minuteOfDay % 60);
}

} // namespace

bool isDateTimeTypeId(std::uint8_t typeId)
{
    return typeId == TypeId::Date || typeId == TypeId::Time || typeId == TypeId::DateTime2
        || typeId == TypeId::DateTimeOffset;
}

std::size_t dateTimeValueLength(std::uint8_t typeId, int scale)
{
    switch (typeId) {
    case TypeId::Date:
        return 3;
    case TypeId::Time:
        return timeLength(scale);
    case TypeId::DateTime2:
        return timeLength(scale) + 3;
    default:
        return timeLength(scale) + 5;
    }
}

Bytes encodeDateTimeValue(std::uint8_t typeId, int scale, const std::string &text)
{
    auto parsed = parseDateTimeText(text);
    if (!parsed)
        throw MalformedInput("not a date or time: " + text);
    DateTimeParts p = roundedToScale(*parsed, scale);
    if (typeId == TypeId::DateTimeOffset)
        shiftMinutes(p, -p.offsetMinutes); // the wire holds UTC
    Bytes out;
    if (typeId != TypeId::Date) {
        const std::int64_t ticks = (p.hour * 3600LL + p.minute * 60LL + p.second) * kTicksPerSecond + p.ticks;
        putLittleEndian(out, static_cast<std::uint64_t>(ticks / (kTicksPerSecond / unitsPerSecond(scale))),
                        timeLength(scale));
    }
    if (typeId != TypeId::Time)
        putLittleEndian(out, static_cast<std::uint64_t>(daysFromCivil(p.year, p.month, p.day)), 3);
    if (typeId == TypeId::DateTimeOffset)
        putLittleEndian(out, static_cast<std::uint16_t>(static_cast<std::int16_t>(p.offsetMinutes)), 2);
    return out;
}

std::string decodeDateTimeValue(std::uint8_t typeId, int scale, std::span<const std::uint8_t> bytes)
{
    if (bytes.size() != dateTimeValueLength(typeId, scale))
        throw MalformedInput("bad date or time length");
    DateTimeParts p;
    std::size_t at = 0;
    if (typeId != TypeId::Date) {
        const std::size_t length = timeLength(scale);
        const auto units = static_cast<std::int64_t>(getLittleEndian(bytes.subspan(0, length)));
        const std::int64_t ticks = units * (kTicksPerSecond / unitsPerSecond(scale));
        if (ticks >= 86'400 * kTicksPerSecond)
            throw MalformedInput("a time past midnight");
        p.hour = static_cast<int>(ticks / (3600 * kTicksPerSecond));
        p.minute = static_cast<int>(ticks / (60 * kTicksPerSecond) % 60);
        p.second = static_cast<int>(ticks / kTicksPerSecond % 60);
        p.ticks = ticks % kTicksPerSecond;
        at = length;
    }
    if (typeId != TypeId::Time) {
        const auto days = static_cast<std::int64_t>(getLittleEndian(bytes.subspan(at, 3)));
        if (days > daysFromCivil(9999, 12, 31))
            throw MalformedInput("a date past 9999-12-31");
        civilFromDays(days, p.year, p.month, p.day);
        at += 3;
    }
    if (typeId == TypeId::DateTimeOffset) {
        p.offsetMinutes = static_cast<std::int16_t>(getLittleEndian(bytes.subspan(at, 2)));
        if (p.offsetMinutes < -840 || p.offsetMinutes > 840)
            throw MalformedInput("an offset beyond 14 hours");
        shiftMinutes(p, p.offsetMinutes);
    }
    return formatDateTimeText(p, typeId != TypeId::Time, typeId != TypeId::Date, typeId == TypeId::DateTimeOffset,
                              scale);
}

ColumnInfo downLevelColumn(const ColumnInfo &column)
{
    ColumnInfo text = column;
    text.type = SqlType::NVarChar;
    const int fraction = column.scale > 0 ? column.scale + 1 : 0;
    switch (column.type) {
    case SqlType::Date:
        text.maxLength = 10;
        break;
    case SqlType::Time:
        text.maxLength = 8 + fraction;
        break;
    case SqlType::DateTime2:
        text.maxLength = 19 + fraction;
        break;
    case SqlType::DateTimeOffset:
        text.maxLength = 26 + fraction;
        break;
    default:
        return column;
    }
    return text;
}

} // namespace sqlemu::tds
