#pragma once

#include <QString>

namespace movan {

// The folder beside the executable that holds the default database's files.
QString defaultDatabaseFolder();

// The full path of the first regular file in folder whose extension is
// extension (given without the dot), letter case ignored; "first" in the
// order of names compared without regard to case, as the disks the sibling
// programs run on return them, so every computer picks the same file. Empty
// when there is none; folders and other non-files never count.
QString firstFileWithExtension(const QString &folder, const QString &extension);

} // namespace movan
