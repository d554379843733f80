#pragma once

#include "storage/database_info.h"

#include <filesystem>
#include <vector>

namespace sqlemu {

// master, tempdb, model and msdb (dbid 1 to 4) with the logical and physical
// file names a real server gives them, their files in the instance's folder.
std::vector<DatabaseInfo> systemDatabases(const std::filesystem::path &dataDir, int compatibilityLevel);

} // namespace sqlemu
