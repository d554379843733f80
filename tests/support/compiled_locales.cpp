#include "support/compiled_locales.h"

#include <QProcess>

CompiledLocales::CompiledLocales()
{
    for (const char *name : {"fa_IR", "en_US", "de_DE"}) {
        QProcess localedef;
        localedef.start(QStringLiteral("localedef"),
                        {QStringLiteral("-i"), QString::fromLatin1(name), QStringLiteral("-f"), QStringLiteral("UTF-8"),
                         m_folder.filePath(QString::fromLatin1(name) + QStringLiteral(".UTF-8"))});
        if (!localedef.waitForFinished(60000) || localedef.exitStatus() != QProcess::NormalExit
            || localedef.exitCode() != 0) {
            m_problem = QStringLiteral("localedef %1: %2")
                            .arg(QString::fromLatin1(name), QString::fromLocal8Bit(localedef.readAllStandardError()));
            return;
        }
    }
}
