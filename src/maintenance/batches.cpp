#include "maintenance/batches.h"

namespace movan {

std::string dropDatabaseSql(std::string_view targetDb)
{
    std::string sql = "USE MASTER IF EXISTS (SELECT name FROM master.dbo.sysdatabases WHERE name = N'";
    sql += targetDb;
    sql += "')ALTER DATABASE ";
    sql += targetDb;
    sql += " SET SINGLE_USER WITH ROLLBACK IMMEDIATE  DROP DATABASE ";
    sql += targetDb;
    return sql;
}

std::string restoreDatabaseSql(std::string_view targetDb, std::string_view backupFile,
                               std::string_view programFolder)
{
    std::string sql = " USE master  RESTORE DATABASE ";
    sql += targetDb;
    sql += " FROM DISK = N'";
    sql += backupFile;
    sql += "' WITH MOVE 'Data_Data' TO '";
    sql += programFolder;
    sql += "Data\\Data.mdf'  ,    MOVE 'Data_log' TO '";
    sql += programFolder;
    sql += "Data\\Data_Log.ldf'";
    return sql;
}

} // namespace movan
