#pragma once

// date, time, datetime2 and datetimeoffset on the wire (TDS 7.3 and
// later): days since 0001-01-01 in 3 bytes, the time of day in units of
// 10^-scale seconds in 3 to 5 bytes, a datetimeoffset's date and time in UTC
// followed by its offset in minutes. Values come and go as the canonical
// text of engine_interface/date_time_text.h.

#include "engine_interface/result_sink.h"
#include "tds/byte_io.h"

#include <cstdint>
#include <span>
#include <string>

namespace sqlemu::tds {

bool isDateTimeTypeId(std::uint8_t typeId);
// The bytes of a value of that type and scale (without its length byte).
std::size_t dateTimeValueLength(std::uint8_t typeId, int scale);
// Throws MalformedInput for a text that is no value of the type.
Bytes encodeDateTimeValue(std::uint8_t typeId, int scale, const std::string &text);
// Throws MalformedInput for bytes that are no value (a day past 9999-12-31).
std::string decodeDateTimeValue(std::uint8_t typeId, int scale, std::span<const std::uint8_t> bytes);
// How a client before TDS 7.3 gets such a column: as nvarchar of the
// canonical text, as a real server sends it.
ColumnInfo downLevelColumn(const ColumnInfo &column);

} // namespace sqlemu::tds
