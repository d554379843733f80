#include "tds/variant_codec.h"

#include "tds/collation.h"
#include "tds/text_codec.h"
#include "tds/type_codec.h"

#include <limits>

namespace sqlemu::tds {

namespace {

// The longest nvarchar of a variant, in bytes; SERVERPROPERTY's texts are
// nvarchar(128).
constexpr std::uint16_t kTextMaxLength = 256;

} // namespace

void writeVariantValue(ByteWriter &out, const Value &value)
{
    if (isNull(value)) {
        out.u32le(0);
        return;
    }
    ByteWriter data;
    ByteWriter properties;
    TypeInfo base;
    if (const auto *n = std::get_if<std::int64_t>(&value)) {
        const bool fitsInt
            = *n >= std::numeric_limits<std::int32_t>::min() && *n <= std::numeric_limits<std::int32_t>::max();
        base.id = fitsInt ? TypeId::Int4 : TypeId::Int8;
        base.maxLength = fitsInt ? 4 : 8;
        writeValue(data, base, value);
    } else if (std::holds_alternative<DateTimeValue>(value)) {
        base.id = TypeId::DateTime;
        base.maxLength = 8;
        writeValue(data, base, value);
    } else {
        const auto *text = std::get_if<std::string>(&value);
        const Bytes units = utf8ToUtf16le(text ? *text : std::string());
        base.id = TypeId::NVarChar;
        properties.bytes(serverCollation().bytes());
        properties.u16le(static_cast<std::uint16_t>(std::max<std::size_t>(kTextMaxLength, units.size())));
        data.bytes(units);
    }
    out.u32le(static_cast<std::uint32_t>(2 + properties.size() + data.size()));
    out.u8(base.id);
    out.u8(static_cast<std::uint8_t>(properties.size()));
    out.bytes(properties.data());
    out.bytes(data.data());
}

} // namespace sqlemu::tds
