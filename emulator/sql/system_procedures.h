#pragma once

#include "sql/sql_value.h"

#include <string>
#include <vector>

namespace sqlemu {

struct ExecutionContext;
struct Variable;

struct ProcedureArgument {
    std::string name; // "@rootkey", empty when passed by position
    TypedValue value;
    bool isDefault = false;
    Variable *output = nullptr; // set when passed as OUTPUT
};

// How a procedure's own statements end: InProcedure when a batch EXECUTEs
// it, Statement when it is the RPC itself.
struct ProcedureCall {
    std::string writtenName; // as the caller spelt it, for 2812
    std::string name; // the procedure's own name, without qualifiers
    std::vector<ProcedureArgument> arguments;
    DoneKind innerDone = DoneKind::InProcedure;
};

// Runs one of the procedures the emulator knows (xp_regread, sp_executesql
// and, with test statements enabled, sqlemu_test_progress) and returns its
// return status. Throws SqlError 2812 for any other name.
int runProcedure(const ProcedureCall &call, ExecutionContext &context);

} // namespace sqlemu
