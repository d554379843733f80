#pragma once

#include "engine_interface/engine.h"
#include "engine_interface/result_sink.h"
#include "sql/ast.h"
#include "sql/server_identity.h"
#include "sql/session_registry.h"
#include "storage/database_info.h"

#include <optional>
#include <string_view>
#include <vector>

namespace sqlemu {

class BackupHistory;
class Catalogue;
struct ExecutionContext;

// Rows with their column metadata: a system view, or a procedure's result.
struct ResultTable {
    std::vector<ColumnInfo> columns;
    std::vector<std::vector<Value>> rows;

    std::optional<std::size_t> columnIndex(std::string_view name) const; // case-insensitive
};

// master.dbo.sysdatabases: one row per database in dbid order, with the
// columns and types of a real server.
ResultTable sysdatabasesTable(const Catalogue &catalogue, const ServerIdentity &identity);

// sysfiles of one database: one row per file.
ResultTable sysfilesTable(const DatabaseInfo &database);

// sys.databases: one row per database, the recovery model among its columns.
ResultTable sysDatabasesView(const Catalogue &catalogue);
// sys.database_files of one database: type 0 (ROWS) for data, 1 (LOG).
ResultTable databaseFilesView(const DatabaseInfo &database);
// FULL, BULK_LOGGED or SIMPLE, as ALTER DATABASE and sys.databases spell it.
const char *recoveryModelName(RecoveryModel model);

// msdb's history of backups and restores. compressed_backup_size exists
// from SQL Server 2008 (compatibility level 100) on.
ResultTable backupSetTable(const BackupHistory &history, int compatibilityLevel);
ResultTable backupMediaFamilyTable(const BackupHistory &history);
ResultTable restoreHistoryTable(const BackupHistory &history);

// sys.dm_exec_requests as the asking session sees it: every running
// request for a sysadmin (VIEW SERVER STATE), only its own otherwise; in
// session order.
ResultTable execRequestsView(const std::vector<RunningRequest> &requests, const Catalogue &catalogue,
                             const SessionState &asking, DateTimeValue now);

// Finds the system view a FROM clause names ([db.][schema.]name), seen from
// the session's current database. Throws SqlError 208 for anything else,
// 229 for msdb's history tables to a login that is not sysadmin.
ResultTable resolveTable(const TableReference &table, ExecutionContext &context);

} // namespace sqlemu
