#include "sql/batch_executor.h"

#include "sql/database_statements.h"
#include "sql/execution_context.h"
#include "sql/expression_evaluator.h"
#include "sql/select_executor.h"
#include "sql/session_registry.h"
#include "sql/sql_error.h"
#include "sql/system_procedures.h"
#include "sql/system_tables.h"
#include "sql/token.h"
#include "sql/transactions.h"
#include "storage/catalogue.h"
#include "storage/collation.h"
#include "storage/storage_messages.h"

#include <cctype>
#include <cstdio>

namespace sqlemu {

namespace {

constexpr std::uint16_t kCmdSelect = 0xC1;
constexpr std::uint16_t kCmdExecute = 0xE0;

template <class... Ts> struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts> Overloaded(Ts...) -> Overloaded<Ts...>;

// 'hh:mm', 'hh:mm:ss' or 'hh:mm:ss.mmm', below 24 hours.
std::optional<std::chrono::milliseconds> parseDelay(const std::string &text)
{
    int h = 0, m = 0, s = 0, consumed = 0;
    char fraction[8] = {};
    const char *p = text.c_str();
    if (std::sscanf(p, "%2d:%2d%n", &h, &m, &consumed) != 2)
        return std::nullopt;
    p += consumed;
    int ms = 0;
    if (*p == ':') {
        if (std::sscanf(p, ":%2d%n", &s, &consumed) != 1)
            return std::nullopt;
        p += consumed;
        if (*p == '.') {
            if (std::sscanf(p, ".%3[0-9]%n", fraction, &consumed) != 1)
                return std::nullopt;
            p += consumed;
            std::string f(fraction);
            f.resize(3, '0');
            ms = std::stoi(f);
        }
    }
    while (*p == ' ')
        ++p;
    if (*p != '\0' || h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59)
        return std::nullopt;
    return std::chrono::milliseconds(((h * 60LL + m) * 60 + s) * 1000 + ms);
}

} // namespace

BatchExecutor::BatchExecutor(ExecutionContext &context, DoneKind doneKind)
    : m_context(context)
    , m_doneKind(doneKind)
{}

bool BatchExecutor::runText(std::string_view text, const ParserOptions &options)
{
    // Compiled whole before any of it runs. A short batch keeps its trees; a
    // long one is parsed again statement by statement as it runs, so that it
    // holds one statement's tree at a time, not some sixty times its size.
    constexpr std::size_t kLongBatch = std::size_t{64} * 1024;
    Batch batch;
    try {
        if (text.size() <= kLongBatch) {
            batch = parseBatch(text, options);
        } else {
            StatementStream compile(text, options);
            while (compile.next()) {}
        }
    } catch (const SqlError &e) {
        reportError(e);
        done(0, std::nullopt, true);
        return false;
    }
    try {
        if (text.size() <= kLongBatch) {
            for (const auto &statement : batch.statements)
                runGuarded(*statement);
        } else {
            StatementStream statements(text, options);
            while (auto statement = statements.next())
                runGuarded(*statement);
        }
    } catch (const AbortBatch &) {}
    return !m_failed;
}

void BatchExecutor::sendInfo(ServerMessage message)
{
    message.line = m_line;
    m_context.sink.message(message);
}

void BatchExecutor::runGuarded(const Statement &statement)
{
    m_line = statement.line;
    try {
        execute(statement);
        m_context.lastError = 0;
    } catch (SqlError &e) {
        // Runtime errors point at the statement that raised them.
        e.atLine(statement.line);
        reportError(e);
        done(0, std::nullopt, true);
        if (m_context.options.xactAbort) {
            // The error dooms the transaction, and the batch stops.
            abandonTransaction(m_context.session, m_context.sink);
            throw AbortBatch{};
        }
        if (e.scope() != ErrorScope::Statement)
            throw AbortBatch{};
    }
}

void BatchExecutor::reportError(const SqlError &error)
{
    m_failed = true;
    for (const auto &m : error.messages()) {
        m_context.sink.message(m);
        if (m.isError())
            m_context.lastError = m.number;
    }
}

void BatchExecutor::done(std::uint16_t curCmd, std::optional<std::uint64_t> rowCount, bool error)
{
    m_context.lastRowCount = static_cast<std::int64_t>(rowCount.value_or(0));
    StatementResult result;
    result.curCmd = curCmd;
    result.rowCount = m_context.options.noCount ? std::nullopt : rowCount;
    result.error = error;
    result.kind = m_doneKind;
    m_context.sink.statementDone(result);
}

namespace {

// sys.dm_exec_requests.command of a statement, as a real server names it;
// empty for those that only hold others (IF, BEGIN ... END).
const char *commandOf(const Statement &statement)
{
    return std::visit(Overloaded{
                          [](const UseStatement &) { return "USE"; },
                          [](const DeclareStatement &) { return "DECLARE"; },
                          [](const SetVariableStatement &) { return "SELECT"; },
                          [](const SetOptionStatement &) { return "SET OPTION ON"; },
                          [](const SelectStatement &) { return "SELECT"; },
                          [](const ExecuteStatement &) { return "EXECUTE"; },
                          [](const IfStatement &) { return ""; },
                          [](const BlockStatement &) { return ""; },
                          [](const WaitforStatement &) { return "WAITFOR"; },
                          [](const PrintStatement &) { return "PRINT"; },
                          [](const CheckpointStatement &) { return "CHECKPOINT"; },
                          [](const BackupStatement &s) { return s.log ? "BACKUP LOG" : "BACKUP DATABASE"; },
                          [](const RestoreStatement &s) {
                              using Kind = RestoreStatement::Kind;
                              switch (s.kind) {
                              case Kind::Database:
                                  return "RESTORE DATABASE";
                              case Kind::Log:
                                  return "RESTORE LOG";
                              case Kind::HeaderOnly:
                                  return "RESTORE HEADERONLY";
                              case Kind::FileListOnly:
                                  return "RESTORE FILELISTONLY";
                              case Kind::VerifyOnly:
                                  return "RESTORE VERIFYONLY";
                              case Kind::LabelOnly:
                                  return "RESTORE LABELONLY";
                              }
                              return "RESTORE";
                          },
                          [](const CreateDatabaseStatement &) { return "CREATE DATABASE"; },
                          [](const AlterDatabaseStatement &) { return "ALTER DATABASE"; },
                          [](const DropDatabaseStatement &) { return "DROP DATABASE"; },
                          [](const DbccStatement &) { return "DBCC"; },
                          [](const TransactionStatement &s) {
                              using Kind = TransactionStatement::Kind;
                              switch (s.kind) {
                              case Kind::Begin:
                                  return "BEGIN TRANSACTION";
                              case Kind::Commit:
                                  return "COMMIT TRANSACTION";
                              case Kind::Rollback:
                                  return "ROLLBACK TRANSACTION";
                              case Kind::Save:
                                  return "SAVE TRANSACTION";
                              }
                              return "";
                          },
                      },
                      statement.body);
}

} // namespace

void BatchExecutor::execute(const Statement &statement)
{
    if (m_context.sink.cancelled())
        throw Cancelled{};
    if (const std::string command = commandOf(statement); !command.empty())
        m_context.sessions.setCommand(m_context.session.spid, command, m_context.session.currentDatabase);
    std::visit(Overloaded{
                   [&](const UseStatement &s) { executeUse(s); },
                   [&](const DeclareStatement &s) { executeDeclare(s); },
                   [&](const SetVariableStatement &s) { executeSetVariable(s); },
                   [&](const SetOptionStatement &s) { executeSetOption(s); },
                   [&](const SelectStatement &s) { executeSelect(s); },
                   [&](const ExecuteStatement &s) { executeProcedure(s); },
                   [&](const IfStatement &s) {
                       ExpressionEvaluator evaluator(m_context);
                       if (evaluator.test(*s.condition).value_or(false))
                           runGuarded(*s.then);
                       else if (s.otherwise)
                           runGuarded(*s.otherwise);
                   },
                   [&](const BlockStatement &s) {
                       for (const auto &inner : s.statements)
                           runGuarded(*inner);
                   },
                   [&](const WaitforStatement &s) { executeWaitfor(s); },
                   [&](const PrintStatement &s) {
                       ExpressionEvaluator evaluator(m_context);
                       const TypedValue v = evaluator.evaluate(*s.value);
                       // A real server prints at most 8,000 bytes: 8,000
                       // characters of a varchar, 4,000 of an nvarchar.
                       const bool unicode = isUnicodeType(v.type);
                       const TypedValue printed = convertTo(
                           v, DataType{unicode ? SqlType::NVarChar : SqlType::VarChar, unicode ? 4000 : 8000, ""});
                       sendInfo(errors::message(0, 0, 1, valueAsText(printed.value).value_or("")));
                   },
                   [&](const CheckpointStatement &) { runCheckpoint(m_context, m_doneKind); },
                   [&](const BackupStatement &s) { runBackup(s, m_context, m_doneKind); },
                   [&](const RestoreStatement &s) { runRestore(s, m_context, m_doneKind); },
                   [&](const CreateDatabaseStatement &s) { runCreateDatabase(s, m_context, m_doneKind); },
                   [&](const AlterDatabaseStatement &s) { runAlterDatabase(s, m_context, m_doneKind); },
                   [&](const DropDatabaseStatement &s) { runDropDatabase(s, m_context, m_doneKind); },
                   [&](const DbccStatement &s) { runDbcc(s, m_context, m_doneKind); },
                   [&](const TransactionStatement &s) { executeTransaction(s); },
               },
               statement.body);
}

void BatchExecutor::executeUse(const UseStatement &use)
{
    const auto db = m_context.catalogue.find(use.database);
    if (!db)
        throw errors::unknownDatabase(use.database, m_context.identity.oldUnknownDatabaseText, 1);
    if (auto refusal = storage_messages::databaseUnavailable(db->name, db->state))
        throw SqlError(*refusal, ErrorScope::Batch);
    if (db->userAccess == UserAccess::SingleUser
        && !m_context.sessions.othersIn(db->name, m_context.session.spid).empty())
        throw errors::databaseSingleUserInUse(db->name);
    const std::string old = m_context.session.currentDatabase;
    m_context.session.currentDatabase = db->name;
    m_context.sink.databaseChanged(db->name, old);
    sendInfo(errors::databaseContextChanged(db->name));
    done(0);
}

void BatchExecutor::executeTransaction(const TransactionStatement &statement)
{
    std::string name = statement.name.text;
    if (statement.name.isVariable) {
        Variable *v = m_context.variables.find(name);
        if (!v)
            throw errors::mustDeclareVariable(name);
        name = valueAsText(v->value.value).value_or("");
    }
    using Kind = TransactionStatement::Kind;
    switch (statement.kind) {
    case Kind::Begin:
        beginTransaction(m_context.session, m_context.sink, name);
        break;
    case Kind::Commit:
        commitTransaction(m_context.session, m_context.sink);
        break;
    case Kind::Rollback:
        rollbackTransaction(m_context.session, m_context.sink, name);
        break;
    case Kind::Save:
        saveTransaction(m_context.session, name);
        break;
    }
    done(0);
}

void BatchExecutor::executeDeclare(const DeclareStatement &declare)
{
    ExpressionEvaluator evaluator(m_context);
    for (const auto &d : declare.variables) {
        Variable &v = m_context.variables.declare(d.name, d.type);
        if (d.initialValue)
            v.value = convertTo(evaluator.evaluate(*d.initialValue), d.type);
    }
}

void BatchExecutor::executeSetVariable(const SetVariableStatement &set)
{
    Variable *v = m_context.variables.find(set.variable);
    if (!v)
        throw errors::mustDeclareVariable(set.variable);
    ExpressionEvaluator evaluator(m_context);
    v->value = convertTo(evaluator.evaluate(*set.value), v->type);
    done(0);
}

void BatchExecutor::executeSetOption(const SetOptionStatement &set)
{
    const bool on = set.value == "ON";
    if (set.option == "NOCOUNT") {
        m_context.options.noCount = on;
    } else if (set.option == "QUOTED_IDENTIFIER") {
        m_context.options.quotedIdentifier = on;
    } else if (set.option == "ANSI_NULLS") {
        m_context.options.ansiNulls = on;
    } else if (set.option == "CONCAT_NULL_YIELDS_NULL") {
        m_context.options.concatNullYieldsNull = on;
    } else if (set.option == "XACT_ABORT") {
        m_context.options.xactAbort = on;
    } else if (set.option == "TEXTSIZE" || set.option == "ROWCOUNT") {
        std::int64_t n = 0;
        if (set.value.front() == '@') {
            Variable *v = m_context.variables.find(set.value);
            if (!v)
                throw errors::mustDeclareVariable(set.value);
            const TypedValue converted = convertTo(v->value, DataType{SqlType::Int, 0, "int"});
            n = isNull(converted.value) ? 0 : std::get<std::int64_t>(converted.value);
        } else {
            n = std::stoll(set.value);
        }
        if (set.option == "TEXTSIZE")
            m_context.options.textSize = n <= 0 ? 4096 : n;
        else
            m_context.options.rowCountLimit = n < 0 ? 0 : n;
    } else if (set.option == "LANGUAGE") {
        if (!sameName(set.value, "us_english") && !sameName(set.value, "English"))
            throw errors::notSupportedYet("SET LANGUAGE " + set.value);
        const std::string old = m_context.options.language;
        m_context.options.language = "us_english";
        m_context.sink.languageChanged("us_english", old);
        sendInfo(errors::languageChanged());
    } else if (set.option == "IMPLICIT_TRANSACTIONS" && on) {
        throw errors::notSupportedYet("SET IMPLICIT_TRANSACTIONS ON");
    } else if ((set.option == "FMTONLY" || set.option == "NOEXEC" || set.option == "PARSEONLY"
                || set.option.rfind("SHOWPLAN", 0) == 0 || set.option.rfind("STATISTICS", 0) == 0)
               && on) {
        // These change what every later statement returns; refusing them is
        // better than quietly ignoring them.
        throw errors::notSupportedYet("SET " + set.option + " ON");
    }
    // The remaining options (ANSI_*, ARITHABORT, DATEFORMAT, isolation level
    // ...) change nothing the emulator's statements depend on.
    done(0);
}

void BatchExecutor::executeSelect(const SelectStatement &select)
{
    done(kCmdSelect, runSelect(select, m_context));
}

void BatchExecutor::executeProcedure(const ExecuteStatement &exec)
{
    ProcedureCall call;
    for (const auto &part : exec.procedure)
        call.writtenName += (call.writtenName.empty() ? "" : ".") + part;
    call.name = exec.procedure.back();
    call.innerDone = DoneKind::InProcedure;
    ExpressionEvaluator evaluator(m_context);
    for (const auto &a : exec.arguments) {
        ProcedureArgument argument;
        argument.name = a.name;
        if (!a.value) {
            argument.isDefault = true;
        } else {
            argument.value = evaluator.evaluate(*a.value);
            if (a.output) {
                if (a.value->kind != Expression::Kind::Variable)
                    throw errors::outputOfConstant();
                argument.output = m_context.variables.find(a.value->name);
            }
        }
        call.arguments.push_back(std::move(argument));
    }
    const int status = runProcedure(call, m_context);
    if (!exec.returnVariable.empty())
        if (Variable *v = m_context.variables.find(exec.returnVariable))
            v->value = convertTo(TypedValue::integer(status), v->type);
    m_context.sink.returnStatus(status);
    StatementResult end;
    end.curCmd = kCmdExecute;
    end.kind = DoneKind::ProcedureEnd;
    m_context.sink.statementDone(end);
}

void BatchExecutor::executeWaitfor(const WaitforStatement &waitfor)
{
    ExpressionEvaluator evaluator(m_context);
    const std::string text = valueAsText(evaluator.evaluate(*waitfor.delay).value).value_or("");
    const auto delay = parseDelay(text);
    if (!delay)
        throw errors::badWaitforTime(text);
    waitWatchingCancel(m_context.sink, *delay);
    done(0);
}

} // namespace sqlemu
