#include "sql/date_time_values.h"

#include "engine_interface/date_time_text.h"
#include "sql/sql_error.h"
#include "storage/server_clock.h"

namespace sqlemu {

namespace {

DateTimeParts partsOf(const TypedValue &value)
{
    std::optional<DateTimeParts> parts;
    if (const auto *d = std::get_if<DateTimeValue>(&value.value))
        parts = parseDateTimeText(formatDateTime(*d));
    else if (const auto *s = std::get_if<std::string>(&value.value))
        parts = parseDateTimeText(*s);
    if (!parts)
        throw errors::dateTimeConversionFailed();
    return *parts;
}

} // namespace

bool isDateTimeKind(SqlType type)
{
    return type == SqlType::Date || type == SqlType::Time || type == SqlType::DateTime2
        || type == SqlType::DateTimeOffset;
}

TypedValue convertToDateTimeKind(const TypedValue &value, const DataType &type)
{
    if (isNull(value.value))
        return TypedValue::null(type.type, type.length);
    if (!std::holds_alternative<std::string>(value.value) && !std::holds_alternative<DateTimeValue>(value.value))
        throw errors::conversionNotAllowed(typeName(value.type), typeName(type.type));
    // A missing date is 1900-01-01, a missing time midnight and a missing
    // offset +00:00, as a real server fills them in.
    const DateTimeParts parts = partsOf(value);
    const bool date = type.type != SqlType::Time;
    const bool time = type.type != SqlType::Date;
    const bool offset = type.type == SqlType::DateTimeOffset;
    return TypedValue::text(formatDateTimeText(parts, date, time, offset, type.length), type.type, type.length);
}

TypedValue dateTimeKindToDateTime(const TypedValue &value)
{
    if (isNull(value.value))
        return TypedValue::null(SqlType::DateTime);
    DateTimeParts parts = roundedToScale(partsOf(value), 3);
    const auto converted = parseDateTime(formatDateTimeText(parts, true, true, false, 3));
    if (!converted)
        throw errors::dateTimeConversionFailed();
    return TypedValue{*converted, SqlType::DateTime, 0};
}

} // namespace sqlemu
