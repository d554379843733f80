#include "setup/batches.h"

namespace movan {

namespace {

std::string bracketed(std::string_view name)
{
    std::string out = "[";
    for (char c : name) {
        out += c;
        if (c == ']')
            out += ']';
    }
    out += ']';
    return out;
}

std::string quoted(std::string_view text)
{
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'')
            out += '\'';
    }
    out += '\'';
    return out;
}

} // namespace

std::string attachDatabaseSql(std::string_view database, std::string_view dataFile, std::string_view logFile)
{
    std::string sql = "USE master CREATE DATABASE ";
    sql += bracketed(database);
    sql += " ON (FILENAME = N" + quoted(dataFile) + "),";
    sql += "(FILENAME = N" + quoted(logFile) + ")";
    sql += " FOR ATTACH";
    return sql;
}

} // namespace movan
