#include "storage/database_info.h"

namespace sqlemu {

const DatabaseFile *DatabaseInfo::primaryDataFile() const
{
    for (const auto &file : files)
        if (file.type == DatabaseFileType::Data)
            return &file;
    return nullptr;
}

const DatabaseFile *DatabaseInfo::fileById(int fileId) const
{
    for (const auto &file : files)
        if (file.fileId == fileId)
            return &file;
    return nullptr;
}

} // namespace sqlemu
