#include "storage/damaged_backups.h"

#include "storage/backup_media.h"
#include "storage/collation.h"
#include "storage/file_io.h"
#include "storage/storage_error.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace sqlemu {

namespace {

std::mutex g_mutex;
std::vector<std::string> g_damaged; // guarded by g_mutex

} // namespace

void setBackupsDamaged(const std::string &database, bool damaged)
{
    std::lock_guard lock(g_mutex);
    std::erase_if(g_damaged, [&](const std::string &name) { return sameName(name, database); });
    if (damaged)
        g_damaged.push_back(database);
}

bool backupsDamaged(const std::string &database)
{
    std::lock_guard lock(g_mutex);
    return std::any_of(g_damaged.begin(), g_damaged.end(),
                       [&](const std::string &name) { return sameName(name, database); });
}

void damageBackupSet(const std::filesystem::path &mediaPath, int position)
{
    const BackupSetInfo set = readBackupSet(mediaPath, position);
    if (set.files.empty() || set.files.front().byteLength == 0)
        throw StorageError("The backup set has no data to damage");
    const std::uint64_t offset = set.setOffset + set.files.front().dataOffset;
    File media = File::openForUpdate(mediaPath);
    unsigned char byte = 0;
    if (!media.readAt(offset, &byte, 1))
        throw StorageError("The backup set ends before its data");
    byte ^= 0xFF;
    media.writeAt(offset, &byte, 1);
    media.sync();
}

} // namespace sqlemu
