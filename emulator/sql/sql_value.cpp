#include "sql/sql_value.h"

#include "engine_interface/sql_type_name.h"
#include "sql/code_page.h"
#include "sql/date_time_values.h"
#include "sql/sql_error.h"
#include "storage/server_clock.h"
#include "storage/utf8.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>

namespace sqlemu {

bool isTextType(SqlType type)
{
    return type == SqlType::VarChar || type == SqlType::NVarChar || type == SqlType::Char || type == SqlType::NChar;
}

bool isUnicodeType(SqlType type)
{
    return type == SqlType::NVarChar || type == SqlType::NChar;
}

bool isIntegerType(SqlType type)
{
    return type == SqlType::Int || type == SqlType::SmallInt || type == SqlType::TinyInt || type == SqlType::BigInt
        || type == SqlType::Bit;
}

std::string typeName(SqlType type)
{
    return sqlTypeName(type);
}

std::optional<std::string> valueAsText(const Value &value)
{
    if (const auto *s = std::get_if<std::string>(&value))
        return *s;
    if (const auto *n = std::get_if<std::int64_t>(&value))
        return std::to_string(*n);
    if (const auto *b = std::get_if<Bytes>(&value)) {
        static const char kHex[] = "0123456789ABCDEF";
        std::string out = "0x";
        for (auto byte : *b) {
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 15]);
        }
        return out;
    }
    return std::nullopt;
}

std::int64_t textToInteger(const std::string &text, SqlType fromType, SqlType toType)
{
    std::size_t i = 0, end = text.size();
    while (i < end && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    while (end > i && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    bool negative = false;
    if (i < end && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    if (i == end)
        return 0; // '' and ' ' convert to 0 on a real server
    std::uint64_t n = 0;
    bool overflow = false;
    for (std::size_t k = i; k < end; ++k) {
        const char c = text[k];
        if (c < '0' || c > '9')
            throw errors::conversionFailed(typeName(fromType), text, typeName(toType));
        if (n > (std::numeric_limits<std::uint64_t>::max() - 9) / 10)
            overflow = true;
        else
            n = n * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (overflow || n > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        throw errors::conversionOverflowedInt(typeName(fromType), text);
    return negative ? -static_cast<std::int64_t>(n) : static_cast<std::int64_t>(n);
}

DateTimeValue textToDateTime(const std::string &given)
{
    std::string text = given;
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    text.erase(0, std::min(text.find_first_not_of(" \t"), text.size()));
    // The unseparated date form: yyyymmdd.
    std::size_t dateEnd = text.find_first_of(" T");
    std::string date = text.substr(0, dateEnd);
    if (date.size() == 8 && date.find_first_not_of("0123456789") == std::string::npos)
        date = date.substr(0, 4) + "-" + date.substr(4, 2) + "-" + date.substr(6, 2);
    std::string time = dateEnd == std::string::npos ? "" : text.substr(dateEnd + 1);
    if (dateEnd != std::string::npos && text[dateEnd] == 'T' && time.empty())
        throw errors::dateTimeConversionFailed();
    while (!time.empty() && time.front() == ' ' && text[dateEnd] == ' ')
        time.erase(0, 1);
    if (time.empty())
        time = "00:00";
    int h = 0, mi = 0, sec = 0, consumed = 0;
    std::string fraction;
    if (std::sscanf(time.c_str(), "%2d:%2d%n", &h, &mi, &consumed) != 2)
        throw errors::dateTimeConversionFailed();
    std::size_t p = static_cast<std::size_t>(consumed);
    if (p < time.size() && time[p] == ':') {
        if (std::sscanf(time.c_str() + p, ":%2d%n", &sec, &consumed) != 1)
            throw errors::dateTimeConversionFailed();
        p += static_cast<std::size_t>(consumed);
        if (p < time.size() && time[p] == '.') {
            fraction = time.substr(p + 1);
            p = time.size();
            if (fraction.empty() || fraction.size() > 3
                || fraction.find_first_not_of("0123456789") != std::string::npos)
                throw errors::dateTimeConversionFailed();
        }
    }
    if (p != time.size() || date.size() != 10)
        throw errors::dateTimeConversionFailed();
    fraction.resize(3, '0');
    char canonical[48];
    std::snprintf(canonical, sizeof canonical, "%s %02d:%02d:%02d.%s", date.c_str(), h, mi, sec, fraction.c_str());
    const auto value = parseDateTime(canonical);
    if (!value)
        throw errors::dateTimeConversionFailed();
    return *value;
}

namespace {

void checkRange(std::int64_t n, SqlType type)
{
    std::int64_t low = std::numeric_limits<std::int64_t>::min(), high = std::numeric_limits<std::int64_t>::max();
    switch (type) {
    case SqlType::Int:
        low = INT32_MIN;
        high = INT32_MAX;
        break;
    case SqlType::SmallInt:
        low = INT16_MIN;
        high = INT16_MAX;
        break;
    case SqlType::TinyInt:
        low = 0;
        high = 255;
        break;
    default:
        break;
    }
    if (n < low || n > high)
        throw errors::arithmeticOverflowValue(typeName(type), n);
}

std::string truncateCharacters(const std::string &text, int length)
{
    if (length < 0)
        return text;
    std::u32string chars = decodeUtf8(text);
    if (chars.size() <= static_cast<std::size_t>(length))
        return text;
    chars.resize(static_cast<std::size_t>(length));
    return encodeUtf8(chars);
}

std::string padCharacters(const std::string &text, int length)
{
    const std::size_t count = utf8Length(text);
    if (length < 0 || count >= static_cast<std::size_t>(length))
        return text;
    return text + std::string(static_cast<std::size_t>(length) - count, ' ');
}

} // namespace

TypedValue convertTo(const TypedValue &value, const DataType &type)
{
    if (isNull(value.value))
        return TypedValue::null(type.type, type.length);
    if (isTextType(type.type)) {
        auto text = valueAsText(value.value);
        if (!text)
            throw errors::conversionNotAllowed(typeName(value.type), typeName(type.type));
        std::string converted
            = truncateCharacters(isUnicodeType(type.type) ? *text : toServerCodePage(*text), type.length);
        if (type.type == SqlType::Char || type.type == SqlType::NChar)
            converted = padCharacters(converted, type.length);
        return TypedValue::text(std::move(converted), type.type, type.length);
    }
    if (isIntegerType(type.type)) {
        std::int64_t n = 0;
        if (const auto *i = std::get_if<std::int64_t>(&value.value))
            n = *i;
        else if (const auto *s = std::get_if<std::string>(&value.value))
            n = textToInteger(*s, value.type, type.type);
        else
            throw errors::conversionNotAllowed(typeName(value.type), typeName(type.type));
        if (type.type == SqlType::Bit)
            n = n != 0;
        checkRange(n, type.type);
        return TypedValue::integer(n, type.type);
    }
    if (isDateTimeKind(type.type))
        return convertToDateTimeKind(value, type);
    if (type.type == SqlType::DateTime && isDateTimeKind(value.type))
        return dateTimeKindToDateTime(value);
    if (type.type == SqlType::DateTime)
        if (const auto *s = std::get_if<std::string>(&value.value))
            return TypedValue{textToDateTime(*s), SqlType::DateTime, 0};
    if (type.type == value.type)
        return TypedValue{value.value, type.type, type.length};
    throw errors::conversionNotAllowed(typeName(value.type), typeName(type.type));
}

ColumnInfo columnFor(std::string name, SqlType type, int length)
{
    ColumnInfo column;
    column.name = std::move(name);
    column.type = type;
    column.maxLength = length;
    column.nullable = true;
    if (isDateTimeKind(type)) {
        column.scale = length;
        column.maxLength = 0;
    }
    return column;
}

} // namespace sqlemu
