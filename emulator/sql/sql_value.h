#pragma once

#include "engine_interface/result_sink.h"
#include "sql/ast.h"

#include <optional>
#include <string>

namespace sqlemu {

// A value with the type a real server would give it, so results carry the
// right column types and assignments convert as T-SQL does.
struct TypedValue {
    Value value;
    SqlType type = SqlType::Int;
    int length = 0; // characters for text types, -1 for (max)

    static TypedValue null(SqlType type = SqlType::Int, int length = 0) { return {std::monostate{}, type, length}; }
    static TypedValue integer(std::int64_t n, SqlType type = SqlType::Int) { return {n, type, 0}; }
    static TypedValue text(std::string s, SqlType type, int length) { return {std::move(s), type, length}; }
};

bool isTextType(SqlType type);
bool isUnicodeType(SqlType type);
bool isIntegerType(SqlType type);

// "varchar", "nvarchar", "int" ..., as messages name types.
std::string typeName(SqlType type);

// The value as text, as CAST(x AS nvarchar) writes it; nullopt for NULL.
std::optional<std::string> valueAsText(const Value &value);

// Converts for an assignment or a comparison; throws SqlError 245 when a
// text is not a number of the target type, 220 on overflow.
TypedValue convertTo(const TypedValue &value, const DataType &type);
std::int64_t textToInteger(const std::string &text, SqlType fromType, SqlType toType);
// A text as datetime reads it: 'yyyy-mm-dd', 'yyyymmdd', either followed by
// 'hh:mm[:ss[.fff]]' after a blank or (ISO 8601) a T; SqlError 241 for
// anything else.
DateTimeValue textToDateTime(const std::string &text);

// Result-column metadata for a value of this type.
ColumnInfo columnFor(std::string name, SqlType type, int length);

} // namespace sqlemu
