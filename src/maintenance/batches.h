#pragma once

// The batches of the maintenance window, byte for byte: lines joined, each
// ended by CR LF, as the queries hold them. ":Name" marks a named parameter
// that the database layer sends as a command parameter.

#include "backup/backup_batch.h"

#include <optional>
#include <string>
#include <string_view>

namespace movan {

// FListSQL: the text of qrDBList as the window loads it.
inline constexpr std::string_view kDatabaseListSql = "Select name, filename from master.dbo.sysdatabases \r\n"
                                                     "Where 1=1\r\n"
                                                     "\r\n";

// Put in front of the list's condition when dbcDataList is ticked (two blanks
// after each OR, one at the end).
inline constexpr std::string_view kProgramDatabasesCondition
    = "name Like 'Qelnat%' OR  name like '%Movan%' OR  name like '%Tarnel%' ";

// qrCompressDB, parameter Ar_DataBase, on servers before SQL Server 2008
// (10.0), which still truncate a log without backing it up. The name is held
// as Unicode at full length, as database names are.
inline constexpr std::string_view kLogShrinkSql = "Declare\r\n"
                                                  "\t@DataBase nvarchar(128)\r\n"
                                                  "Set @DataBase = :Ar_DataBase\r\n"
                                                  "checkpoint\r\n"
                                                  "BACKUP LOG @DataBase WITH TRUNCATE_ONLY\r\n"
                                                  "\r\n"
                                                  "DECLARE @LogName varchar(100)\r\n"
                                                  "SELECT @LogName=NAME FROM SYSFILES WHERE FILEID = 2\r\n"
                                                  "SET @LogName = LTRIM(RTRIM(@LogName))\r\n"
                                                  "\r\n"
                                                  "DBCC SHRINKFILE(@LogName, 1)\r\n";

// qrCompressDB on SQL Server 2008 and later, which refuse TRUNCATE_ONLY: the
// log is let go by a checkpoint under simple recovery, then the database goes
// back to the recovery model it had. The server finds the log file of the
// named database itself. A database it does not know fails on USE (911), so
// the shrink reports the failure instead of doing nothing. The switch back is
// a statement of its own: a failed shrink does not skip it.
inline constexpr std::string_view kRecoveryLogShrinkSql
    = "Declare\r\n"
      "\t@DataBase nvarchar(128)\r\n"
      "Set @DataBase = :Ar_DataBase\r\n"
      "DECLARE @Recovery nvarchar(60), @Name nvarchar(258), @Sql nvarchar(4000)\r\n"
      "SET @Name = QUOTENAME(@DataBase)\r\n"
      "SELECT @Recovery = recovery_model_desc FROM master.sys.databases WHERE name = @DataBase\r\n"
      "IF @Recovery IS NULL\r\n"
      "\tSET @Sql = N'USE ' + @Name\r\n"
      "ELSE\r\n"
      "\tSET @Sql = N'USE ' + @Name + N'\r\n"
      "DECLARE @LogName nvarchar(128)\r\n"
      "SELECT @LogName = name FROM sys.database_files WHERE type = 1\r\n"
      "ALTER DATABASE ' + @Name + N' SET RECOVERY SIMPLE\r\n"
      "CHECKPOINT\r\n"
      "DBCC SHRINKFILE(@LogName, 1)\r\n"
      "ALTER DATABASE ' + @Name + N' SET RECOVERY ' + @Recovery\r\n"
      "EXEC sp_executesql @Sql\r\n";

// The client's size of the shrink's parameter, matching its declaration.
inline constexpr int kLogShrinkDataBaseParameterSize = 128;

// Asks the server for the banner whose version picks the shrink's batch.
inline constexpr std::string_view kServerVersionSql = "SELECT @@VERSION AS Version";

// The major version in a server's @@VERSION banner ("Microsoft SQL Server
// 2008 R2 (SP2) - 10.50.4000.0 (Intel X86) ..." gives 10); nothing when the
// banner shows none.
std::optional<int> majorVersionFromBanner(std::string_view banner);

// The shrink batch for a server of that major version; an unknown version
// gets the one every current server runs.
std::string_view logShrinkSql(std::optional<int> majorVersion);

// The logical files a backup must hold for the restore to place them.
inline constexpr std::string_view kRestoredDataLogicalName = "Data_Data";
inline constexpr std::string_view kRestoredLogLogicalName = "Data_log";

// The name as an identifier: in brackets, each "]" doubled.
std::string bracketedName(std::string_view name);
// The text as a Unicode string literal: N'...', each "'" doubled.
std::string unicodeLiteral(std::string_view text);

// The drop batch of cmCreateDataBase for the restore's target database
// (already trimmed); one line.
std::string dropDatabaseSql(std::string_view targetDb);

// The restore batch of QrRestore: the target database and the backup file
// (both already trimmed) and the program's folder ending in a separator,
// below which the restored files are placed; one line.
std::string restoreDatabaseSql(std::string_view targetDb, std::string_view backupFile, std::string_view programFolder);

// What the restore asks of the backup file before it replaces anything: the
// logical files of its first set, and whether that set reads back whole.
std::string fileListSql(std::string_view backupFile);
std::string verifySql(std::string_view backupFile);

} // namespace movan
