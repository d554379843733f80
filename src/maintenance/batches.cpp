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

std::optional<int> majorVersionFromBanner(std::string_view banner)
{
    // The version follows the first " - ": "... 2005 - 9.00.5000.00 ...".
    const std::size_t dash = banner.find(" - ");
    if (dash == std::string_view::npos)
        return std::nullopt;
    std::size_t i = dash + 3;
    int major = 0;
    std::size_t digits = 0;
    for (; i < banner.size() && banner[i] >= '0' && banner[i] <= '9' && digits < 3; ++i, ++digits)
        major = major * 10 + (banner[i] - '0');
    if (digits == 0 || i >= banner.size() || banner[i] != '.')
        return std::nullopt;
    return major;
}

std::string_view logShrinkSql(std::optional<int> majorVersion)
{
    constexpr int kFirstWithoutTruncateOnly = 10;
    if (majorVersion && *majorVersion < kFirstWithoutTruncateOnly)
        return kLogShrinkSql;
    return kRecoveryLogShrinkSql;
}

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
