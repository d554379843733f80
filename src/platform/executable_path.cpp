#include "platform/executable_path.h"

#include <QFileInfo>

QString executableDirectory()
{
    // /proc/self/exe names the executable even before a QCoreApplication
    // exists and whatever argv[0] says.
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    QString dir = QFileInfo(exe).absolutePath();
    if (!dir.endsWith(u'/'))
        dir += u'/';
    return dir;
}
