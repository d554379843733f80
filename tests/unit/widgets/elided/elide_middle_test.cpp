#include "widgets/elided/elide_middle.h"

#include <gtest/gtest.h>

using namespace movan;

namespace {

// Ten units a character (a surrogate pair is one), whatever it is.
int tenEach(const QString &text)
{
    int width = 0;
    for (const QChar c : text)
        width += c.isLowSurrogate() ? 0 : 10;
    return width;
}

TEST(ElideMiddle, KeepsBothEndsAndMarksTheCut)
{
    const QString pair = QString::fromUcs4(U"\U0001F600");
    const struct {
        QString text;
        int width;
        QString expected;
    } cases[] = {
        {QStringLiteral("abcdef"), 60, QStringLiteral("abcdef")},
        {QStringLiteral("abcdef"), 100, QStringLiteral("abcdef")},
        {QStringLiteral("abcdefgh"), 50, QStringLiteral("ab…gh")},
        {QStringLiteral("abcdefgh"), 59, QStringLiteral("ab…gh")},
        {QStringLiteral("abcdefgh"), 40, QStringLiteral("ab…h")},
        {QStringLiteral("بليت Kerberos (sa)"), 90, QStringLiteral("بليت…(sa)")},
        {QStringLiteral("abcdefgh"), 10, QStringLiteral("…")},
        {QStringLiteral("abcdefgh"), 0, QStringLiteral("…")},
        // Never half of a pair at either side of the cut.
        {QStringLiteral("a") + pair + QStringLiteral("bcd") + pair + QStringLiteral("e"), 50,
         QStringLiteral("a") + pair + QStringLiteral("…") + pair + QStringLiteral("e")},
    };
    for (const auto &c : cases) {
        const QString shown = elideMiddle(c.text, c.width, tenEach);
        EXPECT_EQ(shown, c.expected) << c.text.toStdString() << " in " << c.width;
        if (shown != QStringLiteral("…")) {
            EXPECT_LE(tenEach(shown), c.width) << c.text.toStdString();
        }
    }
}

} // namespace
