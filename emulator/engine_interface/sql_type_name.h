#pragma once

#include "engine_interface/result_sink.h"

#include <string>

namespace sqlemu {

// The name SQL Server gives a type in its messages.
inline std::string sqlTypeName(SqlType type)
{
    switch (type) {
    case SqlType::Int:
        return "int";
    case SqlType::SmallInt:
        return "smallint";
    case SqlType::TinyInt:
        return "tinyint";
    case SqlType::BigInt:
        return "bigint";
    case SqlType::Bit:
        return "bit";
    case SqlType::NVarChar:
        return "nvarchar";
    case SqlType::VarChar:
        return "varchar";
    case SqlType::NChar:
        return "nchar";
    case SqlType::Char:
        return "char";
    case SqlType::DateTime:
        return "datetime";
    case SqlType::VarBinary:
        return "varbinary";
    case SqlType::UniqueIdentifier:
        return "uniqueidentifier";
    case SqlType::Decimal:
        return "numeric";
    case SqlType::Real:
        return "real";
    case SqlType::SqlVariant:
        return "sql_variant";
    case SqlType::Date:
        return "date";
    case SqlType::Time:
        return "time";
    case SqlType::DateTime2:
        return "datetime2";
    case SqlType::DateTimeOffset:
        return "datetimeoffset";
    }
    return "sql_variant";
}

} // namespace sqlemu
