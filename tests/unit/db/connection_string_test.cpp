#include "db/connection_string.h"

#include "support/qt_printers.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace movan;

namespace {

TEST(ConnectionStringValue, QuotesOnlyWhatNeedsIt)
{
    const std::pair<const char *, const char *> cases[] = {
        {"plain", "plain"},
        {"", ""},
        {"in side", "in side"},
        {"a;b", "\"a;b\""},
        {"a=b", "\"a=b\""},
        {"it's", "\"it's\""},
        {"say \"hi\"", "'say \"hi\"'"},
        {"both ' and \"", "'both '' and \"'"},
        {" lead", "\" lead\""},
        {"trail\t", "\"trail\t\""},
    };
    for (const auto &[value, expected] : cases)
        EXPECT_EQ(connectionStringValue(QString::fromUtf8(value)), QString::fromUtf8(expected)) << value;
}

TEST(ParseConnectionString, FollowsTheOleDbSyntax)
{
    const ConnectionProperties p = parseConnectionString(
        QStringLiteral("Provider=SQLOLEDB.1; password = 'x;y''z' ;Persist Security Info=True;User ID=sa;"
                       "Initial Catalog= master;Data Source=HOST\\INST;key==with=\"v\";;Empty=;user id=last"));
    EXPECT_EQ(p.value(QStringLiteral("provider")), QStringLiteral("SQLOLEDB.1"));
    EXPECT_EQ(p.value(QStringLiteral("Password")), QStringLiteral("x;y'z"));
    EXPECT_EQ(p.value(QStringLiteral("Initial Catalog")), QStringLiteral("master"));
    EXPECT_EQ(p.value(QStringLiteral("DATA SOURCE")), QStringLiteral("HOST\\INST"));
    EXPECT_EQ(p.value(QStringLiteral("key=with")), QStringLiteral("v"));
    EXPECT_TRUE(p.contains(QStringLiteral("Empty")));
    EXPECT_EQ(p.value(QStringLiteral("Empty"), QStringLiteral("none")), QString());
    EXPECT_EQ(p.value(QStringLiteral("User ID")), QStringLiteral("last")) << "the last of a repeated key wins";
    EXPECT_EQ(p.keys().first(), QStringLiteral("Provider"));
}

TEST(ParseConnectionString, RefusesMalformedText)
{
    for (const char *bad : {"Password='open", "Password=\"x\"y;", "JustAKey", "=value", "a=1;b"})
        EXPECT_THROW(parseConnectionString(QString::fromUtf8(bad)), ConnectionStringError) << bad;
}

// Values drawn from the characters that matter to the syntax, Persian
// letters, and control characters.
QString randomValue(QRandomGenerator &random)
{
    static const QString alphabet = QStringLiteral("ab ;='\"\t\x01\x1f") + QStringLiteral("سلامپژ") + QChar(0x200F);
    QString value;
    const int length = random.bounded(0, 12);
    for (int i = 0; i < length; ++i)
        value += alphabet[random.bounded(alphabet.size())];
    return value;
}

TEST(ConnectionStringProperty, BuildThenParseGivesBackEveryValue)
{
    QRandomGenerator random(20261207);
    for (int round = 0; round < 20000; ++round) {
        const QString password = randomValue(random);
        const QString server = randomValue(random);
        const QString text = QStringLiteral("Provider=SQLOLEDB.1;Password=") + connectionStringValue(password)
            + QStringLiteral(";Data Source=") + connectionStringValue(server) + QStringLiteral(";Packet Size=4096");
        ConnectionProperties parsed;
        ASSERT_NO_THROW(parsed = parseConnectionString(text)) << text.toStdString();
        ASSERT_EQ(parsed.value(QStringLiteral("Password")), password) << text.toStdString();
        ASSERT_EQ(parsed.value(QStringLiteral("Data Source")), server) << text.toStdString();
        ASSERT_EQ(parsed.value(QStringLiteral("Packet Size")), QStringLiteral("4096"));
    }
}

} // namespace
