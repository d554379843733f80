#pragma once

// sql_variant on the wire: each value carries its own base type, as
// SERVERPROPERTY's do (a text as nvarchar, a number as int, a date as
// datetime).

#include "engine_interface/result_sink.h"
#include "tds/byte_io.h"

#include <cstdint>

namespace sqlemu::tds {

// What TYPE_INFO says of a sql_variant column: its longest value in bytes.
constexpr std::uint32_t kVariantMaxLength = 8016;

// The value with its 4-byte length, base type, properties and data; a NULL
// is a length of 0.
void writeVariantValue(ByteWriter &out, const Value &value);

} // namespace sqlemu::tds
