#pragma once

// The batches of the maintenance window, byte for byte: lines joined, each
// ended by CR LF, as the queries hold them. ":Name" marks a named parameter
// that the database layer sends as a command parameter.

#include "backup/backup_batch.h"

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

// qrCompressDB, parameter Ar_DataBase.
inline constexpr std::string_view kLogShrinkSql = "Declare\r\n"
                                                  "\t@DataBase Varchar(50)\r\n"
                                                  "Set @DataBase = :Ar_DataBase\r\n"
                                                  "checkpoint\r\n"
                                                  "BACKUP LOG @DataBase WITH TRUNCATE_ONLY\r\n"
                                                  "\r\n"
                                                  "DECLARE @LogName varchar(100)\r\n"
                                                  "SELECT @LogName=NAME FROM SYSFILES WHERE FILEID = 2\r\n"
                                                  "SET @LogName = LTRIM(RTRIM(@LogName))\r\n"
                                                  "\r\n"
                                                  "DBCC SHRINKFILE(@LogName, 1)\r\n";

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
