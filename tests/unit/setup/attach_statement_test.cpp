// The statement that attaches the default database: whatever the database
// name holds, it stays one bracketed name, and the file paths stay literals.
#include "setup/attach_statement.h"

#include <gtest/gtest.h>

namespace {

const QString kData = QStringLiteral("/opt/movan/Data/Tarnel.mdf");
const QString kLog = QStringLiteral("/opt/movan/Data/Tarnel_log.ldf");

QString expected(const QString &quotedName, const QString &data = kData, const QString &log = kLog)
{
    return QStringLiteral("USE master CREATE DATABASE %1 ON (FILENAME = N'%2'),(FILENAME = N'%3') FOR ATTACH")
        .arg(quotedName, data, log);
}

TEST(AttachStatement, TheNameIsAlwaysOneBracketedIdentifier)
{
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("Tarnel"), QStringLiteral("[Tarnel]")},
        {QStringLiteral("تارنل"), QStringLiteral("[تارنل]")},
        {QStringLiteral("My Db"), QStringLiteral("[My Db]")},
        {QStringLiteral("Tarnel-1391"), QStringLiteral("[Tarnel-1391]")},
        {QStringLiteral("a]b"), QStringLiteral("[a]]b]")},
        {QStringLiteral("]]"), QStringLiteral("[]]]]]")},
        {QStringLiteral("O'Neil"), QStringLiteral("[O'Neil]")},
        {QStringLiteral("x] ON (FILENAME = N'/etc/x') ; DROP DATABASE y --"),
         QStringLiteral("[x]] ON (FILENAME = N'/etc/x') ; DROP DATABASE y --]")},
        // Trimmed as the settings file keeps it, so the name attached is the
        // name the connection asks for.
        {QStringLiteral(" \tTarnel \r\n"), QStringLiteral("[Tarnel]")},
    };
    for (const auto &[name, quoted] : cases)
        EXPECT_EQ(attachStatement(name, kData, kLog), expected(quoted)) << name.toStdString();
}

TEST(AttachStatement, QuotesInFilePathsAreDoubled)
{
    const QString data = QStringLiteral("/home/o'neil/Data/Tar'nel.mdf");
    const QString log = QStringLiteral("/home/o'neil/Data/''.ldf");
    EXPECT_EQ(attachStatement(QStringLiteral("Tarnel"), data, log),
              expected(QStringLiteral("[Tarnel]"), QStringLiteral("/home/o''neil/Data/Tar''nel.mdf"),
                       QStringLiteral("/home/o''neil/Data/''''.ldf")));
}

} // namespace
