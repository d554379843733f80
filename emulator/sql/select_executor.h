#pragma once

#include "sql/ast.h"

#include <cstdint>

namespace sqlemu {

struct ExecutionContext;

// Runs a SELECT: its columns and rows to the context's sink, or, for
// SELECT @v = ..., into the variables. Returns the rows it produced (for
// DONE's count and @@ROWCOUNT); the caller reports DONE.
std::uint64_t runSelect(const SelectStatement &select, ExecutionContext &context);

} // namespace sqlemu
