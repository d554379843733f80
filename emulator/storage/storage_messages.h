#pragma once

#include "engine_interface/result_sink.h"
#include "storage/database_info.h"
#include "storage/file_io.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sqlemu::storage_messages {

// The real server's messages about database files and backups, each with
// its number, severity, state and text. Informational ones travel with
// class 0, as real servers send them.

// Progress and results.
ServerMessage percentProcessed(int percent); // 3211
ServerMessage pagesProcessed(std::int64_t pages, std::string_view database, std::string_view logicalFile,
                             int position); // 4035
// statement: "BACKUP DATABASE", "BACKUP LOG", "RESTORE DATABASE".
ServerMessage successfullyProcessed(std::string_view statement, std::int64_t pages, double seconds); // 3014
ServerMessage backupSetValid(int position); // 3262
ServerMessage dbccCompleted(); // 2528

// Database files.
ServerMessage cannotOpenPhysicalFile(std::string_view path, const OsError &error); // 5120
ServerMessage invalidFileHeader(std::string_view path, std::string_view property); // 5172
ServerMessage filesDoNotMatch(); // 5173
ServerMessage newerDatabaseVersion(std::string_view database, int version, int supported); // 948
ServerMessage createDatabaseFailed(); // 1802
ServerMessage couldNotOpenNewDatabase(std::string_view database); // 1813
ServerMessage databaseExists(std::string_view database); // 1801
ServerMessage cannotCreateFile(std::string_view path); // 5170
ServerMessage createFileFailed(std::string_view path, const OsError &error); // 5123
ServerMessage cannotDropMissing(std::string_view database); // 3701
ServerMessage cannotDropInUse(std::string_view database); // 3702
ServerMessage cannotDropSystemDatabase(std::string_view database); // 3708
ServerMessage exclusiveAccessNotObtained(); // 3101
ServerMessage databaseBeingRestored(std::string_view database); // 927
// Why a database in that state cannot be used: 927 restoring, 922
// recovering, 926 suspect, 942 offline; nothing when it is online.
std::optional<ServerMessage> databaseUnavailable(std::string_view database, DatabaseState state);
ServerMessage unknownDatabase(std::string_view database, bool oldText, int state); // 911
ServerMessage fileNotInDatabase(std::string_view file, std::string_view database); // 8985

// Backup media.
ServerMessage cannotOpenBackupDevice(std::string_view path, const OsError &error, int state); // 3201
ServerMessage writeFailed(std::string_view path, const OsError &error); // 3202
ServerMessage readFailed(std::string_view path, const OsError &error); // 3203
ServerMessage mediaFamilyIncorrectlyFormed(std::string_view path); // 3241
ServerMessage volumeEmpty(std::string_view path); // 3254
ServerMessage backupDataAtEndIncorrect(std::string_view path); // 3266
ServerMessage backupSetDamaged(); // 3189
ServerMessage noSuchBackupSet(int position, std::string_view path); // 4038

// Restore planning.
ServerMessage logicalFileNotInBackup(std::string_view logical, std::string_view database); // 3234
ServerMessage backupOfOtherDatabase(std::string_view database); // 3154
ServerMessage tailLogNotBackedUp(std::string_view database); // 3159
ServerMessage fileInUseByDatabase(std::string_view path, std::string_view database); // 1834
ServerMessage directoryLookupFailed(std::string_view path, const OsError &error); // 5133
// attempt: what the server was doing, e.g. "RestoreContainer::ValidateTargetForCreation".
ServerMessage operatingSystemError(const OsError &error, std::string_view attempt, std::string_view path); // 3634
ServerMessage cannotRestoreOverExisting(std::string_view logical, std::string_view path); // 3142
ServerMessage fileCannotBeRestored(std::string_view logical, std::string_view path, int state); // 3156
ServerMessage restorePlanningProblems(); // 3119

} // namespace sqlemu::storage_messages
