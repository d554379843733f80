#pragma once

// The batches the tool sends, byte for byte (lines joined with CR LF), with
// its named parameters as the database layer passes them to sp_executesql.

namespace sqlemu::test {

inline constexpr const char *kInstanceListBatch =
    "use master\r\n"
    "\r\n"
    "EXECUTE \r\n"
    "xp_regread\r\n"
    "  @rootkey = 'HKEY_LOCAL_MACHINE',\r\n"
    "  @key = 'SOFTWARE\\Microsoft\\Microsoft SQL Server',\r\n"
    "  @value_name = 'InstalledInstances'\r\n";

inline constexpr const char *kDatabaseListBatch =
    "Select name, filename from master.dbo.sysdatabases \r\n"
    "Where 1=1\r\n"
    "\r\n";

inline constexpr const char *kFilteredDatabaseListBatch =
    "Select name, filename from master.dbo.sysdatabases \r\n"
    "Where name Like 'Qelnat%' OR  name like '%Movan%' OR  name like '%Tarnel%'  AND  1=1\r\n"
    "\r\n";

inline constexpr const char *kLogShrinkBatch =
    "Declare\r\n"
    "\t@DataBase Varchar(50)\r\n"
    "Set @DataBase = @P1\r\n"
    "checkpoint\r\n"
    "BACKUP LOG @DataBase WITH TRUNCATE_ONLY\r\n"
    "\r\n"
    "DECLARE @LogName varchar(100)\r\n"
    "SELECT @LogName=NAME FROM SYSFILES WHERE FILEID = 2\r\n"
    "SET @LogName = LTRIM(RTRIM(@LogName))\r\n"
    "\r\n"
    "DBCC SHRINKFILE(@LogName, 1)\r\n";

inline constexpr const char *kBackupBatch =
    "Declare @Ar_Path Varchar(255),\r\n"
    "        @Ar_DataBase varchar(50)\r\n"
    "\r\n"
    "Set @Ar_DataBase = @P1\r\n"
    "Set @Ar_Path     = @P2\r\n"
    "\r\n"
    "Set @Ar_DataBase = LTrim(RTrim(Replace(@Ar_DataBase, '''', '')))\r\n"
    "Declare @path varchar(200) Set @path= @Ar_Path  --+@Ar_DataBase+'_'+ Replace(Cast(GetDate() As char), ':', '-') + '.Back' \r\n"
    "BACKUP DATABASE @Ar_DataBase TO DISK = @path WITH NOINIT, NOUNLOAD, NAME = N'My Backup', NOSKIP, STATS = 10, NOFORMAT\r\n"
    "\r\n";

inline constexpr const char *kAttachBatch =
    "USE master CREATE DATABASE Tarnel ON (FILENAME = N'C:\\App\\Data\\Tar''nel.mdf'),"
    "(FILENAME = N'C:\\App\\Data\\Tarnel_log.ldf') FOR ATTACH";

inline constexpr const char *kDropBatch =
    "USE MASTER IF EXISTS (SELECT name FROM master.dbo.sysdatabases WHERE name = N'Tarnel')"
    "ALTER DATABASE Tarnel SET SINGLE_USER WITH ROLLBACK IMMEDIATE  DROP DATABASE Tarnel";

inline constexpr const char *kRestoreBatch =
    " USE master  RESTORE DATABASE Tarnel FROM DISK = N'D:\\Backup\\Tarnel_13910829_14-05.Bak'"
    " WITH MOVE 'Data_Data' TO 'C:\\App\\Data\\Data.mdf'  ,    MOVE 'Data_log' TO 'C:\\App\\Data\\Data_Log.ldf'";

} // namespace sqlemu::test
