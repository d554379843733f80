// Editing a hive in the text format Wine keeps it in: a value goes with all
// its lines and nothing else changes; names match as Wine matches them.
#include "platform/wine_hive_text.h"

#include <gtest/gtest.h>

using namespace movan;

namespace {

using WineHive::resolveKey;
using WineHive::withoutValue;

const QString kSessionManager = QStringLiteral("\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\");

// Wine's REG_LINK data: the target as UTF-16, in hex, over lines of its own.
QByteArray linkValue(const QString &target)
{
    QByteArray line = "\"SymbolicLinkValue\"=hex(6):";
    const QByteArray utf16(reinterpret_cast<const char *>(target.utf16()), target.size() * 2);
    for (qsizetype i = 0; i < utf16.size(); ++i) {
        line += QByteArray::number(uchar(utf16[i]), 16).rightJustified(2, '0');
        if (i + 1 < utf16.size())
            line += (i % 24 == 23) ? ",\\\n  " : ",";
    }
    return line + "\n";
}

// As Wine writes it, a link key included.
QByteArray hive(const QString &linkTarget = QStringLiteral("\\Registry\\Machine\\System\\ControlSet001"))
{
    return "WINE REGISTRY Version 2\n"
           ";; All keys relative to REGISTRY\\\\Machine\n"
           "\n"
           "#arch=win64\n"
           "\n"
           "[System\\\\ControlSet001\\\\Control\\\\Session Manager] 1796642912\n"
           "#time=1dd863e1760a800\n"
           "\"CriticalSectionTimeout\"=dword:00278d00\n"
           "\"PendingFileRenameOperations\"=hex(7):5c,00,3f,00,3f,00,5c,00,43,00,3a,00,\\\n"
           "  5c,00,61,00,00,00,00,00\n"
           "\"Pending\\\"Quoted\\\"\"=str(7):\"a\\0b\\0\"\n"
           "@=\"default\"\n"
           "\n"
           "[System\\\\ControlSet001\\\\Control\\\\Session Manager\\\\Environment] 1796642912\n"
           "#time=1dd863e176934f2\n"
           "\"PendingFileRenameOperations\"=\"in a subkey\"\n"
           "\n"
           "[System\\\\CurrentControlSet] 1796642912\n"
           "#time=1dd863e17600000\n"
           "#link\n"
        + linkValue(linkTarget)
        + "\n"
          "[Software\\\\Caf\\xe9\\\\Key] 1796642912\n"
          "\"Name\"=\"value\"\n";
}

const QByteArray kHive = hive();

QByteArray removedLines(const QByteArray &text, const QByteArray &lines)
{
    QByteArray result = text;
    const qsizetype at = result.indexOf(lines);
    EXPECT_GE(at, 0);
    return result.remove(at, lines.size());
}

TEST(WineHiveText, KeysResolveThroughLinksWithoutRegardToCase)
{
    const std::pair<QString, std::optional<QString>> cases[] = {
        {kSessionManager, QStringLiteral("System\\ControlSet001\\Control\\Session Manager")},
        {QStringLiteral("system\\controlset001\\control\\session manager"),
         QStringLiteral("system\\controlset001\\control\\session manager")},
        {QStringLiteral("Software\\Café\\Key"), QStringLiteral("Software\\Café\\Key")},
        {QStringLiteral("\\SYSTEM\\CurrentControlSet\\Control\\No Such Key\\"), std::nullopt},
        {QStringLiteral("System"), std::nullopt}, // implied by its subkeys, not written
    };
    for (const auto &[path, expected] : cases)
        EXPECT_EQ(resolveKey(kHive, path), expected) << path.toStdString();
}

TEST(WineHiveText, ALinkThatLeavesTheMachineOrLoopsLeadsNowhere)
{
    EXPECT_EQ(resolveKey(hive(QStringLiteral("\\Registry\\Machine\\System\\CurrentControlSet")), kSessionManager),
              std::nullopt);
    EXPECT_EQ(resolveKey(hive(QStringLiteral("\\Registry\\User\\System\\ControlSet001")), kSessionManager),
              std::nullopt);
}

TEST(WineHiveText, RemovingAValueKeepsEveryOtherByte)
{
    const auto hexValue = withoutValue(kHive, kSessionManager, QStringLiteral("pendingfilerenameoperations"));
    ASSERT_TRUE(hexValue);
    EXPECT_EQ(*hexValue,
              removedLines(kHive,
                           "\"PendingFileRenameOperations\"=hex(7):5c,00,3f,00,3f,00,5c,00,43,00,3a,00,\\\n"
                           "  5c,00,61,00,00,00,00,00\n"));

    const auto escaped = withoutValue(kHive, kSessionManager, QStringLiteral("Pending\"Quoted\""));
    ASSERT_TRUE(escaped);
    EXPECT_EQ(*escaped, removedLines(kHive, "\"Pending\\\"Quoted\\\"\"=str(7):\"a\\0b\\0\"\n"));

    QByteArray crlf = kHive;
    crlf.replace("\n", "\r\n");
    const auto fromCrlf = withoutValue(crlf, kSessionManager, QStringLiteral("CriticalSectionTimeout"));
    ASSERT_TRUE(fromCrlf);
    EXPECT_EQ(*fromCrlf, removedLines(crlf, "\"CriticalSectionTimeout\"=dword:00278d00\r\n"));
}

TEST(WineHiveText, NothingToRemoveChangesNothing)
{
    EXPECT_EQ(withoutValue(kHive, kSessionManager, QStringLiteral("NoSuchValue")), std::nullopt);
    EXPECT_EQ(
        withoutValue(kHive, kSessionManager + QStringLiteral("Missing"), QStringLiteral("PendingFileRenameOperations")),
        std::nullopt);
    // "@" is the default value's mark, not a value named "@".
    EXPECT_EQ(withoutValue(kHive, kSessionManager, QStringLiteral("@")), std::nullopt);
    EXPECT_FALSE(WineHive::isHiveText("[Section]\nKey=Value\n"));
    EXPECT_TRUE(WineHive::isHiveText(kHive));
}

} // namespace
