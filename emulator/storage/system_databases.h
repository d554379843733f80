#pragma once

#include "storage/database_info.h"

#include <filesystem>
#include <vector>

namespace sqlemu {

// master, tempdb, model and msdb (dbid 1 to 4) with the logical and physical
// file names a real server gives them, their files in the instance's folder.
std::vector<DatabaseInfo> systemDatabases(const std::filesystem::path &dataDir, int compatibilityLevel);

class Catalogue;

// Writes the files of each system database whose files are both missing (a
// new instance, or one whose catalogue predates them), so that they can be
// backed up and shrunk as a real server's; the catalogue takes their sizes.
// Returns the names of those it could not write (the reason is the disk's).
std::vector<std::string> createMissingSystemDatabaseFiles(Catalogue &catalogue);

} // namespace sqlemu
