#pragma once

// The maintenance connection (kLocalMasterConnectionString among it) lives in
// a module of its own; its callers long reached it through this header.
#include "settings/maintenance_connection.h"

#include <QString>

namespace movan {

class ProfileFile;

// Every connection string the program hands to the provider. The catalog is
// spelt differently in different strings (" master", "Master", "master"); the
// sibling programs send the same strings, so they are kept as they are.

// The configured database: Windows authentication for "WIN", SQL Server
// authentication for "SQL" (type compared case-insensitively), else empty.
QString BuildConnectionString(const QString &server, const QString &type, const QString &user, const QString &password,
                              const QString &database);

// Server level, from InitPrg.ini beside the executable (type compared
// exactly); empty without the file or for another type.
QString BuildMasterConnectionString();
QString BuildMasterConnectionString(const ProfileFile &file);

// Server level for the restore, from InitPrg.ini beside the executable (type
// compared exactly); empty for another type.
QString buildRestoreConnectionString();
QString buildRestoreConnectionString(const ProfileFile &file);

} // namespace movan
