#pragma once

// Tests only (sqlemu_test_damage_backups): backup sets written damaged on
// purpose, so that a client's verification can be seen to catch one. The
// set is committed as usual, then one byte of its first file's data is
// changed, as a failing disk would: its header still reads, its checksum no
// longer matches, so RESTORE VERIFYONLY and RESTORE fail with 3189.

#include <filesystem>
#include <string>

namespace sqlemu {

// From now on every backup of the database, by any session of this server,
// is damaged once written; on false, written whole again.
void setBackupsDamaged(const std::string &database, bool damaged);
bool backupsDamaged(const std::string &database);

// Changes one byte of the first file's data of the set at position.
void damageBackupSet(const std::filesystem::path &mediaPath, int position);

} // namespace sqlemu
