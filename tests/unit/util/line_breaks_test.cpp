#include "util/line_breaks.h"

#include <gtest/gtest.h>

using namespace movan;

TEST(DisplayLineBreaks, EveryKindOfLineEndBecomesOneBreak)
{
    EXPECT_EQ(displayLineBreaks(QStringLiteral("a\r\nb")), QStringLiteral("a\nb"));
    EXPECT_EQ(displayLineBreaks(QStringLiteral("a\rb\nc")), QStringLiteral("a\nb\nc"));
    EXPECT_EQ(displayLineBreaks(QStringLiteral("a\r\n\r\nb\r")), QStringLiteral("a\n\nb\n"));
    EXPECT_EQ(displayLineBreaks(QStringLiteral("\n\r")), QStringLiteral("\n\n"));
}
