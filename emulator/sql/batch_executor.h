#pragma once

#include "sql/ast.h"
#include "sql/parser.h"

#include <string_view>

namespace sqlemu {

struct ExecutionContext;
class SqlError;

// Runs a compiled batch statement by statement and reports to the context's
// sink what a real server sends: result sets, messages and one DONE per
// statement (none for DECLARE). Errors stop their statement, or the batch,
// as the error's scope says. A cancel propagates as Cancelled.
class BatchExecutor {
public:
    // doneKind: how this batch's own statements end (InProcedure inside a
    // procedure that a batch EXECUTEd).
    explicit BatchExecutor(ExecutionContext &context, DoneKind doneKind = DoneKind::Statement);

    // Compiles and runs; a compile error is reported and nothing runs.
    // Returns false when any error was reported.
    bool runText(std::string_view text, const ParserOptions &options);

private:
    struct AbortBatch {};

    void runGuarded(const Statement &statement);
    void execute(const Statement &statement);
    void reportError(const SqlError &error);
    void done(std::uint16_t curCmd, std::optional<std::uint64_t> rowCount = std::nullopt, bool error = false);

    void executeUse(const UseStatement &use);
    void executeDeclare(const DeclareStatement &declare);
    void executeSetVariable(const SetVariableStatement &set);
    void executeSetOption(const SetOptionStatement &set);
    void executeSelect(const SelectStatement &select);
    void executeProcedure(const ExecuteStatement &exec);
    void executeWaitfor(const WaitforStatement &waitfor);
    void executeTransaction(const TransactionStatement &statement);

    void sendInfo(ServerMessage message);

    ExecutionContext &m_context;
    DoneKind m_doneKind;
    int m_line = 1; // of the statement running now
    bool m_failed = false;
};

} // namespace sqlemu
