#pragma once

#include "sql/system_tables.h"
#include "storage/backup_media.h"

#include <vector>

namespace sqlemu {

// RESTORE HEADERONLY: one row per backup set, with the columns of the
// server version played (compatibilityLevel 90 = SQL Server 2005; later
// versions add columns at the end). Values the storage does not keep (log
// sequence numbers, GUIDs, sort orders) are made up, stable per set.
ResultTable backupHeaderTable(const std::vector<BackupSetInfo> &sets, int compatibilityLevel);

// RESTORE FILELISTONLY: one row per file of a set.
ResultTable backupFileListTable(const BackupSetInfo &set, int compatibilityLevel);

} // namespace sqlemu
