#include "widgets/balloon/balloon_fade.h"
#include "widgets/balloon/balloon_text.h"

#include <gtest/gtest.h>

using namespace movan;

TEST(BalloonText, LinesEndWithCrLfAndTheWholeIsTrimmed)
{
    EXPECT_EQ(balloonText({}), QString());
    EXPECT_EQ(balloonText({QStringLiteral("one")}), QStringLiteral("one"));
    EXPECT_EQ(balloonText({QStringLiteral("one"), QStringLiteral("two")}), QStringLiteral("one\r\ntwo"));
    EXPECT_EQ(balloonText({QString(), QStringLiteral("  one"), QString(), QStringLiteral("two\t"), QString()}),
              QStringLiteral("one\r\n\r\ntwo"));
    EXPECT_EQ(balloonText({QStringLiteral(" "), QStringLiteral("\t")}), QString());
}

TEST(BalloonText, LabelsShowLineBreaksAndAccelerators)
{
    EXPECT_EQ(balloonLabelText(QStringLiteral("one\r\n\r\ntwo")), QStringLiteral("one\n\ntwo"));
    EXPECT_EQ(balloonLabelText(QStringLiteral("&Save && exit")), QStringLiteral("Save & exit"));
    EXPECT_EQ(balloonLabelText(QStringLiteral("a&&&b&")), QStringLiteral("a&b"));
    const QString persian = QString::fromUtf8("نکته : آدرس آي پي");
    EXPECT_EQ(balloonLabelText(persian), persian);
}

TEST(BalloonFade, FadeInClimbsByTheStepAndStopsAt254)
{
    QList<int> seen{0};
    FadeInStep step{0, false};
    while (!step.finished) {
        step = nextFadeIn(step.opacity, 7, true);
        seen.append(step.opacity);
        ASSERT_LT(seen.size(), 100);
    }
    QList<int> expected;
    for (int v = 0; v <= 252; v += 7)
        expected.append(v);
    expected.append(254);
    EXPECT_EQ(seen, expected);

    EXPECT_EQ(nextFadeIn(0, 255, true).opacity, 254);
    EXPECT_TRUE(nextFadeIn(0, 255, true).finished);
    EXPECT_TRUE(nextFadeIn(0, 7, false).finished);
}

TEST(BalloonFade, FadeOutRunsFrom254DownThenEndsAt1)
{
    const QList<int> seven = fadeOutSequence(7);
    EXPECT_EQ(seven.size(), 37 + 1);
    EXPECT_EQ(seven.first(), 254);
    EXPECT_EQ(seven.at(36), 2);
    EXPECT_EQ(seven.last(), 1);
    EXPECT_EQ(fadeOutSequence(255), QList<int>({254, 1}));
    EXPECT_EQ(fadeOutSequence(254), QList<int>({254, 0, 1}));
    // A step of 0 would never finish.
    EXPECT_EQ(fadeOutSequence(0).size(), 255 + 1);
}
