#include "setup/attach_statement.h"

#include "util/text_trim.h"

QString quotedIdentifier(const QString &name)
{
    QString inner = name;
    inner.replace(u']', QStringLiteral("]]"));
    return u'[' + inner + u']';
}

QString unicodeStringLiteral(const QString &text)
{
    QString inner = text;
    inner.replace(u'\'', QStringLiteral("''"));
    return QStringLiteral("N'") + inner + u'\'';
}

QString attachStatement(const QString &databaseName, const QString &dataFile, const QString &logFile)
{
    return QStringLiteral("USE master CREATE DATABASE ") + quotedIdentifier(TrimControl(databaseName))
         + QStringLiteral(" ON (FILENAME = ") + unicodeStringLiteral(dataFile) + QStringLiteral("),")
         + QStringLiteral("(FILENAME = ") + unicodeStringLiteral(logFile) + u')' + QStringLiteral(" FOR ATTACH");
}
