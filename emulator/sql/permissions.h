#pragma once

#include "engine_interface/engine.h"

#include <string>

namespace sqlemu {

struct ExecutionContext;

// The server-level permission checks, in small: statements that write or
// read files at paths the client names, or that remove a database, need the
// sysadmin or dbcreator server role. Each check throws SqlError with a real
// server's refusal (and, where that statement has one, its termination
// message) when the session lacks the role.

// Whether a session of that role may work on databases and their files.
bool mayWorkOnDatabaseFiles(ServerRole role);

void requireBackupPermission(const ExecutionContext &context, const std::string &statement,
                             const std::string &database); // 262 + 3013
void requireRestorePermission(const ExecutionContext &context, const std::string &database); // 3110 + 3013
// RESTORE HEADERONLY, FILELISTONLY, VERIFYONLY read any file the client
// names, so they need CREATE DATABASE permission as on a real server.
void requireBackupReadPermission(const ExecutionContext &context, const std::string &terminating); // 262 + 3013
void requireCreateDatabasePermission(const ExecutionContext &context); // 262
void requireDropPermission(const ExecutionContext &context, const std::string &database); // 3701
void requireAlterPermission(const ExecutionContext &context, const std::string &database); // 5011 + 5069

// Work on one database's log and files is for sysadmin and the database's
// owner (db_owner; the emulator keeps no other database roles).
void requireLogBackupPermission(const ExecutionContext &context, const std::string &database); // 262 + 3013
void requireShrinkPermission(const ExecutionContext &context, const std::string &database); // 2571

} // namespace sqlemu
