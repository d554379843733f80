#include "sql/database_statements.h"

#include "sql/execution_context.h"
#include "sql/expression_evaluator.h"
#include "sql/sql_error.h"
#include "storage/catalogue.h"

namespace sqlemu {

namespace {

std::string resolveName(const NameOrVariable &name, ExecutionContext &context)
{
    if (!name.isVariable)
        return name.text;
    Variable *v = context.variables.find(name.text);
    if (!v)
        throw errors::mustDeclareVariable(name.text);
    return valueAsText(v->value.value).value_or("");
}

bool hasOption(const std::vector<StatementOption> &options, std::string_view name)
{
    for (const auto &o : options)
        if (o.name == name)
            return true;
    return false;
}

SqlError terminating(SqlError error, const std::string &statement)
{
    auto messages = error.messages();
    messages.push_back(errors::message(3013, 16, 1, statement + " is terminating abnormally."));
    return SqlError(std::move(messages), ErrorScope::Statement);
}

} // namespace

void runBackup(const BackupStatement &statement, ExecutionContext &context, DoneKind doneKind)
{
    const std::string kind = statement.log ? "BACKUP LOG" : "BACKUP DATABASE";
    const std::string name = resolveName(statement.database, context);
    if (!context.catalogue.find(name))
        throw terminating(errors::unknownDatabase(name, context.identity.oldUnknownDatabaseText, statement.log ? 10 : 11),
                          kind);
    if (statement.log && statement.disks.empty()
        && (hasOption(statement.options, "TRUNCATE_ONLY") || hasOption(statement.options, "NO_LOG"))) {
        // SQL Server 2005 empties the log without a message; the parser has
        // refused the option already when a newer server is played.
        context.sink.statementDone({0, std::nullopt, false, doneKind});
        return;
    }
    throw errors::notSupportedYet(kind);
}

void runRestore(const RestoreStatement &, ExecutionContext &, DoneKind)
{
    throw errors::notSupportedYet("RESTORE");
}

void runCreateDatabase(const CreateDatabaseStatement &, ExecutionContext &, DoneKind)
{
    throw errors::notSupportedYet("CREATE DATABASE");
}

void runAlterDatabase(const AlterDatabaseStatement &, ExecutionContext &, DoneKind)
{
    throw errors::notSupportedYet("ALTER DATABASE");
}

void runDropDatabase(const DropDatabaseStatement &, ExecutionContext &, DoneKind)
{
    throw errors::notSupportedYet("DROP DATABASE");
}

void runDbcc(const DbccStatement &statement, ExecutionContext &, DoneKind)
{
    throw errors::notSupportedYet("DBCC " + statement.command);
}

void runCheckpoint(ExecutionContext &context, DoneKind doneKind)
{
    context.sink.statementDone({0, std::nullopt, false, doneKind});
}

} // namespace sqlemu
