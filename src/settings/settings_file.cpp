#include "settings/settings_file.h"

#include "platform/executable_path.h"

namespace movan {

QString settingsFilePath(const QString &fileName)
{
    return executableDirectory() + fileName;
}

ProfileFile openSettingsFile(const QString &fileName)
{
    return ProfileFile(settingsFilePath(fileName));
}

} // namespace movan
