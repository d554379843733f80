#include "platform/app_error.h"
#include "widgets/balloon/balloon_control.h"
#include "widgets/balloon/balloon_window.h"

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

using namespace movan;

namespace {

class BalloonOnForm : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<QWidget>();
        form->setGeometry(200, 150, 600, 300);
        combo = new QComboBox(form.get());
        combo->setObjectName(QStringLiteral("cbServer"));
        combo->setGeometry(330, 60, 145, 21);
        form->show();
        control = new TBalloonControl(form.get());
        control->setObjectName(QStringLiteral("BalloonControl1"));
        control->setControl(combo);
        control->setTitle(QStringLiteral("Movan System"));
        control->setText({QString::fromUtf8("نام کامپيوتر شما با نام سرور تعيين شده در نرم افزار برابر نيست")});
    }

    QList<TBalloon *> balloons() const { return form->findChildren<TBalloon *>(); }

    std::unique_ptr<QWidget> form;
    QComboBox *combo = nullptr;
    TBalloonControl *control = nullptr;
};

} // namespace

// A rate of 0 would make the fade-out loop endless.
TEST(BalloonControlFade, RateNeverDropsToZero)
{
    TBalloonControl control;
    EXPECT_EQ(control.FadeFrameRate(), 7);
    control.setFadeFrameRate(0);
    EXPECT_EQ(control.FadeFrameRate(), 1);
}

TEST_F(BalloonOnForm, WithoutAControlNothingIsCreated)
{
    control->setControl(nullptr);
    try {
        control->ShowBalloon();
        FAIL() << "no exception";
    } catch (const AppError &error) {
        EXPECT_EQ(error.message(), QStringLiteral("Can't found assigned control!"));
    }
    EXPECT_TRUE(balloons().isEmpty());
}

// The component keeps a plain reference to its control; a control destroyed
// since must not be dereferenced.
TEST_F(BalloonOnForm, AControlDestroyedSinceCountsAsNone)
{
    delete combo;
    EXPECT_THROW(control->ShowBalloon(), AppError);
    EXPECT_TRUE(balloons().isEmpty());
}

TEST_F(BalloonOnForm, TheArrowTouchesTheLeftEdgesMidpoint)
{
    control->setHorizontal(blnLeft);
    control->setVertical(blnCenter);
    control->setBalloonType(blnWarning);
    control->ShowBalloon();
    ASSERT_EQ(balloons().size(), 1);
    TBalloon *balloon = balloons().first();
    EXPECT_EQ(balloon->corner(), blnArrowBottomLeft);
    const QPoint comboLeft = combo->mapToGlobal(QPoint(0, 0));
    const QPoint anchor(comboLeft.x(), comboLeft.y() + 10); // 21 / 2 rounds to 10
    EXPECT_EQ(balloon->geometry().topLeft(), QPoint(anchor.x() - (balloon->width() - 20), anchor.y() - 2));
    EXPECT_TRUE(balloon->isVisible());
}

TEST_F(BalloonOnForm, StoredOnlyPropertiesDoNotMoveTheBalloon)
{
    control->ShowBalloon();
    control->setPosition(blnArrowTopRight);
    control->setPixelCoordinateX(500);
    control->setPixelCoordinateY(-40);
    control->ShowBalloon();
    const QList<TBalloon *> shown = balloons();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown.at(0)->geometry(), shown.at(1)->geometry());
}

TEST_F(BalloonOnForm, TwoBalloonsEachCloseOnTheirOwn)
{
    control->setDuration(1);
    control->setFadeFrameRate(255);
    control->ShowBalloon();
    control->ShowBalloon();
    QList<QPointer<TBalloon>> shown;
    for (TBalloon *balloon : balloons())
        shown.append(balloon);
    ASSERT_EQ(shown.size(), 2);
    EXPECT_NE(shown.at(0), shown.at(1));
    QTest::qWait(500);
    EXPECT_EQ(balloons().size(), 2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !shown.at(0) && !shown.at(1); }, 5000));
}

TEST_F(BalloonOnForm, ADurationOfZeroNeverCloses)
{
    control->ShowBalloon();
    TBalloon *balloon = balloons().first();
    EXPECT_FALSE(balloon->findChild<QTimer *>(QStringLiteral("CloseTimer"))->isActive());
}

TEST_F(BalloonOnForm, ClosingTheFormDestroysItsBalloons)
{
    control->ShowBalloon();
    QPointer<TBalloon> balloon = balloons().first();
    form.reset();
    EXPECT_TRUE(balloon.isNull());
}

TEST_F(BalloonOnForm, TextLinesBecomeLabelLines)
{
    control->setText({QString(), QStringLiteral("first"), QString(), QStringLiteral("third"), QStringLiteral(" ")});
    control->ShowBalloon();
    const auto *text = balloons().first()->findChild<QLabel *>(QStringLiteral("TextLabel"));
    EXPECT_EQ(text->text(), QStringLiteral("first\n\nthird"));
}
