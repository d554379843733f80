#include "support/test_paths.h"

#include <QDir>

QString sourceTreePath(const QString &relative)
{
    return QDir(qEnvironmentVariable("MOVAN_SOURCE_DIR")).filePath(relative);
}

QString builtExecutablePath(const QString &name)
{
    return QDir(qEnvironmentVariable("MOVAN_BIN_DIR")).filePath(name);
}
