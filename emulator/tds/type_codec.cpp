#include "tds/type_codec.h"

#include "tds/date_time_codec.h"
#include "tds/text_codec.h"
#include "tds/variant_codec.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace sqlemu::tds {

namespace {

constexpr std::uint64_t kPlpNull = ~0ULL;
constexpr std::uint64_t kPlpUnknownLength = ~0ULL - 1;
constexpr std::size_t kMaxPlpValue = std::size_t{64} * 1024 * 1024;
__extension__ typedef unsigned __int128 UInt128;

bool isCharType(std::uint8_t id)
{
    return id == TypeId::BigVarChar || id == TypeId::BigChar || id == TypeId::NVarChar || id == TypeId::NChar
        || id == TypeId::Text || id == TypeId::NText || id == TypeId::VarChar || id == TypeId::Char;
}

bool isUnicode(std::uint8_t id)
{
    return id == TypeId::NVarChar || id == TypeId::NChar || id == TypeId::NText;
}

bool isBinary(std::uint8_t id)
{
    return id == TypeId::BigVarBinary || id == TypeId::BigBinary || id == TypeId::Image || id == TypeId::VarBinary
        || id == TypeId::Binary;
}

Value decodeText(std::span<const std::uint8_t> data, const TypeInfo &type)
{
    if (isUnicode(type.id))
        return utf16leToUtf8(data);
    if (isBinary(type.id))
        return Bytes(data.begin(), data.end());
    return codePageToUtf8(data, type.collation.codePage());
}

std::int64_t readSigned(std::span<const std::uint8_t> data)
{
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < data.size(); ++i)
        v |= static_cast<std::uint64_t>(data[i]) << (8 * i);
    switch (data.size()) {
    case 1:
        return static_cast<std::uint8_t>(v); // tinyint is unsigned
    case 2:
        return static_cast<std::int16_t>(v);
    case 4:
        return static_cast<std::int32_t>(v);
    default:
        return static_cast<std::int64_t>(v);
    }
}

Value decodeFixed(std::span<const std::uint8_t> data, const TypeInfo &type)
{
    switch (type.id) {
    case TypeId::Int1:
    case TypeId::Int2:
    case TypeId::Int4:
    case TypeId::Int8:
    case TypeId::IntN:
        return readSigned(data);
    case TypeId::Bit:
    case TypeId::BitN:
        return static_cast<std::int64_t>(data[0] != 0);
    case TypeId::DateTime:
    case TypeId::DateTimN:
    case TypeId::DateTim4: {
        if (data.size() == 4) {
            std::int64_t days = data[0] | (data[1] << 8);
            std::int64_t minutes = data[2] | (data[3] << 8);
            return DateTimeValue{days * 86'400'000 + minutes * 60'000};
        }
        std::int64_t days = static_cast<std::int32_t>(readSigned(data.first(4)));
        std::uint32_t ticks = static_cast<std::uint32_t>(readSigned(data.subspan(4, 4)));
        return DateTimeValue{days * 86'400'000 + (static_cast<std::int64_t>(ticks) * 10 + 1) / 3};
    }
    case TypeId::Flt4:
    case TypeId::Flt8:
    case TypeId::FltN: {
        double d = 0;
        if (data.size() == 4) {
            float f;
            std::memcpy(&f, data.data(), 4);
            d = f;
        } else {
            std::memcpy(&d, data.data(), 8);
        }
        return std::to_string(d);
    }
    case TypeId::Money:
    case TypeId::Money4:
    case TypeId::MoneyN: {
        std::int64_t raw = data.size() == 4
            ? static_cast<std::int32_t>(readSigned(data))
            : static_cast<std::int64_t>((readSigned(data.first(4)) << 32)
                                        | static_cast<std::uint32_t>(readSigned(data.subspan(4, 4))));
        return raw; // in 1/10000 units
    }
    default:
        return Bytes(data.begin(), data.end());
    }
}

Value decodeDecimal(std::span<const std::uint8_t> data, const TypeInfo &type)
{
    // sign byte then a little-endian magnitude of up to 16 bytes
    bool positive = data[0] == 1;
    UInt128 magnitude = 0;
    for (std::size_t i = data.size() - 1; i >= 1; --i)
        magnitude = (magnitude << 8) | data[i];
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(magnitude % 10)));
        magnitude /= 10;
    } while (magnitude > 0);
    if (type.scale > 0) {
        while (digits.size() <= type.scale)
            digits.insert(digits.begin(), '0');
        digits.insert(digits.end() - type.scale, '.');
    }
    return (positive ? "" : "-") + digits;
}

SqlType sqlTypeFor(const TypeInfo &type)
{
    switch (type.id) {
    case TypeId::Int1:
        return SqlType::TinyInt;
    case TypeId::Int2:
        return SqlType::SmallInt;
    case TypeId::Int4:
        return SqlType::Int;
    case TypeId::Int8:
        return SqlType::BigInt;
    case TypeId::IntN:
        return type.maxLength == 1 ? SqlType::TinyInt
            : type.maxLength == 2  ? SqlType::SmallInt
            : type.maxLength == 8  ? SqlType::BigInt
                                   : SqlType::Int;
    case TypeId::Bit:
    case TypeId::BitN:
        return SqlType::Bit;
    case TypeId::DateTime:
    case TypeId::DateTimN:
    case TypeId::DateTim4:
        return SqlType::DateTime;
    case TypeId::Guid:
        return SqlType::UniqueIdentifier;
    case TypeId::BigVarChar:
    case TypeId::VarChar:
    case TypeId::Text:
        return SqlType::VarChar;
    case TypeId::BigChar:
    case TypeId::Char:
        return SqlType::Char;
    case TypeId::NChar:
        return SqlType::NChar;
    case TypeId::NVarChar:
    case TypeId::NText:
        return SqlType::NVarChar;
    case TypeId::Decimal:
    case TypeId::Numeric:
    case TypeId::DecimalN:
    case TypeId::NumericN:
    case TypeId::Money:
    case TypeId::Money4:
    case TypeId::MoneyN:
        return SqlType::Decimal;
    case TypeId::BigVarBinary:
    case TypeId::BigBinary:
    case TypeId::Image:
    case TypeId::VarBinary:
    case TypeId::Binary:
        return SqlType::VarBinary;
    case TypeId::Date:
        return SqlType::Date;
    case TypeId::Time:
        return SqlType::Time;
    case TypeId::DateTime2:
        return SqlType::DateTime2;
    case TypeId::DateTimeOffset:
        return SqlType::DateTimeOffset;
    default:
        return SqlType::VarChar; // floats and dates travel as text
    }
}

// The lengths each nullable fixed-size type may have, in TYPE_INFO and in a
// value alike.
bool validVariantLength(std::uint8_t id, std::uint32_t length)
{
    switch (id) {
    case TypeId::IntN:
        return length == 1 || length == 2 || length == 4 || length == 8;
    case TypeId::BitN:
        return length == 1;
    case TypeId::FltN:
    case TypeId::MoneyN:
    case TypeId::DateTimN:
        return length == 4 || length == 8;
    case TypeId::Guid:
        return length == 16;
    default:
        return true;
    }
}

Bytes readPlp(ByteReader &reader, bool &isNull)
{
    std::uint64_t total = reader.u64le();
    isNull = total == kPlpNull;
    Bytes data;
    if (isNull)
        return data;
    if (total != kPlpUnknownLength && total > kMaxPlpValue)
        throw MalformedInput("PLP value too large");
    while (true) {
        std::uint32_t chunk = reader.u32le();
        if (chunk == 0)
            break;
        if (data.size() + chunk > kMaxPlpValue)
            throw MalformedInput("PLP value too large");
        auto bytes = reader.bytes(chunk);
        data.insert(data.end(), bytes.begin(), bytes.end());
    }
    return data;
}

} // namespace

bool TypeInfo::isPlp() const
{
    return maxLength == 0xFFFF && (id == TypeId::NVarChar || id == TypeId::BigVarChar || id == TypeId::BigVarBinary);
}

int TypeInfo::maxLengthInUnits() const
{
    if (isPlp())
        return -1;
    return isUnicode(id) ? static_cast<int>(maxLength / 2) : static_cast<int>(maxLength);
}

TypeInfo readTypeInfo(ByteReader &reader)
{
    TypeInfo type;
    type.id = reader.u8();
    switch (type.id) {
    case TypeId::Null:
        type.maxLength = 0;
        break;
    case TypeId::Int1:
    case TypeId::Bit:
        type.maxLength = 1;
        break;
    case TypeId::Int2:
        type.maxLength = 2;
        break;
    case TypeId::Int4:
    case TypeId::DateTim4:
    case TypeId::Flt4:
    case TypeId::Money4:
        type.maxLength = 4;
        break;
    case TypeId::Int8:
    case TypeId::Money:
    case TypeId::DateTime:
    case TypeId::Flt8:
        type.maxLength = 8;
        break;
    case TypeId::Guid:
    case TypeId::IntN:
    case TypeId::BitN:
    case TypeId::FltN:
    case TypeId::MoneyN:
    case TypeId::DateTimN:
    case TypeId::VarBinary:
    case TypeId::Binary:
    case TypeId::VarChar:
    case TypeId::Char:
        type.maxLength = reader.u8();
        break;
    case TypeId::Decimal:
    case TypeId::Numeric:
    case TypeId::DecimalN:
    case TypeId::NumericN:
        type.maxLength = reader.u8();
        type.precision = reader.u8();
        type.scale = reader.u8();
        if (type.maxLength < 1 || type.maxLength > 17 || type.scale > 38)
            throw MalformedInput("bad decimal length");
        break;
    case TypeId::BigVarBinary:
    case TypeId::BigBinary:
    case TypeId::BigVarChar:
    case TypeId::BigChar:
    case TypeId::NVarChar:
    case TypeId::NChar:
        type.maxLength = reader.u16le();
        break;
    case TypeId::Text:
    case TypeId::NText:
    case TypeId::Image:
        type.maxLength = reader.u32le();
        break;
    case TypeId::Date:
        type.maxLength = static_cast<std::uint32_t>(dateTimeValueLength(type.id, 0));
        break;
    case TypeId::Time:
    case TypeId::DateTime2:
    case TypeId::DateTimeOffset:
        type.scale = reader.u8();
        if (type.scale > 7)
            throw MalformedInput("a time scale beyond 7");
        type.maxLength = static_cast<std::uint32_t>(dateTimeValueLength(type.id, type.scale));
        break;
    default:
        throw UnknownParameterType(type.id);
    }
    if (isCharType(type.id) && type.id != TypeId::VarChar && type.id != TypeId::Char) {
        auto bytes = reader.bytes(5);
        type.collation = Collation::fromBytes(std::span<const std::uint8_t, 5>(bytes.data(), 5));
    }
    if (!validVariantLength(type.id, type.maxLength))
        throw MalformedInput("bad fixed length");
    type.sqlType = sqlTypeFor(type);
    return type;
}

Value readValue(ByteReader &reader, const TypeInfo &type)
{
    if (isDateTimeTypeId(type.id)) {
        const std::uint8_t length = reader.u8();
        if (length == 0)
            return std::monostate{};
        return decodeDateTimeValue(type.id, type.scale, reader.bytes(length));
    }
    switch (type.id) {
    case TypeId::Null:
        return std::monostate{};
    case TypeId::Int1:
    case TypeId::Bit:
    case TypeId::Int2:
    case TypeId::Int4:
    case TypeId::DateTim4:
    case TypeId::Flt4:
    case TypeId::Money4:
    case TypeId::Int8:
    case TypeId::Money:
    case TypeId::DateTime:
    case TypeId::Flt8:
        return decodeFixed(reader.bytes(type.maxLength), type);
    case TypeId::IntN:
    case TypeId::BitN:
    case TypeId::FltN:
    case TypeId::MoneyN:
    case TypeId::DateTimN:
    case TypeId::Guid: {
        std::uint8_t length = reader.u8();
        if (length == 0)
            return std::monostate{};
        if (!validVariantLength(type.id, length) || (type.id == TypeId::IntN && length != type.maxLength))
            throw MalformedInput("value length differs from its type");
        auto data = reader.bytes(length);
        if (type.id == TypeId::Guid)
            return Bytes(data.begin(), data.end());
        return decodeFixed(data, type);
    }
    case TypeId::Decimal:
    case TypeId::Numeric:
    case TypeId::DecimalN:
    case TypeId::NumericN: {
        std::uint8_t length = reader.u8();
        if (length == 0)
            return std::monostate{};
        if (length < 2 || length > type.maxLength)
            throw MalformedInput("bad decimal value length");
        return decodeDecimal(reader.bytes(length), type);
    }
    case TypeId::VarChar:
    case TypeId::Char:
    case TypeId::VarBinary:
    case TypeId::Binary: {
        std::uint8_t length = reader.u8();
        if (length == 0xFF)
            return std::monostate{};
        return decodeText(reader.bytes(length), type);
    }
    case TypeId::Text:
    case TypeId::NText:
    case TypeId::Image: {
        std::uint32_t length = reader.u32le();
        if (length == 0xFFFFFFFF)
            return std::monostate{};
        return decodeText(reader.bytes(length), type);
    }
    default:
        break;
    }
    // USHORT-length types, or PLP for (max)
    if (type.isPlp()) {
        bool null = false;
        Bytes data = readPlp(reader, null);
        if (null)
            return std::monostate{};
        return decodeText(data, type);
    }
    std::uint16_t length = reader.u16le();
    if (length == 0xFFFF)
        return std::monostate{};
    return decodeText(reader.bytes(length), type);
}

TypeInfo typeInfoForColumn(const ColumnInfo &column, bool allowMax)
{
    TypeInfo type;
    type.sqlType = column.type;
    auto textLength = [&](int bytesPerChar) -> std::uint32_t {
        if (column.maxLength <= 0 || column.maxLength * bytesPerChar > 8000)
            return allowMax ? 0xFFFF : 8000;
        return static_cast<std::uint32_t>(column.maxLength * bytesPerChar);
    };
    switch (column.type) {
    case SqlType::Int:
        type.id = column.nullable ? TypeId::IntN : TypeId::Int4;
        type.maxLength = 4;
        break;
    case SqlType::SmallInt:
        type.id = column.nullable ? TypeId::IntN : TypeId::Int2;
        type.maxLength = 2;
        break;
    case SqlType::TinyInt:
        type.id = column.nullable ? TypeId::IntN : TypeId::Int1;
        type.maxLength = 1;
        break;
    case SqlType::BigInt:
        type.id = column.nullable ? TypeId::IntN : TypeId::Int8;
        type.maxLength = 8;
        break;
    case SqlType::Bit:
        type.id = column.nullable ? TypeId::BitN : TypeId::Bit;
        type.maxLength = 1;
        break;
    case SqlType::DateTime:
        type.id = column.nullable ? TypeId::DateTimN : TypeId::DateTime;
        type.maxLength = 8;
        break;
    case SqlType::UniqueIdentifier:
        type.id = TypeId::Guid;
        type.maxLength = 16;
        break;
    case SqlType::NVarChar:
        type.id = TypeId::NVarChar;
        type.maxLength = textLength(2);
        break;
    case SqlType::NChar:
        type.id = TypeId::NChar;
        type.maxLength = std::min<std::uint32_t>(textLength(2), 8000);
        break;
    case SqlType::VarChar:
        type.id = TypeId::BigVarChar;
        type.maxLength = textLength(1);
        break;
    case SqlType::Char:
        type.id = TypeId::BigChar;
        type.maxLength = std::min<std::uint32_t>(textLength(1), 8000);
        break;
    case SqlType::VarBinary:
        type.id = TypeId::BigVarBinary;
        type.maxLength = textLength(1);
        break;
    case SqlType::Real:
        type.id = column.nullable ? TypeId::FltN : TypeId::Flt4;
        type.maxLength = 4;
        break;
    case SqlType::SqlVariant:
        type.id = TypeId::SsVariant;
        type.maxLength = kVariantMaxLength;
        break;
    case SqlType::Date:
    case SqlType::Time:
    case SqlType::DateTime2:
    case SqlType::DateTimeOffset:
        type.id = column.type == SqlType::Date  ? TypeId::Date
            : column.type == SqlType::Time      ? TypeId::Time
            : column.type == SqlType::DateTime2 ? TypeId::DateTime2
                                                : TypeId::DateTimeOffset;
        type.scale = static_cast<std::uint8_t>(std::clamp(column.scale, 0, 7));
        type.maxLength = static_cast<std::uint32_t>(dateTimeValueLength(type.id, type.scale));
        break;
    case SqlType::Decimal: {
        type.id = TypeId::DecimalN;
        type.precision = static_cast<std::uint8_t>(std::clamp(column.precision, 1, 38));
        type.scale = static_cast<std::uint8_t>(std::clamp(column.scale, 0, static_cast<int>(type.precision)));
        type.maxLength = type.precision <= 9 ? 5 : type.precision <= 19 ? 9 : type.precision <= 28 ? 13 : 17;
        break;
    }
    }
    type.collation = serverCollation();
    return type;
}

void writeTypeInfo(ByteWriter &out, const TypeInfo &type)
{
    out.u8(type.id);
    switch (type.id) {
    case TypeId::Int1:
    case TypeId::Int2:
    case TypeId::Int4:
    case TypeId::Int8:
    case TypeId::Bit:
    case TypeId::DateTime:
    case TypeId::Flt4:
        return;
    case TypeId::IntN:
    case TypeId::BitN:
    case TypeId::DateTimN:
    case TypeId::FltN:
    case TypeId::Guid:
        out.u8(static_cast<std::uint8_t>(type.maxLength));
        return;
    case TypeId::DecimalN:
        out.u8(static_cast<std::uint8_t>(type.maxLength));
        out.u8(type.precision);
        out.u8(type.scale);
        return;
    case TypeId::SsVariant:
        out.u32le(type.maxLength);
        return;
    case TypeId::Date:
        return;
    case TypeId::Time:
    case TypeId::DateTime2:
    case TypeId::DateTimeOffset:
        out.u8(type.scale);
        return;
    default:
        out.u16le(static_cast<std::uint16_t>(type.maxLength));
        if (isCharType(type.id)) {
            auto c = type.collation.bytes();
            out.bytes(c);
        }
    }
}

namespace {

std::int64_t asInteger(const Value &value)
{
    if (auto i = std::get_if<std::int64_t>(&value))
        return *i;
    if (auto s = std::get_if<std::string>(&value)) {
        std::int64_t v = 0;
        std::from_chars(s->data(), s->data() + s->size(), v);
        return v;
    }
    return 0;
}

Bytes textBytes(const TypeInfo &type, const Value &value)
{
    std::string text;
    if (auto s = std::get_if<std::string>(&value))
        text = *s;
    else if (auto i = std::get_if<std::int64_t>(&value))
        text = std::to_string(*i);
    else if (auto b = std::get_if<Bytes>(&value))
        return *b;
    Bytes data = isUnicode(type.id) ? utf8ToUtf16le(text)
        : isBinary(type.id)         ? Bytes(text.begin(), text.end())
                                    : utf8ToCodePage(text, type.collation.codePage());
    if ((type.id == TypeId::NChar || type.id == TypeId::BigChar) && data.size() < type.maxLength) {
        // char(n) is blank-padded to its length
        while (data.size() < type.maxLength) {
            data.push_back(' ');
            if (isUnicode(type.id))
                data.push_back(0);
        }
    }
    if (!type.isPlp() && data.size() > type.maxLength)
        data.resize(type.maxLength);
    return data;
}

void writeDecimal(ByteWriter &out, const TypeInfo &type, const Value &value)
{
    // the engine gives decimals as text ("12.50") or as whole numbers
    std::string text
        = std::holds_alternative<std::string>(value) ? std::get<std::string>(value) : std::to_string(asInteger(value));
    bool negative = !text.empty() && text[0] == '-';
    UInt128 magnitude = 0;
    int fraction = -1;
    for (char c : text) {
        if (c == '.') {
            fraction = 0;
        } else if (c >= '0' && c <= '9') {
            if (fraction >= type.scale)
                continue;
            magnitude = magnitude * 10 + (c - '0');
            if (fraction >= 0)
                ++fraction;
        }
    }
    for (int f = std::max(fraction, 0); f < type.scale; ++f)
        magnitude *= 10;
    out.u8(static_cast<std::uint8_t>(type.maxLength));
    out.u8(negative ? 0 : 1);
    for (std::uint32_t i = 1; i < type.maxLength; ++i) {
        out.u8(static_cast<std::uint8_t>(magnitude & 0xFF));
        magnitude >>= 8;
    }
}

void writeFixed(ByteWriter &out, const TypeInfo &type, const Value &value)
{
    std::int64_t v = asInteger(value);
    switch (type.maxLength) {
    case 1:
        out.u8(static_cast<std::uint8_t>(type.id == TypeId::Bit || type.id == TypeId::BitN ? v != 0 : v));
        break;
    case 2:
        out.u16le(static_cast<std::uint16_t>(v));
        break;
    case 4:
        out.u32le(static_cast<std::uint32_t>(v));
        break;
    default:
        out.u64le(static_cast<std::uint64_t>(v));
        break;
    }
}

void writeReal(ByteWriter &out, const Value &value)
{
    float number = 0;
    if (const auto *text = std::get_if<std::string>(&value))
        std::from_chars(text->data(), text->data() + text->size(), number);
    else
        number = static_cast<float>(asInteger(value));
    out.u32le(std::bit_cast<std::uint32_t>(number));
}

void writeDateTime(ByteWriter &out, const Value &value)
{
    std::int64_t ms = 0;
    if (auto d = std::get_if<DateTimeValue>(&value))
        ms = d->millisecondsSince1900;
    else
        ms = asInteger(value);
    std::int64_t days = ms >= 0 ? ms / 86'400'000 : -((-ms + 86'399'999) / 86'400'000);
    std::int64_t rest = ms - days * 86'400'000;
    out.u32le(static_cast<std::uint32_t>(static_cast<std::int32_t>(days)));
    out.u32le(static_cast<std::uint32_t>((rest * 3 + 5) / 10));
}

} // namespace

void writeValue(ByteWriter &out, const TypeInfo &type, const Value &value)
{
    const bool null = isNull(value);
    switch (type.id) {
    case TypeId::Int1:
    case TypeId::Int2:
    case TypeId::Int4:
    case TypeId::Int8:
    case TypeId::Bit:
        writeFixed(out, type, value); // NOT NULL columns: the engine never gives NULL here
        return;
    case TypeId::DateTime:
        writeDateTime(out, value);
        return;
    case TypeId::IntN:
    case TypeId::BitN:
        if (null) {
            out.u8(0);
            return;
        }
        out.u8(static_cast<std::uint8_t>(type.maxLength));
        writeFixed(out, type, value);
        return;
    case TypeId::DateTimN:
        if (null) {
            out.u8(0);
            return;
        }
        out.u8(8);
        writeDateTime(out, value);
        return;
    case TypeId::Flt4:
        writeReal(out, value);
        return;
    case TypeId::FltN:
        if (null) {
            out.u8(0);
            return;
        }
        out.u8(4);
        writeReal(out, value);
        return;
    case TypeId::Guid: {
        const Bytes *b = std::get_if<Bytes>(&value);
        if (null || !b || b->size() != 16) {
            out.u8(0);
            return;
        }
        out.u8(16);
        out.bytes(*b);
        return;
    }
    case TypeId::DecimalN:
        if (null) {
            out.u8(0);
            return;
        }
        writeDecimal(out, type, value);
        return;
    case TypeId::SsVariant:
        writeVariantValue(out, value);
        return;
    case TypeId::Date:
    case TypeId::Time:
    case TypeId::DateTime2:
    case TypeId::DateTimeOffset: {
        const auto *text = std::get_if<std::string>(&value);
        if (null || !text) {
            out.u8(0);
            return;
        }
        const Bytes bytes = encodeDateTimeValue(type.id, type.scale, *text);
        out.u8(static_cast<std::uint8_t>(bytes.size()));
        out.bytes(bytes);
        return;
    }
    default:
        break;
    }
    if (type.isPlp()) {
        if (null) {
            out.u64le(kPlpNull);
            return;
        }
        Bytes data = textBytes(type, value);
        out.u64le(data.size());
        if (!data.empty()) {
            out.u32le(static_cast<std::uint32_t>(data.size()));
            out.bytes(data);
        }
        out.u32le(0);
        return;
    }
    if (null) {
        out.u16le(0xFFFF);
        return;
    }
    Bytes data = textBytes(type, value);
    out.u16le(static_cast<std::uint16_t>(data.size()));
    out.bytes(data);
}

} // namespace sqlemu::tds
