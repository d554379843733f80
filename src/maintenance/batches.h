#pragma once

// The batches of the maintenance window, byte for byte: lines joined, each
// ended by CR LF, as the queries hold them. ":Name" marks a named parameter
// that the database layer sends as a command parameter.

#include <string>
#include <string_view>

namespace movan {

// FListSQL: the text of qrDBList as the window loads it.
inline constexpr std::string_view kDatabaseListSql =
    "Select name, filename from master.dbo.sysdatabases \r\n"
    "Where 1=1\r\n"
    "\r\n";

// Put in front of the list's condition when dbcDataList is ticked (two blanks
// after each OR, one at the end).
inline constexpr std::string_view kProgramDatabasesCondition =
    "name Like 'Qelnat%' OR  name like '%Movan%' OR  name like '%Tarnel%' ";

// qrCompressDB, parameter Ar_DataBase.
inline constexpr std::string_view kLogShrinkSql =
    "Declare\r\n"
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

// qrBackUp, parameters Ar_DataBase and Ar_Path.
inline constexpr std::string_view kBackupSql =
    "Declare @Ar_Path Varchar(255),\r\n"
    "        @Ar_DataBase varchar(50)\r\n"
    "\r\n"
    "Set @Ar_DataBase = :Ar_DataBase\r\n"
    "Set @Ar_Path     = :Ar_Path\r\n"
    "\r\n"
    "Set @Ar_DataBase = LTrim(RTrim(Replace(@Ar_DataBase, '''', '')))\r\n"
    "Declare @path varchar(200) Set @path= @Ar_Path  --+@Ar_DataBase+'_'+ Replace(Cast(GetDate() As char), ':', '-') + '.Back' \r\n"
    "BACKUP DATABASE @Ar_DataBase TO DISK = @path WITH NOINIT, NOUNLOAD, NAME = N'My Backup', NOSKIP, STATS = 10, NOFORMAT\r\n"
    "\r\n";

// The drop batch of cmCreateDataBase for the restore's target database
// (already trimmed); one line.
std::string dropDatabaseSql(std::string_view targetDb);

// The restore batch of QrRestore: the target database and the backup file
// (both already trimmed) and the program's folder ending in a backslash,
// below which the restored files are placed; one line.
std::string restoreDatabaseSql(std::string_view targetDb, std::string_view backupFile,
                               std::string_view programFolder);

} // namespace movan
