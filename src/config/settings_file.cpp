#include "config/settings_file.h"

#include "platform/executable_path.h"

QString settingsFilePath(const QString &fileName)
{
    return executableDirectory() + fileName;
}

ProfileFile openSettingsFile(const QString &fileName)
{
    return ProfileFile(settingsFilePath(fileName));
}
