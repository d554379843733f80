#pragma once

#include "engine_interface/result_sink.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sqlemu {

enum class DatabaseFileType { Data, Log };

// One file of a database as the catalogue records it. Sizes count 8-KB pages,
// as sysfiles shows them.
struct DatabaseFile {
    int fileId = 1;
    DatabaseFileType type = DatabaseFileType::Data;
    std::string logicalName;
    std::string physicalName; // full path, as the statement that made it named it
    std::int64_t sizePages = 0;
    std::int64_t maxSizePages = -1; // -1: grows until the disk is full
    std::int64_t growth = 10; // pages, or percent when percentGrowth
    bool percentGrowth = true;

    bool operator==(const DatabaseFile &) const = default;
};

enum class DatabaseState { Online, Restoring, Recovering, Suspect, Offline };
enum class UserAccess { MultiUser, SingleUser, RestrictedUser };
// Whether a checkpoint lets the log's space be used again (Simple), or only a
// log backup does (Full, BulkLogged).
enum class RecoveryModel { Full, BulkLogged, Simple };

struct DatabaseInfo {
    int id = 0; // dbid; the catalogue gives it on add
    std::string name;
    DatabaseState state = DatabaseState::Online;
    UserAccess userAccess = UserAccess::MultiUser;
    RecoveryModel recoveryModel = RecoveryModel::Full;
    DateTimeValue created;
    int compatibilityLevel = 90;
    // The login that attached or restored it: its dbo, whose database-level
    // rights (db_owner) it has whatever its server role.
    std::string owner = "sa";
    std::vector<DatabaseFile> files; // in file id order; data file first

    const DatabaseFile *primaryDataFile() const;
    const DatabaseFile *fileById(int fileId) const;
    bool isSystemDatabase() const { return id >= 1 && id <= 4; }

    bool operator==(const DatabaseInfo &) const = default;
};

} // namespace sqlemu
