#include "sql/batch_executor.h"

#include "sql/database_statements.h"
#include "sql/execution_context.h"
#include "sql/expression_evaluator.h"
#include "sql/session_registry.h"
#include "sql/sql_error.h"
#include "sql/system_procedures.h"
#include "sql/system_tables.h"
#include "sql/token.h"
#include "sql/transactions.h"
#include "storage/catalogue.h"
#include "storage/collation.h"
#include "storage/storage_messages.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>

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

namespace {

bool isCount(const Expression &e)
{
    return e.kind == Expression::Kind::Function && asciiUpper(e.name) == "COUNT";
}

// ORDER BY's comparison: NULL first, numbers as numbers, texts as the
// collation orders them.
int compareForOrder(const Value &a, const Value &b)
{
    if (isNull(a) || isNull(b))
        return isNull(a) == isNull(b) ? 0 : (isNull(a) ? -1 : 1);
    if (const auto *x = std::get_if<std::int64_t>(&a))
        if (const auto *y = std::get_if<std::int64_t>(&b))
            return *x < *y ? -1 : (*x > *y ? 1 : 0);
    if (const auto *x = std::get_if<DateTimeValue>(&a))
        if (const auto *y = std::get_if<DateTimeValue>(&b))
            return x->millisecondsSince1900 < y->millisecondsSince1900
                ? -1
                : (x->millisecondsSince1900 > y->millisecondsSince1900 ? 1 : 0);
    return collationCompare(valueAsText(a).value_or(""), valueAsText(b).value_or(""));
}

} // namespace

void BatchExecutor::executeSelect(const SelectStatement &select)
{
    ExpressionEvaluator evaluator(m_context);
    std::optional<ResultTable> source;
    if (select.from)
        source = resolveTable(*select.from, m_context);
    const ResultTable *table = source ? &*source : nullptr;

    // Name and type every column before the first row, as a real server
    // checks the whole statement before it runs.
    std::vector<ColumnInfo> columns;
    std::vector<const Expression *> expressions;
    std::vector<int> tableColumns; // -1 unless the column comes from *
    bool aggregate = false;
    const bool assigns = !select.items.front().assignTo.empty();
    for (const auto &item : select.items) {
        if (!item.expression) {
            if (!table)
                throw errors::starWithoutTable();
            for (std::size_t i = 0; i < table->columns.size(); ++i) {
                columns.push_back(table->columns[i]);
                expressions.push_back(nullptr);
                tableColumns.push_back(static_cast<int>(i));
            }
            continue;
        }
        aggregate = aggregate || isCount(*item.expression);
        const TypedValue type = evaluator.typeOf(*item.expression, table);
        std::string name = item.alias;
        if (name.empty() && item.expression->kind == Expression::Kind::Column && table)
            name = table->columns[*table->columnIndex(item.expression->parts.back())].name;
        columns.push_back(columnFor(name, type.type, type.length));
        expressions.push_back(item.expression.get());
        tableColumns.push_back(-1);
    }
    if (select.where)
        (void)evaluator.test(*select.where, table, std::numeric_limits<std::size_t>::max());
    if (aggregate) {
        for (std::size_t c = 0; c < expressions.size(); ++c) {
            if (!expressions[c])
                throw errors::notInAggregate("*");
            if (expressions[c]->kind == Expression::Kind::Column)
                throw errors::notInAggregate(columns[c].name);
        }
    }

    // The rows the WHERE clause keeps, in the table's order.
    const std::size_t tableRows = table ? table->rows.size() : 1;
    std::vector<std::size_t> kept;
    for (std::size_t r = 0; r < tableRows; ++r) {
        if (select.where && !evaluator.test(*select.where, table, r).value_or(false))
            continue;
        kept.push_back(r);
        if ((kept.size() & 63) == 0 && m_context.sink.cancelled())
            throw Cancelled{};
    }

    // Each output row with the table row it came from.
    std::vector<std::vector<Value>> rows;
    std::vector<std::size_t> origins;
    if (aggregate) {
        std::vector<Value> values;
        for (const Expression *e : expressions) {
            if (!isCount(*e)) {
                values.push_back(evaluator.evaluate(*e).value);
                continue;
            }
            std::int64_t count = 0;
            for (std::size_t r : kept)
                count += e->op == "*" || !isNull(evaluator.evaluate(*e->arguments.at(0), table, r).value);
            values.push_back(count);
        }
        rows.push_back(std::move(values));
        origins.push_back(0);
    } else {
        for (std::size_t r : kept) {
            std::vector<Value> values;
            for (std::size_t c = 0; c < columns.size(); ++c)
                values.push_back(tableColumns[c] >= 0 ? table->rows[r][static_cast<std::size_t>(tableColumns[c])]
                                     : assigns        ? Value{}
                                                      : evaluator.evaluate(*expressions[c], table, r).value);
            rows.push_back(std::move(values));
            origins.push_back(r);
        }
    }

    std::vector<std::size_t> order(rows.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    if (!select.orderBy.empty() && !aggregate) {
        // Sort keys: a position or an alias of the select list names an
        // output column, anything else is evaluated on the row.
        std::vector<std::vector<Value>> keys(rows.size());
        for (const auto &item : select.orderBy) {
            std::optional<std::size_t> column;
            if (item.position)
                column = static_cast<std::size_t>(*item.position - 1);
            else if (item.expression->kind == Expression::Kind::Column && item.expression->parts.size() == 1)
                for (std::size_t c = 0; c < columns.size() && !column; ++c)
                    if (!assigns && tableColumns[c] < 0 && sameName(columns[c].name, item.expression->parts[0]))
                        column = c;
            for (std::size_t i = 0; i < rows.size(); ++i)
                keys[i].push_back(column ? rows[i][*column]
                                         : evaluator.evaluate(*item.expression, table, origins[i]).value);
        }
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            for (std::size_t k = 0; k < select.orderBy.size(); ++k) {
                const int c = compareForOrder(keys[a][k], keys[b][k]);
                if (c != 0)
                    return select.orderBy[k].descending ? c > 0 : c < 0;
            }
            return false;
        });
    }

    if (!assigns)
        m_context.sink.columns(columns);
    std::uint64_t sent = 0;
    for (std::size_t i : order) {
        if (select.top && sent >= static_cast<std::uint64_t>(*select.top))
            break;
        if (m_context.options.rowCountLimit > 0 && sent >= static_cast<std::uint64_t>(m_context.options.rowCountLimit))
            break;
        if (assigns) {
            for (const auto &item : select.items) {
                Variable *v = m_context.variables.find(item.assignTo);
                if (!v)
                    throw errors::mustDeclareVariable(item.assignTo);
                v->value = convertTo(aggregate ? TypedValue{rows[i][&item - select.items.data()], SqlType::Int, 0}
                                               : evaluator.evaluate(*item.expression, table, origins[i]),
                                     v->type);
            }
        } else {
            m_context.sink.row(rows[i]);
        }
        ++sent;
        if ((sent & 63) == 0 && m_context.sink.cancelled())
            throw Cancelled{};
    }
    done(kCmdSelect, sent);
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
