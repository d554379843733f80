#pragma once

// TYPE_INFO and values on the wire: read for RPC parameters, written for
// COLMETADATA and ROW.

#include "engine_interface/result_sink.h"
#include "tds/byte_io.h"
#include "tds/collation.h"

#include <cstdint>

namespace sqlemu::tds {

namespace TypeId {
constexpr std::uint8_t Null = 0x1F;
constexpr std::uint8_t Int1 = 0x30;
constexpr std::uint8_t Bit = 0x32;
constexpr std::uint8_t Int2 = 0x34;
constexpr std::uint8_t Int4 = 0x38;
constexpr std::uint8_t DateTim4 = 0x3A;
constexpr std::uint8_t Flt4 = 0x3B;
constexpr std::uint8_t Money = 0x3C;
constexpr std::uint8_t DateTime = 0x3D;
constexpr std::uint8_t Flt8 = 0x3E;
constexpr std::uint8_t Money4 = 0x7A;
constexpr std::uint8_t Int8 = 0x7F;
constexpr std::uint8_t Guid = 0x24;
constexpr std::uint8_t IntN = 0x26;
constexpr std::uint8_t Decimal = 0x37;
constexpr std::uint8_t Numeric = 0x3F;
constexpr std::uint8_t BitN = 0x68;
constexpr std::uint8_t DecimalN = 0x6A;
constexpr std::uint8_t NumericN = 0x6C;
constexpr std::uint8_t FltN = 0x6D;
constexpr std::uint8_t MoneyN = 0x6E;
constexpr std::uint8_t DateTimN = 0x6F;
constexpr std::uint8_t Date = 0x28;
constexpr std::uint8_t Time = 0x29;
constexpr std::uint8_t DateTime2 = 0x2A;
constexpr std::uint8_t DateTimeOffset = 0x2B;
constexpr std::uint8_t Char = 0x2F;
constexpr std::uint8_t VarChar = 0x27;
constexpr std::uint8_t Binary = 0x2D;
constexpr std::uint8_t VarBinary = 0x25;
constexpr std::uint8_t BigVarBinary = 0xA5;
constexpr std::uint8_t BigVarChar = 0xA7;
constexpr std::uint8_t BigBinary = 0xAD;
constexpr std::uint8_t BigChar = 0xAF;
constexpr std::uint8_t NVarChar = 0xE7;
constexpr std::uint8_t NChar = 0xEF;
constexpr std::uint8_t Text = 0x23;
constexpr std::uint8_t Image = 0x22;
constexpr std::uint8_t NText = 0x63;
constexpr std::uint8_t SsVariant = 0x62;
} // namespace TypeId

struct TypeInfo {
    std::uint8_t id = TypeId::NVarChar;
    std::uint32_t maxLength = 0; // bytes, as on the wire; 0xFFFF = (max)
    std::uint8_t precision = 0;
    std::uint8_t scale = 0;
    Collation collation;
    SqlType sqlType = SqlType::NVarChar;

    bool isPlp() const;
    int maxLengthInUnits() const; // characters for text types, bytes otherwise
};

// A parameter of a type this server does not know (at all, or not in the
// protocol version the client logged in with). The rest of the request
// cannot be read, but the stream itself is whole: the request is refused
// and the session goes on.
class UnknownParameterType : public std::runtime_error {
public:
    explicit UnknownParameterType(std::uint8_t typeId)
        : std::runtime_error("unknown parameter type")
        , m_typeId(typeId)
    {}
    std::uint8_t typeId() const { return m_typeId; }

private:
    std::uint8_t m_typeId;
};

// Throws UnknownParameterType for a type it does not know, MalformedInput
// for a known one described wrongly.
TypeInfo readTypeInfo(ByteReader &reader);
Value readValue(ByteReader &reader, const TypeInfo &type);

// How a result column travels; allowMax: TDS 7.2 and later know (max) types.
TypeInfo typeInfoForColumn(const ColumnInfo &column, bool allowMax);
void writeTypeInfo(ByteWriter &out, const TypeInfo &type);
void writeValue(ByteWriter &out, const TypeInfo &type, const Value &value);

} // namespace sqlemu::tds
