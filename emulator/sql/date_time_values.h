#pragma once

// The interpreter's side of date, time, datetime2 and datetimeoffset: their
// values are the canonical text of engine_interface/date_time_text.h, the
// scale in DataType::length.

#include "sql/sql_value.h"

namespace sqlemu {

bool isDateTimeKind(SqlType type);

// A text, a datetime or another of these types as one of them; SqlError 241
// for a text that is no date or time.
TypedValue convertToDateTimeKind(const TypedValue &value, const DataType &type);

// One of these types as a datetime (rounded to its milliseconds).
TypedValue dateTimeKindToDateTime(const TypedValue &value);

} // namespace sqlemu
