#pragma once

// The batches of the connection setup window, byte for byte.

#include <string>
#include <string_view>

namespace movan {

// qrGetInstance: the installed instances, read from the server's registry;
// lines joined, each ended by CR LF.
inline constexpr std::string_view kInstanceListSql = "use master\r\n"
                                                     "\r\n"
                                                     "EXECUTE \r\n"
                                                     "xp_regread\r\n"
                                                     "  @rootkey = 'HKEY_LOCAL_MACHINE',\r\n"
                                                     "  @key = 'SOFTWARE\\Microsoft\\Microsoft SQL Server',\r\n"
                                                     "  @value_name = 'InstalledInstances'\r\n";

// The attach statement of qrAttachDB: the database name bracketed with every
// "]" in it doubled, so that a name with blanks, hyphens or quotes stays one
// name and can never end the statement, and the full paths of the data and
// log files, each quoted with its single quotes doubled.
std::string attachDatabaseSql(std::string_view database, std::string_view dataFile, std::string_view logFile);

} // namespace movan
