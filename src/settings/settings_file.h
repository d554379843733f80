#pragma once

#include "platform/profile_file.h"

#include <QString>

namespace movan {

// InitPrg.ini beside the executable; the working directory plays no part.
// Opened afresh for every use, so a change made by a sibling program is seen
// at the next read.
QString settingsFilePath(const QString &fileName);
ProfileFile openSettingsFile(const QString &fileName);

} // namespace movan
