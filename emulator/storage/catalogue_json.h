#pragma once

#include "storage/database_info.h"

#include <string>
#include <string_view>
#include <vector>

namespace sqlemu {

// The catalogue file's format (see emulator/README.md). Parsing checks
// everything it reads and throws StorageError on the first fault, so a
// damaged file is never half-loaded.
std::string catalogueToJson(const std::vector<DatabaseInfo> &databases);
std::vector<DatabaseInfo> catalogueFromJson(std::string_view text);

constexpr int kCatalogueFormatVersion = 1;

} // namespace sqlemu
