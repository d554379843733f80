#pragma once

#include "sql/sql_value.h"

#include <string_view>
#include <vector>

namespace sqlemu {

struct ExecutionContext;

// Checks at compile time that a built-in function exists and gets a number
// of arguments it takes; throws SqlError 195 or 174 otherwise.
void checkFunctionCall(std::string_view name, std::size_t argumentCount, int line);

// The type of the function's result, from the types of its arguments.
TypedValue functionResultType(std::string_view name, const std::vector<TypedValue> &argumentTypes);

TypedValue callFunction(std::string_view name, const std::vector<TypedValue> &arguments, ExecutionContext &context);

// Compile-time check of a @@name; throws SqlError 137 for an unknown one.
void checkSystemVariable(std::string_view name, int line);

// @@VERSION, @@SPID ...; throws SqlError 137 for an unknown one.
TypedValue systemVariable(std::string_view name, ExecutionContext &context);

} // namespace sqlemu
