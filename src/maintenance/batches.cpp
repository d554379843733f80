#include "maintenance/batches.h"

namespace movan {

namespace {

std::string withDoubled(std::string_view text, char doubled)
{
    std::string out;
    out.reserve(text.size() + 2);
    for (char c : text) {
        out += c;
        if (c == doubled)
            out += doubled;
    }
    return out;
}

// Inside a string literal that the caller opens and closes.
std::string literalBody(std::string_view text)
{
    return withDoubled(text, '\'');
}

} // namespace

std::string bracketedName(std::string_view name)
{
    return "[" + withDoubled(name, ']') + "]";
}

std::string unicodeLiteral(std::string_view text)
{
    return "N'" + literalBody(text) + "'";
}

std::string dropDatabaseSql(std::string_view targetDb)
{
    const std::string name = bracketedName(targetDb);
    std::string sql = "USE MASTER IF EXISTS (SELECT name FROM master.dbo.sysdatabases WHERE name = ";
    sql += unicodeLiteral(targetDb);
    sql += ")ALTER DATABASE ";
    sql += name;
    sql += " SET SINGLE_USER WITH ROLLBACK IMMEDIATE  DROP DATABASE ";
    sql += name;
    return sql;
}

std::string restoreDatabaseSql(std::string_view targetDb, std::string_view backupFile, std::string_view programFolder)
{
    const std::string folder = literalBody(programFolder);
    std::string sql = " USE master  RESTORE DATABASE ";
    sql += bracketedName(targetDb);
    sql += " FROM DISK = ";
    sql += unicodeLiteral(backupFile);
    sql += " WITH MOVE '";
    sql += kRestoredDataLogicalName;
    sql += "' TO '";
    sql += folder;
    sql += "Data\\Data.mdf'  ,    MOVE '";
    sql += kRestoredLogLogicalName;
    sql += "' TO '";
    sql += folder;
    sql += "Data\\Data_Log.ldf'";
    return sql;
}

std::string fileListSql(std::string_view backupFile)
{
    return "RESTORE FILELISTONLY FROM DISK = " + unicodeLiteral(backupFile);
}

std::string verifySql(std::string_view backupFile)
{
    return "RESTORE VERIFYONLY FROM DISK = " + unicodeLiteral(backupFile);
}

} // namespace movan
