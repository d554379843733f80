#pragma once

#include <QString>

// A name as a bracketed identifier, every "]" in it doubled, so that a
// database name with blanks, hyphens or quotes stays one name and can never
// end the statement it stands in.
QString quotedIdentifier(const QString &name);

// A text as a Unicode string literal (N'...'), every "'" in it doubled.
QString unicodeStringLiteral(const QString &text);

// The statement that attaches the default database from its data and log
// files. The name is trimmed as the settings file stores it, then quoted.
QString attachStatement(const QString &databaseName, const QString &dataFile, const QString &logFile);
