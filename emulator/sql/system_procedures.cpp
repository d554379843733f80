#include "sql/system_procedures.h"

#include "sql/batch_executor.h"
#include "sql/execution_context.h"
#include "sql/parser.h"
#include "sql/sql_error.h"
#include "storage/catalogue.h"
#include "storage/collation.h"
#include "storage/damaged_backups.h"
#include "storage/server_error.h"
#include "storage/storage_messages.h"
#include "storage/storage_operations.h"

#include <algorithm>

namespace sqlemu {

namespace {

constexpr std::string_view kInstancesKey = "SOFTWARE\\Microsoft\\Microsoft SQL Server";
constexpr std::string_view kInstancesValue = "InstalledInstances";

// Finds an argument by name, or by its position when passed unnamed.
const ProcedureArgument *argument(const ProcedureCall &call, std::string_view name, std::size_t position)
{
    for (const auto &a : call.arguments)
        if (!a.name.empty() && sameName(a.name, name))
            return &a;
    if (position < call.arguments.size() && call.arguments[position].name.empty())
        return &call.arguments[position];
    return nullptr;
}

std::optional<std::string> argumentText(const ProcedureCall &call, std::string_view name, std::size_t position)
{
    const ProcedureArgument *a = argument(call, name, position);
    if (!a || a->isDefault)
        return std::nullopt;
    return valueAsText(a->value.value);
}

void rejectUnknownArguments(const ProcedureCall &call, std::initializer_list<std::string_view> known)
{
    for (const auto &a : call.arguments) {
        if (a.name.empty())
            continue;
        bool ok = false;
        for (auto k : known)
            ok = ok || sameName(a.name, k);
        if (!ok)
            throw errors::notAParameter(a.name, call.name);
    }
}

void sendFromProcedure(ExecutionContext &context, ServerMessage message, const std::string &procedure)
{
    message.procedure = procedure;
    message.line = 1;
    context.sink.message(message);
}

// xp_regread reads the registry of the server's machine. The emulator has
// one value to show: the instances this process hosts.
int xpRegread(const ProcedureCall &call, ExecutionContext &context)
{
    rejectUnknownArguments(call, {"@rootkey", "@key", "@value_name", "@value", "@value_out"});
    const auto root = argumentText(call, "@rootkey", 0);
    const auto key = argumentText(call, "@key", 1);
    const auto valueName = argumentText(call, "@value_name", 2);
    const ProcedureArgument *output = argument(call, "@value", 3);

    auto keyIs = [&](std::string_view wanted) {
        if (!key)
            return false;
        std::string k = *key;
        while (!k.empty() && k.back() == '\\')
            k.pop_back();
        return sameName(k, wanted);
    };
    const bool machineRoot = root && (sameName(*root, "HKEY_LOCAL_MACHINE") || sameName(*root, "HKLM"));
    if (!machineRoot || !keyIs(kInstancesKey)) {
        sendFromProcedure(context, errors::registryKeyNotFound(), "xp_regread");
        return 1;
    }
    if (!valueName || !sameName(*valueName, kInstancesValue)) {
        sendFromProcedure(context, errors::registryValueNotFound(), "xp_regread");
        return 1;
    }
    const auto &instances = context.config.installedInstances.empty()
        ? std::vector<std::string>{context.config.instanceName}
        : context.config.installedInstances;
    if (output && output->output) {
        // A multi-string read into a variable yields its first string.
        Variable &target = *output->output;
        target.value = convertTo(TypedValue::text(instances.front(), SqlType::NVarChar, 4000), target.type);
        context.sink.statementDone({0, std::nullopt, false, call.innerDone});
        return 0;
    }
    // One row per string of the REG_MULTI_SZ value: the value's name, the
    // string, and no data of its own (clients bind the second column).
    context.sink.columns({columnFor("Value", SqlType::NVarChar, 255), columnFor("Value", SqlType::NVarChar, 255),
                          columnFor("Data", SqlType::NVarChar, 4000)});
    for (const auto &instance : instances)
        context.sink.row({std::string(kInstancesValue), instance, Value{}});
    StatementResult done;
    done.curCmd = 0xC1;
    if (!context.options.noCount)
        done.rowCount = instances.size();
    done.kind = call.innerDone;
    context.sink.statementDone(done);
    return 0;
}

// A statement for tests of progress messages: "N percent processed." every
// 100 ms for @seconds seconds, each sent to the client at once.
int testProgress(const ProcedureCall &call, ExecutionContext &context)
{
    rejectUnknownArguments(call, {"@seconds"});
    const auto seconds = argumentText(call, "@seconds", 0);
    const std::int64_t s = seconds ? textToInteger(*seconds, SqlType::NVarChar, SqlType::Int) : 1;
    const std::int64_t steps = std::max<std::int64_t>(1, std::min<std::int64_t>(s, 3600) * 10);
    int lastPercent = -1;
    for (std::int64_t step = 1; step <= steps; ++step) {
        waitWatchingCancel(context.sink, std::chrono::milliseconds(100));
        const int percent = static_cast<int>(step * 100 / steps);
        if (percent == lastPercent)
            continue;
        lastPercent = percent;
        context.sink.message(storage_messages::percentProcessed(percent));
        context.sink.flush();
    }
    return 0;
}

// A statement for tests of the log shrink: uses @megabytes more of the log
// of @database, growing its file as working in the database would.
int testGrowLog(const ProcedureCall &call, ExecutionContext &context)
{
    rejectUnknownArguments(call, {"@database", "@megabytes"});
    const auto database = argumentText(call, "@database", 0).value_or(context.session.currentDatabase);
    const auto megabytes = argumentText(call, "@megabytes", 1);
    const std::int64_t mb = megabytes ? textToInteger(*megabytes, SqlType::NVarChar, SqlType::Int) : 1;
    try {
        context.storage.growLog(database, std::clamp<std::int64_t>(mb, 0, 4096));
    } catch (const ServerError &e) {
        throw SqlError(e.messages(), ErrorScope::Statement);
    }
    return 0;
}

// A statement for tests that stop backups and restores midway: from now on
// this session's storage operations pause @milliseconds at every piece, or
// with @scope = N'server' those of every session (a client's own restore
// included).
int testPaceStorage(const ProcedureCall &call, ExecutionContext &context)
{
    rejectUnknownArguments(call, {"@milliseconds", "@scope"});
    const auto milliseconds = argumentText(call, "@milliseconds", 0);
    const std::int64_t ms = milliseconds ? textToInteger(*milliseconds, SqlType::NVarChar, SqlType::Int) : 0;
    const std::int64_t pace = std::clamp<std::int64_t>(ms, 0, 10000);
    const std::string scope = argumentText(call, "@scope", 1).value_or("session");
    if (sameName(scope, "server"))
        context.storage.setServerPace(std::chrono::milliseconds(pace));
    else if (sameName(scope, "session"))
        context.options.storagePaceMilliseconds = pace;
    else
        throw errors::invalidParameterValue(scope, "@scope", call.name);
    return 0;
}

// A statement for tests of clients that meet databases in every state:
// @state is RESTORING, RECOVERING, SUSPECT, OFFLINE or ONLINE, shown and
// refused as a real server shows and refuses a database in it.
int testSetState(const ProcedureCall &call, ExecutionContext &context)
{
    rejectUnknownArguments(call, {"@database", "@state"});
    const auto database = argumentText(call, "@database", 0).value_or(context.session.currentDatabase);
    const std::string state = argumentText(call, "@state", 1).value_or("");
    static constexpr std::pair<const char *, DatabaseState> kStates[] = {
        {"ONLINE", DatabaseState::Online},         {"RESTORING", DatabaseState::Restoring},
        {"RECOVERING", DatabaseState::Recovering}, {"SUSPECT", DatabaseState::Suspect},
        {"OFFLINE", DatabaseState::Offline},
    };
    const auto *wanted = std::find_if(std::begin(kStates), std::end(kStates),
                                      [&](const auto &entry) { return sameName(entry.first, state); });
    if (wanted == std::end(kStates))
        throw errors::invalidParameterValue(state, "@state", call.name);
    const auto db = context.catalogue.find(database);
    if (!db)
        throw errors::unknownDatabase(database, context.identity.oldUnknownDatabaseText, 1);
    if (db->isSystemDatabase())
        throw errors::optionCannotBeSet(wanted->first, db->name);
    try {
        context.catalogue.update(db->name, [&](DatabaseInfo &changed) { changed.state = wanted->second; });
    } catch (const std::exception &e) {
        throw SqlError(errors::message(50000, 16, 1, e.what()), ErrorScope::Statement);
    }
    return 0;
}

// A statement for tests of verification: every later backup of @database
// is written damaged (@damaged = 0 ends it), see storage/damaged_backups.h.
int testDamageBackups(const ProcedureCall &call, ExecutionContext &context)
{
    rejectUnknownArguments(call, {"@database", "@damaged"});
    const auto database = argumentText(call, "@database", 0).value_or(context.session.currentDatabase);
    const auto damaged = argumentText(call, "@damaged", 1);
    setBackupsDamaged(database, !damaged || textToInteger(*damaged, SqlType::NVarChar, SqlType::Int) != 0);
    return 0;
}

int executeSql(const ProcedureCall &call, ExecutionContext &context)
{
    // A real server takes both texts only as Unicode; a client that sends
    // varchar fails there, so it fails here too.
    auto unicodeText = [&](std::string_view name, std::size_t position, bool required) -> std::optional<std::string> {
        const ProcedureArgument *a = argument(call, name, position);
        if (!a || a->isDefault || isNull(a->value.value)) {
            if (!required)
                return std::nullopt;
        } else if (isUnicodeType(a->value.type)) {
            return valueAsText(a->value.value);
        }
        throw errors::procedureExpectsUnicodeText(name);
    };
    const auto statementText = unicodeText("@statement", 0, true);
    const auto paramsText = unicodeText("@params", 1, false);

    ExecutionContext inner{context.session,
                           context.options,
                           context.config,
                           context.identity,
                           context.catalogue,
                           context.storage,
                           context.sessions,
                           context.sink,
                           {},
                           0,
                           0,
                           context.tokenBudget};
    std::vector<DeclareStatement::Variable> declarations;
    if (paramsText)
        declarations = parseParameterDeclarations(*paramsText);

    // Values bind to the declared parameters by name, or by position after
    // @statement and @params.
    std::size_t position = 2;
    for (const auto &a : call.arguments) {
        if (!a.name.empty() && (sameName(a.name, "@statement") || sameName(a.name, "@params")))
            continue;
        if (a.name.empty() && (&a - call.arguments.data()) < 2)
            continue;
        const DeclareStatement::Variable *declared = nullptr;
        if (a.name.empty()) {
            if (position - 2 < declarations.size())
                declared = &declarations[position - 2];
            ++position;
        } else {
            for (const auto &d : declarations)
                if (sameName(d.name, a.name))
                    declared = &d;
        }
        if (!declared)
            throw errors::notAParameter(a.name.empty() ? "@P" + std::to_string(position - 2) : a.name, "sp_executesql");
        if (a.output && !declared->output)
            throw errors::notAnOutputParameter(declared->name);
        if (inner.variables.find(declared->name))
            continue;
        Variable &v = inner.variables.declare(declared->name, declared->type);
        v.value = a.isDefault ? TypedValue::null(declared->type.type, declared->type.length)
                              : convertTo(a.value, declared->type);
    }
    for (const auto &d : declarations)
        if (!inner.variables.find(d.name))
            throw errors::missingParameter("(" + *paramsText + ")" + *statementText, d.name);

    ParserOptions parserOptions;
    parserOptions.quotedIdentifier = context.options.quotedIdentifier;
    parserOptions.truncateOnlyAllowed = context.identity.truncateOnlySupported;
    parserOptions.declareInitializerAllowed = context.identity.declareInitializerSupported;
    parserOptions.dateTypesAllowed = context.identity.declareInitializerSupported;
    parserOptions.predeclaredVariables = inner.variables.names();
    parserOptions.onTokens = context.tokenBudget;
    // USE inside the statement lasts only as long as the statement.
    const std::string callersDatabase = context.session.currentDatabase;
    BatchExecutor executor(inner, call.innerDone);
    const int tranCountBefore = context.session.transaction.count;
    bool ok = false;
    try {
        ok = executor.runText(*statementText, parserOptions);
    } catch (const Cancelled &) {
        context.session.currentDatabase = callersDatabase;
        throw;
    }
    if (!sameName(context.session.currentDatabase, callersDatabase)) {
        const std::string changed = context.session.currentDatabase;
        context.session.currentDatabase = callersDatabase;
        context.sink.databaseChanged(callersDatabase, changed);
    }
    // Output parameters travel back to the caller's variables.
    for (const auto &a : call.arguments)
        if (a.output)
            if (Variable *v = inner.variables.find(a.name))
                a.output->value = convertTo(v->value, a.output->type);
    context.lastRowCount = inner.lastRowCount;
    context.lastError = inner.lastError;
    // As for any procedure, a real server holds a statement to the
    // transaction count it found.
    if (const int now = context.session.transaction.count; now != tranCountBefore) {
        context.sink.message(errors::message(
            266, 16, 2,
            "Transaction count after EXECUTE indicates a mismatching number of BEGIN and COMMIT statements. "
            "Previous count = "
                + std::to_string(tranCountBefore) + ", current count = " + std::to_string(now) + "."));
        context.lastError = 266;
        return 266;
    }
    return ok ? 0 : inner.lastError;
}

} // namespace

int runProcedure(const ProcedureCall &call, ExecutionContext &context)
{
    if (sameName(call.name, "xp_regread"))
        return xpRegread(call, context);
    if (sameName(call.name, "sp_executesql"))
        return executeSql(call, context);
    if (context.config.testStatements && sameName(call.name, "sqlemu_test_progress"))
        return testProgress(call, context);
    if (context.config.testStatements && sameName(call.name, "sqlemu_test_grow_log"))
        return testGrowLog(call, context);
    if (context.config.testStatements && sameName(call.name, "sqlemu_test_pace_storage"))
        return testPaceStorage(call, context);
    if (context.config.testStatements && sameName(call.name, "sqlemu_test_set_state"))
        return testSetState(call, context);
    if (context.config.testStatements && sameName(call.name, "sqlemu_test_damage_backups"))
        return testDamageBackups(call, context);
    throw errors::procedureNotFound(call.writtenName);
}

} // namespace sqlemu
