#include "sql/database_statements.h"

#include "sql/backup_result_sets.h"
#include "sql/execution_context.h"
#include "sql/expression_evaluator.h"
#include "sql/permissions.h"
#include "sql/session_registry.h"
#include "sql/sql_error.h"
#include "sql/transactions.h"
#include "storage/catalogue.h"
#include "storage/collation.h"
#include "storage/damaged_backups.h"
#include "storage/server_error.h"
#include "storage/storage_messages.h"
#include "storage/storage_operations.h"

#include <algorithm>

namespace sqlemu {

namespace {

namespace msg = storage_messages;

constexpr std::uint16_t kCmdSelect = 0xC1;

std::string resolveName(const NameOrVariable &name, ExecutionContext &context)
{
    if (!name.isVariable)
        return name.text;
    Variable *v = context.variables.find(name.text);
    if (!v)
        throw errors::mustDeclareVariable(name.text);
    return valueAsText(v->value.value).value_or("");
}

const StatementOption *findOption(const std::vector<StatementOption> &options, std::string_view name)
{
    for (const auto &o : options)
        if (o.name == name)
            return &o;
    return nullptr;
}

bool hasOption(const std::vector<StatementOption> &options, std::string_view name)
{
    return findOption(options, name) != nullptr;
}

std::string textOf(const Expression &expression, ExecutionContext &context)
{
    ExpressionEvaluator evaluator(context);
    return valueAsText(evaluator.evaluate(expression).value).value_or("");
}

std::int64_t integerOf(const Expression &expression, ExecutionContext &context)
{
    ExpressionEvaluator evaluator(context);
    const TypedValue v = convertTo(evaluator.evaluate(expression), DataType{SqlType::Int, 0, "int"});
    return isNull(v.value) ? 0 : std::get<std::int64_t>(v.value);
}

// The one backup device of the statement (DISK = ...).
std::string devicePath(const std::vector<ExpressionPtr> &disks, ExecutionContext &context)
{
    if (disks.size() != 1)
        throw errors::notSupportedYet("backups striped over several devices");
    return textOf(*disks.front(), context);
}

SqlError withTermination(std::vector<ServerMessage> messages, const std::string &statement)
{
    messages.push_back(errors::statementTerminated(statement));
    return SqlError(std::move(messages), ErrorScope::Statement);
}

SqlError terminating(const SqlError &error, const std::string &statement)
{
    return withTermination(error.messages(), statement);
}

// BACKUP and every form of RESTORE, which a real server does not run inside
// a user transaction.
void refuseInTransaction(ExecutionContext &context, const std::string &statement)
{
    if (inUserTransaction(context.session))
        throw withTermination({errors::backupInTransaction()}, statement);
}

// What the system databases refuse: tempdb any backup or restore (3147),
// master a restore unless the server started in single-user mode (3108),
// which sqlemu never does. A real server restores model and msdb, but here
// model shapes no new database and msdb's history is kept beside the
// catalogue, so a restore of either could not be what it claims: refused
// as what this server does not offer.
void refuseOnSystemDatabase(const std::string &database, const std::string &statement, bool restore)
{
    if (sameName(database, "tempdb"))
        throw withTermination(
            {errors::message(3147, 16, 1, "Backup and restore operations are not allowed on database tempdb.")},
            statement);
    if (restore && sameName(database, "master"))
        throw withTermination({errors::message(3108, 16, 1,
                                               "To restore the master database, the server must be running in "
                                               "single-user mode. For information on starting in single-user mode, "
                                               "see \"How to: Start an Instance of SQL Server (sqlservr.exe)\" in "
                                               "Books Online.")},
                              statement);
    if (restore && (sameName(database, "model") || sameName(database, "msdb")))
        throw errors::notSupportedYet("RESTORE DATABASE " + database);
}

void sendAll(ExecutionContext &context, const std::vector<ServerMessage> &messages)
{
    for (const auto &m : messages)
        context.sink.message(m);
}

void done(ExecutionContext &context, DoneKind doneKind)
{
    context.sink.statementDone({0, std::nullopt, false, doneKind});
}

// STATS = n reports every n percent, STATS alone every 10; without STATS
// neither a backup nor a restore reports progress, as on a real server.
// Each report goes to the client at once. ATTENTION reaches the storage as
// a cancel.
OperationProgress progressFor(const std::vector<StatementOption> &options, ExecutionContext &context)
{
    OperationProgress progress;
    // The session's own pace, or the whole server's when that is slower.
    const auto pace
        = std::max(std::chrono::milliseconds(context.options.storagePaceMilliseconds), context.storage.serverPace());
    progress.isCancelled = [&context, pace] {
        if (pace.count() > 0) {
            try {
                waitWatchingCancel(context.sink, pace);
            } catch (const Cancelled &) {
                return true;
            }
        }
        return context.sink.cancelled();
    };
    progress.onAdvance
        = [&context](double percent) { context.sessions.setPercentComplete(context.session.spid, percent); };
    const StatementOption *stats = findOption(options, "STATS");
    if (!stats)
        return progress;
    progress.stepPercent = stats && stats->value ? static_cast<int>(integerOf(*stats->value, context)) : 10;
    if (progress.stepPercent <= 0 || progress.stepPercent > 100)
        progress.stepPercent = 10;
    progress.onProgress = [&context](int percent) {
        context.sink.message(msg::percentProcessed(percent));
        context.sink.flush();
    };
    return progress;
}

// Runs a storage operation of a BACKUP or RESTORE statement: its failures
// end with 3013, a cancel stops the batch as ATTENTION does.
template <class Operation> auto runTerminating(const std::string &statement, Operation operation)
{
    try {
        return operation();
    } catch (const ServerError &e) {
        throw withTermination(e.messages(), statement);
    } catch (const OperationCancelled &) {
        throw Cancelled{};
    }
}

// Runs a storage operation of any other statement.
template <class Operation> auto runStorage(Operation operation)
{
    try {
        return operation();
    } catch (const ServerError &e) {
        throw SqlError(e.messages(), ErrorScope::Statement);
    }
}

void refuseUnsupportedBackupOptions(const BackupStatement &statement)
{
    // Each of these changes what is written; pretending to honour them would
    // leave media that are not what the client asked for.
    // COPY_ONLY is honoured as it is: the storage keeps no chain of backups
    // that a copy could disturb.
    for (const char *option : {"INIT", "FORMAT", "DIFFERENTIAL", "NORECOVERY", "STANDBY"})
        if (hasOption(statement.options, option))
            throw errors::notSupportedYet(std::string("BACKUP ... WITH ") + option);
}

void runBackupLog(const BackupStatement &statement, ExecutionContext &context, DoneKind doneKind)
{
    const std::string name = resolveName(statement.database, context);
    requireLogBackupPermission(context, name);
    if (statement.disks.empty()
        && (hasOption(statement.options, "TRUNCATE_ONLY") || hasOption(statement.options, "NO_LOG"))) {
        // SQL Server 2005 empties the log without a message; the parser has
        // refused the option already when a newer server is played.
        runTerminating("BACKUP LOG", [&] {
            context.storage.truncateLog(name);
            return 0;
        });
        done(context, doneKind);
        return;
    }
    if (!context.catalogue.find(name))
        throw withTermination({msg::unknownDatabase(name, context.identity.oldUnknownDatabaseText, 10)}, "BACKUP LOG");
    throw errors::notSupportedYet("BACKUP LOG to a device");
}

// A database that some session other than this one is in, or this one.
bool databaseInUse(const std::string &database, ExecutionContext &context)
{
    return sameName(context.session.currentDatabase, database)
        || !context.sessions.othersIn(database, context.session.spid).empty();
}

void runRestoreDatabase(const RestoreStatement &statement, ExecutionContext &context, DoneKind doneKind)
{
    const std::string kind = "RESTORE DATABASE";
    refuseInTransaction(context, kind);
    RestoreRequest request;
    request.databaseName = resolveName(statement.database, context);
    requireRestorePermission(context, request.databaseName);
    refuseOnSystemDatabase(request.databaseName, kind, true);
    request.mediaPath = devicePath(statement.disks, context);
    request.replace = hasOption(statement.options, "REPLACE");
    request.userName = context.session.loginName;
    for (const auto &o : statement.options) {
        if (o.name == "MOVE" && o.value && o.target)
            request.moves.emplace_back(textOf(*o.value, context), textOf(*o.target, context));
        else if (o.name == "FILE" && o.value)
            request.position = static_cast<int>(integerOf(*o.value, context));
        else if (o.name == "NORECOVERY" || o.name == "STANDBY" || o.name == "STOPAT" || o.name == "PARTIAL")
            throw errors::notSupportedYet("RESTORE ... WITH " + o.name);
    }
    context.sessions.setCommand(context.session.spid, kind, request.databaseName);
    if (context.catalogue.contains(request.databaseName) && databaseInUse(request.databaseName, context))
        throw withTermination({msg::exclusiveAccessNotObtained()}, kind);
    const auto progress = progressFor(statement.options, context);
    const auto figures = runTerminating(kind, [&] { return context.storage.restoreDatabase(request, progress); });
    sendAll(context, figures.completionMessages(kind));
    done(context, doneKind);
}

int positionOf(const RestoreStatement &statement, ExecutionContext &context)
{
    const StatementOption *file = findOption(statement.options, "FILE");
    return file && file->value ? static_cast<int>(integerOf(*file->value, context)) : 1;
}

void sendTable(const ResultTable &table, ExecutionContext &context, DoneKind doneKind)
{
    context.sink.columns(table.columns);
    for (const auto &row : table.rows)
        context.sink.row(row);
    StatementResult result{kCmdSelect, std::nullopt, false, doneKind};
    if (!context.options.noCount)
        result.rowCount = table.rows.size();
    context.sink.statementDone(result);
}

void setRecoveryModel(const AlterDatabaseStatement &statement, ExecutionContext &context)
{
    const std::string model = statement.option.substr(std::string("RECOVERY ").size());
    const RecoveryModel wanted = model == "SIMPLE" ? RecoveryModel::Simple
        : model == "BULK_LOGGED"                   ? RecoveryModel::BulkLogged
                                                   : RecoveryModel::Full;
    const auto db = context.catalogue.find(statement.name);
    if (!db)
        throw SqlError({errors::alterDatabaseNotAllowed(statement.name), errors::alterDatabaseFailed()},
                       ErrorScope::Statement);
    // tempdb is always in simple recovery.
    if (sameName(db->name, "tempdb"))
        throw errors::optionCannotBeSet("RECOVERY", db->name);
    runStorage([&] {
        return context.catalogue.update(db->name, [&](DatabaseInfo &changed) { changed.recoveryModel = wanted; });
    });
}

// ALTER DATABASE db SET OFFLINE | ONLINE.
void setOnlineOrOffline(const AlterDatabaseStatement &statement, ExecutionContext &context)
{
    const bool offline = statement.option == "OFFLINE";
    const auto db = context.catalogue.find(statement.name);
    if (!db)
        throw SqlError({errors::alterDatabaseNotAllowed(statement.name), errors::alterDatabaseFailed()},
                       ErrorScope::Statement);
    if (db->isSystemDatabase())
        throw errors::optionCannotBeSet(statement.option, db->name);
    if (offline) {
        // Taking it offline needs the database to itself: the sessions in it
        // are ended with ROLLBACK, otherwise they keep the lock from it.
        const bool rollback = statement.termination.rfind("ROLLBACK", 0) == 0;
        const bool othersIn = !context.sessions.othersIn(db->name, context.session.spid).empty();
        if (sameName(context.session.currentDatabase, db->name) || (othersIn && !rollback)
            || context.storage.isBusy(db->name))
            throw errors::alterDatabaseLockFailed(db->name);
        if (!context.sessions.killOthersIn(db->name, context.session.spid).empty()) {
            context.sink.message(errors::rollbackProgress(0));
            context.sink.message(errors::rollbackProgress(100));
        }
    } else if (db->state != DatabaseState::Offline && db->state != DatabaseState::Online) {
        // Only a restore brings a database out of these.
        auto refusal = msg::databaseUnavailable(db->name, db->state);
        throw SqlError({*refusal, errors::alterDatabaseFailed()}, ErrorScope::Statement);
    }
    runStorage([&] {
        return context.catalogue.update(db->name, [&](DatabaseInfo &changed) {
            changed.state = offline ? DatabaseState::Offline : DatabaseState::Online;
        });
    });
}

} // namespace

void runBackup(const BackupStatement &statement, ExecutionContext &context, DoneKind doneKind)
{
    refuseInTransaction(context, statement.log ? "BACKUP LOG" : "BACKUP DATABASE");
    if (statement.log) {
        runBackupLog(statement, context, doneKind);
        return;
    }
    const std::string kind = "BACKUP DATABASE";
    const std::string name = resolveName(statement.database, context);
    if (statement.disks.empty())
        throw errors::syntaxNear(name);
    requireBackupPermission(context, kind, name);
    refuseOnSystemDatabase(name, kind, false);
    refuseUnsupportedBackupOptions(statement);
    context.sessions.setCommand(context.session.spid, kind, name);
    std::string path, setName;
    try {
        path = devicePath(statement.disks, context);
        if (const StatementOption *option = findOption(statement.options, "NAME"); option && option->value)
            setName = textOf(*option->value, context);
    } catch (const SqlError &e) {
        throw terminating(e, kind);
    }
    const auto progress = progressFor(statement.options, context);
    const auto figures = runTerminating(kind, [&] {
        return context.storage.backupDatabase(name, path, setName, context.session.loginName, progress,
                                              hasOption(statement.options, "COPY_ONLY"));
    });
    if (context.config.testStatements && backupsDamaged(name))
        damageBackupSet(normalisedFilePath(path), figures.position);
    sendAll(context, figures.completionMessages(kind));
    done(context, doneKind);
}

void runRestore(const RestoreStatement &statement, ExecutionContext &context, DoneKind doneKind)
{
    using Kind = RestoreStatement::Kind;
    switch (statement.kind) {
    case Kind::Database:
        runRestoreDatabase(statement, context, doneKind);
        return;
    case Kind::FileListOnly: {
        refuseInTransaction(context, "RESTORE FILELIST");
        requireBackupReadPermission(context, "RESTORE FILELIST");
        const std::string path = devicePath(statement.disks, context);
        const int position = positionOf(statement, context);
        const auto set
            = runTerminating("RESTORE FILELIST", [&] { return context.storage.backupFileList(path, position); });
        sendTable(backupFileListTable(set, context.identity.compatibilityLevel), context, doneKind);
        return;
    }
    case Kind::HeaderOnly: {
        refuseInTransaction(context, "RESTORE HEADERONLY");
        requireBackupReadPermission(context, "RESTORE HEADERONLY");
        const std::string path = devicePath(statement.disks, context);
        const auto sets = runTerminating("RESTORE HEADERONLY", [&] { return context.storage.backupHeaders(path); });
        sendTable(backupHeaderTable(sets, context.identity.compatibilityLevel), context, doneKind);
        return;
    }
    case Kind::VerifyOnly: {
        refuseInTransaction(context, "VERIFY DATABASE");
        requireBackupReadPermission(context, "VERIFY DATABASE");
        const std::string path = devicePath(statement.disks, context);
        const int position = positionOf(statement, context);
        const auto progress = progressFor(statement.options, context);
        runTerminating("VERIFY DATABASE", [&] {
            context.storage.verifyBackup(path, position, progress);
            return 0;
        });
        context.sink.message(msg::backupSetValid(position));
        done(context, doneKind);
        return;
    }
    case Kind::Log:
        throw errors::notSupportedYet("RESTORE LOG");
    case Kind::LabelOnly:
        throw errors::notSupportedYet("RESTORE LABELONLY");
    }
}

void runCreateDatabase(const CreateDatabaseStatement &statement, ExecutionContext &context, DoneKind doneKind)
{
    if (inUserTransaction(context.session))
        throw errors::notInTransaction("CREATE DATABASE");
    requireCreateDatabasePermission(context);
    if (!statement.forAttach || statement.rebuildLog)
        throw errors::notSupportedYet(statement.rebuildLog ? "CREATE DATABASE ... FOR ATTACH_REBUILD_LOG"
                                                           : "CREATE DATABASE without FOR ATTACH");
    std::vector<std::string> paths;
    for (const auto *group : {&statement.dataFiles, &statement.logFiles})
        for (const auto &file : *group)
            if (const StatementOption *name = findOption(file, "FILENAME"); name && name->value)
                paths.push_back(textOf(*name->value, context));
    runStorage([&] { return context.storage.attachDatabase(statement.name, paths, context.session.loginName); });
    done(context, doneKind);
}

void runAlterDatabase(const AlterDatabaseStatement &statement, ExecutionContext &context, DoneKind doneKind)
{
    if (inUserTransaction(context.session))
        throw errors::notInTransaction("ALTER DATABASE");
    requireAlterPermission(context, statement.name);
    if (statement.option.rfind("RECOVERY ", 0) == 0) {
        setRecoveryModel(statement, context);
        done(context, doneKind);
        return;
    }
    if (statement.option == "OFFLINE" || statement.option == "ONLINE") {
        setOnlineOrOffline(statement, context);
        done(context, doneKind);
        return;
    }
    const bool singleUser = statement.option == "SINGLE_USER";
    if (!singleUser && statement.option != "MULTI_USER")
        throw errors::notSupportedYet("ALTER DATABASE ... SET " + statement.option);
    const auto db = context.catalogue.find(statement.name);
    if (!db)
        throw SqlError({errors::alterDatabaseNotAllowed(statement.name), errors::alterDatabaseFailed()},
                       ErrorScope::Statement);
    if (singleUser) {
        const bool rollback = statement.termination.rfind("ROLLBACK", 0) == 0;
        if (!rollback && !context.sessions.othersIn(db->name, context.session.spid).empty())
            // A real server would wait without NO_WAIT; refusing at once
            // beats a batch that never ends.
            throw SqlError({errors::databaseInUseByOthers(db->name), errors::alterDatabaseFailed()},
                           ErrorScope::Statement);
        if (!context.sessions.killOthersIn(db->name, context.session.spid).empty()) {
            context.sink.message(errors::rollbackProgress(0));
            context.sink.message(errors::rollbackProgress(100));
        }
    }
    runStorage([&] {
        return context.catalogue.update(db->name, [&](DatabaseInfo &changed) {
            changed.userAccess = singleUser ? UserAccess::SingleUser : UserAccess::MultiUser;
        });
    });
    done(context, doneKind);
}

void runDropDatabase(const DropDatabaseStatement &statement, ExecutionContext &context, DoneKind doneKind)
{
    if (inUserTransaction(context.session))
        throw errors::dropInTransaction("DROP DATABASE");
    for (const auto &name : statement.names) {
        requireDropPermission(context, name);
        const auto db = context.catalogue.find(name);
        if (db && databaseInUse(db->name, context))
            throw SqlError(msg::cannotDropInUse(db->name), ErrorScope::Statement);
        runStorage([&] {
            context.storage.dropDatabase(name);
            return 0;
        });
    }
    done(context, doneKind);
}

void runDbcc(const DbccStatement &statement, ExecutionContext &context, DoneKind doneKind)
{
    if (statement.command != "SHRINKFILE")
        throw errors::notSupportedYet("DBCC " + statement.command);
    if (statement.arguments.empty())
        throw errors::syntaxNear(")");
    requireShrinkPermission(context, context.session.currentDatabase);
    const std::string file = textOf(*statement.arguments[0], context);
    const std::int64_t target = statement.arguments.size() > 1 ? integerOf(*statement.arguments[1], context) : 0;
    const auto figures
        = runStorage([&] { return context.storage.shrinkFile(context.session.currentDatabase, file, target); });
    context.sink.columns({columnFor("DbId", SqlType::SmallInt, 0), columnFor("FileId", SqlType::SmallInt, 0),
                          columnFor("CurrentSize", SqlType::Int, 0), columnFor("MinimumSize", SqlType::Int, 0),
                          columnFor("UsedPages", SqlType::Int, 0), columnFor("EstimatedPages", SqlType::Int, 0)});
    context.sink.row({std::int64_t{figures.dbId}, std::int64_t{figures.fileId}, figures.currentSize,
                      figures.minimumSize, figures.usedPages, figures.estimatedPages});
    bool quiet = false;
    for (const auto &o : statement.withOptions)
        quiet = quiet || o == "NO_INFOMSGS";
    StatementResult result{0, std::nullopt, false, doneKind};
    if (!context.options.noCount)
        result.rowCount = 1;
    if (!quiet)
        context.sink.message(msg::dbccCompleted());
    context.sink.statementDone(result);
}

void runCheckpoint(ExecutionContext &context, DoneKind doneKind)
{
    // Under simple recovery a checkpoint lets the log's records go, so that
    // a shrink can give their space back; otherwise only a log backup does.
    const auto db = context.catalogue.find(context.session.currentDatabase);
    if (db && db->recoveryModel == RecoveryModel::Simple && !db->isSystemDatabase())
        runStorage([&] {
            context.storage.truncateLog(db->name);
            return 0;
        });
    done(context, doneKind);
}

} // namespace sqlemu
