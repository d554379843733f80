#include "sql/system_tables.h"

#include "sql/execution_context.h"
#include "sql/session_registry.h"
#include "sql/sql_error.h"
#include "sql/sql_value.h"
#include "storage/backup_history.h"
#include "storage/catalogue.h"
#include "storage/collation.h"
#include "storage/server_clock.h"
#include "storage/storage_operations.h"

#include <algorithm>
#include <cstdio>

namespace sqlemu {

namespace {

constexpr std::int64_t kStatusDisk = 0x2;
constexpr std::int64_t kStatusLog = 0x40;
constexpr std::int64_t kStatusPercentGrowth = 0x100000;

ColumnInfo fixed(const char *name, SqlType type)
{
    return columnFor(name, type, 0);
}

// sysdatabases.status bits as a fresh server shows them: trunc. log on chkpt.
// (8) for master, tempdb and msdb, and 0x10000 (the default for every
// database since SQL Server 2005); then loading (0x20), recovering (0x80),
// not recovered (0x100), offline (0x200) and single user (0x1000).
std::int64_t databaseStatus(const DatabaseInfo &db)
{
    std::int64_t status = 0x10000;
    if (db.id == 1 || db.id == 2 || db.id == 4)
        status |= 8;
    if (db.state == DatabaseState::Offline)
        status |= 0x200;
    if (db.state == DatabaseState::Restoring)
        status |= 0x20;
    if (db.state == DatabaseState::Recovering)
        status |= 0x80;
    if (db.state == DatabaseState::Suspect)
        status |= 0x100;
    if (db.userAccess == UserAccess::SingleUser)
        status |= 0x1000;
    return status;
}

} // namespace

std::optional<std::size_t> ResultTable::columnIndex(std::string_view name) const
{
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (sameName(columns[i].name, name))
            return i;
    return std::nullopt;
}

ResultTable sysdatabasesTable(const Catalogue &catalogue, const ServerIdentity &identity)
{
    ResultTable table;
    table.columns = {
        columnFor("name", SqlType::NVarChar, 128),
        fixed("dbid", SqlType::SmallInt),
        columnFor("sid", SqlType::VarBinary, 85),
        fixed("mode", SqlType::SmallInt),
        fixed("status", SqlType::Int),
        fixed("status2", SqlType::Int),
        fixed("crdate", SqlType::DateTime),
        fixed("reserved", SqlType::DateTime),
        fixed("category", SqlType::Int),
        fixed("cmptlevel", SqlType::TinyInt),
        columnFor("filename", SqlType::NVarChar, 260),
        fixed("version", SqlType::SmallInt),
    };
    for (const auto &db : catalogue.databases()) {
        const DatabaseFile *primary = db.primaryDataFile();
        table.rows.push_back({
            db.name,
            std::int64_t{db.id},
            Bytes{0x01},
            std::int64_t{0},
            databaseStatus(db),
            std::int64_t{db.id <= 4 ? 1090519040 : 1627389952},
            db.created,
            DateTimeValue{0},
            std::int64_t{0},
            std::int64_t{db.compatibilityLevel},
            primary ? Value{primary->physicalName} : Value{},
            std::int64_t{identity.databaseVersion},
        });
    }
    return table;
}

ResultTable sysfilesTable(const DatabaseInfo &database)
{
    ResultTable table;
    table.columns = {
        fixed("fileid", SqlType::SmallInt),
        fixed("groupid", SqlType::SmallInt),
        fixed("size", SqlType::Int),
        fixed("maxsize", SqlType::Int),
        fixed("growth", SqlType::Int),
        fixed("status", SqlType::Int),
        fixed("perf", SqlType::Int),
        columnFor("name", SqlType::NVarChar, 128),
        columnFor("filename", SqlType::NVarChar, 260),
    };
    for (const auto &file : database.files) {
        const bool log = file.type == DatabaseFileType::Log;
        std::int64_t status = kStatusDisk | (log ? kStatusLog : 0) | (file.percentGrowth ? kStatusPercentGrowth : 0);
        table.rows.push_back({
            std::int64_t{file.fileId},
            std::int64_t{log ? 0 : 1},
            file.sizePages,
            file.maxSizePages,
            file.growth,
            status,
            std::int64_t{0},
            file.logicalName,
            file.physicalName,
        });
    }
    return table;
}

namespace {

std::int64_t stateNumber(DatabaseState state)
{
    switch (state) {
    case DatabaseState::Online:
        return 0;
    case DatabaseState::Restoring:
        return 1;
    case DatabaseState::Recovering:
        return 2;
    case DatabaseState::Suspect:
        return 4;
    case DatabaseState::Offline:
        return 6;
    }
    return 0;
}

const char *stateDescription(DatabaseState state)
{
    switch (state) {
    case DatabaseState::Online:
        return "ONLINE";
    case DatabaseState::Restoring:
        return "RESTORING";
    case DatabaseState::Recovering:
        return "RECOVERING";
    case DatabaseState::Suspect:
        return "SUSPECT";
    case DatabaseState::Offline:
        return "OFFLINE";
    }
    return "ONLINE";
}

const char *accessDescription(UserAccess access)
{
    return access == UserAccess::SingleUser    ? "SINGLE_USER"
        : access == UserAccess::RestrictedUser ? "RESTRICTED_USER"
                                               : "MULTI_USER";
}

std::int64_t recoveryNumber(RecoveryModel model)
{
    return model == RecoveryModel::Full ? 1 : model == RecoveryModel::BulkLogged ? 2 : 3;
}

} // namespace

const char *recoveryModelName(RecoveryModel model)
{
    return model == RecoveryModel::Full ? "FULL" : model == RecoveryModel::BulkLogged ? "BULK_LOGGED" : "SIMPLE";
}

ResultTable sysDatabasesView(const Catalogue &catalogue)
{
    ResultTable table;
    table.columns = {
        columnFor("name", SqlType::NVarChar, 128),
        fixed("database_id", SqlType::Int),
        fixed("source_database_id", SqlType::Int),
        columnFor("owner_sid", SqlType::VarBinary, 85),
        fixed("create_date", SqlType::DateTime),
        fixed("compatibility_level", SqlType::TinyInt),
        columnFor("collation_name", SqlType::NVarChar, 128),
        fixed("user_access", SqlType::TinyInt),
        columnFor("user_access_desc", SqlType::NVarChar, 60),
        fixed("is_read_only", SqlType::Bit),
        fixed("is_auto_close_on", SqlType::Bit),
        fixed("is_auto_shrink_on", SqlType::Bit),
        fixed("state", SqlType::TinyInt),
        columnFor("state_desc", SqlType::NVarChar, 60),
        fixed("is_in_standby", SqlType::Bit),
        fixed("recovery_model", SqlType::TinyInt),
        columnFor("recovery_model_desc", SqlType::NVarChar, 60),
    };
    for (const auto &db : catalogue.databases()) {
        table.rows.push_back({
            db.name,
            std::int64_t{db.id},
            Value{},
            Bytes{0x01},
            db.created,
            std::int64_t{db.compatibilityLevel},
            std::string("Arabic_CI_AS"),
            std::int64_t{db.userAccess == UserAccess::SingleUser           ? 1
                             : db.userAccess == UserAccess::RestrictedUser ? 2
                                                                           : 0},
            std::string(accessDescription(db.userAccess)),
            std::int64_t{0},
            std::int64_t{0},
            std::int64_t{0},
            stateNumber(db.state),
            std::string(stateDescription(db.state)),
            std::int64_t{0},
            recoveryNumber(db.recoveryModel),
            std::string(recoveryModelName(db.recoveryModel)),
        });
    }
    return table;
}

ResultTable databaseFilesView(const DatabaseInfo &database)
{
    ResultTable table;
    table.columns = {
        fixed("file_id", SqlType::Int),
        fixed("type", SqlType::TinyInt),
        columnFor("type_desc", SqlType::NVarChar, 60),
        fixed("data_space_id", SqlType::Int),
        columnFor("name", SqlType::NVarChar, 128),
        columnFor("physical_name", SqlType::NVarChar, 260),
        fixed("state", SqlType::TinyInt),
        columnFor("state_desc", SqlType::NVarChar, 60),
        fixed("size", SqlType::Int),
        fixed("max_size", SqlType::Int),
        fixed("growth", SqlType::Int),
        fixed("is_percent_growth", SqlType::Bit),
    };
    for (const auto &file : database.files) {
        const bool log = file.type == DatabaseFileType::Log;
        table.rows.push_back({
            std::int64_t{file.fileId},
            std::int64_t{log ? 1 : 0},
            std::string(log ? "LOG" : "ROWS"),
            std::int64_t{log ? 0 : 1},
            file.logicalName,
            file.physicalName,
            std::int64_t{0},
            std::string("ONLINE"),
            file.sizePages,
            file.maxSizePages,
            file.growth,
            std::int64_t{file.percentGrowth ? 1 : 0},
        });
    }
    return table;
}

// sysaltfiles of master: every file of every database, so a client can ask
// whose file a path is.
ResultTable sysaltfilesTable(const Catalogue &catalogue)
{
    ResultTable table = sysfilesTable(DatabaseInfo{});
    table.columns.insert(table.columns.begin() + 7, fixed("dbid", SqlType::SmallInt));
    for (const auto &db : catalogue.databases()) {
        for (auto &row : sysfilesTable(db).rows) {
            row.insert(row.begin() + 7, Value{std::int64_t{db.id}});
            table.rows.push_back(std::move(row));
        }
    }
    return table;
}

namespace {

ColumnInfo notNull(ColumnInfo column)
{
    column.nullable = false;
    return column;
}

ColumnInfo numeric20(const char *name)
{
    ColumnInfo column = columnFor(name, SqlType::Decimal, 0);
    column.precision = 20;
    column.scale = 0;
    return column;
}

Value textOrNull(const std::optional<std::string> &text)
{
    return text ? Value{*text} : Value{};
}

} // namespace

ResultTable backupSetTable(const BackupHistory &history, int compatibilityLevel)
{
    const bool compression = compatibilityLevel >= 100;
    ResultTable table;
    table.columns = {
        notNull(fixed("backup_set_id", SqlType::Int)),
        notNull(fixed("media_set_id", SqlType::Int)),
        fixed("position", SqlType::Int),
        columnFor("name", SqlType::NVarChar, 128),
        columnFor("user_name", SqlType::NVarChar, 128),
        fixed("backup_start_date", SqlType::DateTime),
        fixed("backup_finish_date", SqlType::DateTime),
        columnFor("type", SqlType::Char, 1),
        numeric20("backup_size"),
        columnFor("database_name", SqlType::NVarChar, 128),
        columnFor("server_name", SqlType::NVarChar, 128),
        fixed("is_copy_only", SqlType::Bit),
    };
    if (compression)
        table.columns.push_back(numeric20("compressed_backup_size"));
    for (const auto &set : history.backupSets()) {
        std::vector<Value> row{
            std::int64_t{set.backupSetId},
            std::int64_t{set.mediaSetId},
            std::int64_t{set.position},
            textOrNull(set.name),
            set.userName,
            set.backupStart,
            set.backupFinish,
            std::string(1, set.type),
            set.backupSize,
            set.databaseName,
            set.serverName,
            std::int64_t{set.copyOnly ? 1 : 0},
        };
        // Sets are not compressed: the compressed size is the size.
        if (compression)
            row.emplace_back(set.backupSize);
        table.rows.push_back(std::move(row));
    }
    return table;
}

ResultTable backupMediaFamilyTable(const BackupHistory &history)
{
    ResultTable table;
    table.columns = {
        notNull(fixed("media_set_id", SqlType::Int)),
        notNull(fixed("family_sequence_number", SqlType::TinyInt)),
        fixed("media_family_id", SqlType::UniqueIdentifier),
        fixed("media_count", SqlType::Int),
        columnFor("logical_device_name", SqlType::NVarChar, 128),
        columnFor("physical_device_name", SqlType::NVarChar, 260),
        fixed("device_type", SqlType::TinyInt),
        fixed("physical_block_size", SqlType::Int),
        notNull(fixed("mirror", SqlType::TinyInt)),
    };
    for (const auto &family : history.mediaFamilies())
        table.rows.push_back({
            std::int64_t{family.mediaSetId},
            std::int64_t{family.familySequenceNumber},
            Bytes(family.familyId.begin(), family.familyId.end()),
            std::int64_t{1},
            Value{},
            family.physicalDeviceName,
            std::int64_t{family.deviceType},
            std::int64_t{512},
            std::int64_t{0},
        });
    return table;
}

ResultTable restoreHistoryTable(const BackupHistory &history)
{
    ResultTable table;
    table.columns = {
        notNull(fixed("restore_history_id", SqlType::Int)),
        fixed("restore_date", SqlType::DateTime),
        columnFor("destination_database_name", SqlType::NVarChar, 128),
        columnFor("user_name", SqlType::NVarChar, 128),
        fixed("backup_set_id", SqlType::Int),
        columnFor("restore_type", SqlType::Char, 1),
        fixed("replace", SqlType::Bit),
        fixed("recovery", SqlType::Bit),
        fixed("restart", SqlType::Bit),
        fixed("stop_at", SqlType::DateTime),
        fixed("device_count", SqlType::TinyInt),
    };
    for (const auto &restore : history.restores())
        table.rows.push_back({
            std::int64_t{restore.restoreHistoryId},
            restore.restoreDate,
            restore.destinationDatabaseName,
            restore.userName,
            std::int64_t{restore.backupSetId},
            std::string(1, restore.restoreType),
            std::int64_t{restore.replace ? 1 : 0},
            std::int64_t{restore.recovery ? 1 : 0},
            std::int64_t{0},
            Value{},
            std::int64_t{1},
        });
    return table;
}

namespace {

// msdb's history tables, by their names in the dbo schema.
std::optional<ResultTable> msdbHistoryTable(const std::string &name, const std::string &schema,
                                            ExecutionContext &context)
{
    if (!schema.empty() && !sameName(schema, "dbo"))
        return std::nullopt;
    static constexpr const char *kTables[] = {"backupset", "backupmediafamily", "restorehistory"};
    const char *found = nullptr;
    for (const char *table : kTables)
        if (sameName(name, table))
            found = table;
    if (!found)
        return std::nullopt;
    // Who backed up what, from where, and when: for administrators only.
    if (context.session.role != ServerRole::SysAdmin)
        throw errors::selectPermissionDenied(found, "msdb", "dbo");
    const BackupHistory &history = context.storage.history();
    if (sameName(name, "backupset"))
        return backupSetTable(history, context.identity.compatibilityLevel);
    if (sameName(name, "backupmediafamily"))
        return backupMediaFamilyTable(history);
    return restoreHistoryTable(history);
}

std::string realText(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.7g", value);
    return text;
}

} // namespace

ResultTable execRequestsView(const std::vector<RunningRequest> &requests, const Catalogue &catalogue,
                             const SessionState &asking, DateTimeValue now)
{
    ResultTable table;
    table.columns = {
        notNull(fixed("session_id", SqlType::SmallInt)),
        notNull(fixed("request_id", SqlType::Int)),
        notNull(fixed("start_time", SqlType::DateTime)),
        notNull(columnFor("status", SqlType::NVarChar, 30)),
        notNull(columnFor("command", SqlType::NVarChar, 32)),
        notNull(fixed("database_id", SqlType::SmallInt)),
        notNull(fixed("blocking_session_id", SqlType::SmallInt)),
        columnFor("wait_type", SqlType::NVarChar, 60),
        notNull(fixed("percent_complete", SqlType::Real)),
        notNull(fixed("estimated_completion_time", SqlType::BigInt)),
        notNull(fixed("total_elapsed_time", SqlType::Int)),
    };
    // VIEW SERVER STATE, which sysadmin holds, shows every session's
    // requests; anyone else sees only their own.
    const bool everyone = asking.role == ServerRole::SysAdmin;
    for (const auto &request : requests) {
        if (!everyone && request.spid != asking.spid)
            continue;
        const auto db = catalogue.find(request.database);
        table.rows.push_back({
            std::int64_t{request.spid},
            std::int64_t{request.requestId},
            request.startTime,
            request.status,
            request.command,
            std::int64_t{db ? db->id : 0},
            std::int64_t{0},
            Value{},
            realText(request.percentComplete),
            std::int64_t{0},
            std::max<std::int64_t>(0, now.millisecondsSince1900 - request.startTime.millisecondsSince1900),
        });
    }
    std::sort(table.rows.begin(), table.rows.end(),
              [](const auto &a, const auto &b) { return std::get<std::int64_t>(a[0]) < std::get<std::int64_t>(b[0]); });
    return table;
}

ResultTable resolveTable(const TableReference &table, ExecutionContext &context)
{
    // parts: [[database.]schema.]name
    const std::string &name = table.parts.back();
    std::string schema, database;
    if (table.parts.size() >= 2)
        schema = table.parts[table.parts.size() - 2];
    if (table.parts.size() == 3)
        database = table.parts[0];
    const bool schemaFits = schema.empty() || sameName(schema, "dbo") || sameName(schema, "sys");
    // The catalog views exist only in the sys schema.
    const bool sysSchema = sameName(schema, "sys");

    std::optional<DatabaseInfo> db
        = context.catalogue.find(database.empty() ? context.session.currentDatabase : database);
    if (!db || !schemaFits)
        throw errors::invalidObject(table.written).atLine(table.line);
    if (sameName(db->name, "msdb"))
        if (auto history = msdbHistoryTable(name, schema, context))
            return std::move(*history);
    if (sameName(name, "sysdatabases"))
        return sysdatabasesTable(context.catalogue, context.identity);
    if (sameName(name, "sysfiles"))
        return sysfilesTable(*db);
    if (sysSchema && sameName(name, "databases"))
        return sysDatabasesView(context.catalogue);
    if (sysSchema && sameName(name, "dm_exec_requests"))
        return execRequestsView(context.sessions.runningRequests(), context.catalogue, context.session, serverNow());
    if (sysSchema && sameName(name, "database_files"))
        return databaseFilesView(*db);
    if (sameName(name, "sysaltfiles") && sameName(db->name, "master"))
        return sysaltfilesTable(context.catalogue);
    throw errors::invalidObject(table.written).atLine(table.line);
}

} // namespace sqlemu
