// On a real X server the balloon's shape and the window system's handling
// of opacity can be seen, which the offscreen platform does not show.
#include "widgets/balloon/balloon_window.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

using namespace movan;

namespace {

const QColor kFormColour(0, 160, 0);

class BalloonOverForm : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<QWidget>();
        QPalette green = form->palette();
        green.setColor(QPalette::Window, kFormColour);
        form->setPalette(green);
        form->setAutoFillBackground(true);
        form->setGeometry(100, 100, 700, 400);
        edit = new QLineEdit(form.get());
        edit->setGeometry(20, 20, 100, 22);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->activateWindow();
        edit->setFocus();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    // What is on the screen where the balloon is, in its own coordinates.
    QImage screenUnder(TBalloon *balloon)
    {
        QTest::qWait(300);
        return QGuiApplication::primaryScreen()
            ->grabWindow(0, balloon->x(), balloon->y(), balloon->width(), balloon->height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }

    std::unique_ptr<QWidget> form;
    QLineEdit *edit = nullptr;
};

QRgb rgb(const QImage &image, int x, int y)
{
    return image.pixel(x, y) | 0xFF000000u;
}

} // namespace

TEST_F(BalloonOverForm, ShapeLetsTheFormShowAroundTheArrowAndCorners)
{
    auto *balloon = new TBalloon(form.get());
    balloon->SetFade(false);
    balloon->ShowAtPoint(400, 200, blnArrowBottomRight, QStringLiteral("Movan System"),
                         QString::fromUtf8("نام کامپيوتر شما با نام سرور"), blnWarning, 0);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(balloon));
    const QImage shown = screenUnder(balloon);
    const QRgb green = kFormColour.rgb();
    const QRgb tooltip = QApplication::palette().color(QPalette::ToolTipBase).rgb();
    const int w = balloon->width(), h = balloon->height();
    EXPECT_EQ(rgb(shown, 5, 5), green); // beside the arrow
    EXPECT_EQ(rgb(shown, w - 5, 10), green);
    EXPECT_EQ(rgb(shown, 0, 22), green); // the rounded corner
    EXPECT_EQ(rgb(shown, w - 1, h - 1), green);
    EXPECT_EQ(rgb(shown, w / 2, 22), qRgb(0, 0, 0)); // the outline
    EXPECT_EQ(rgb(shown, 22, 18), tooltip); // inside the arrow
    EXPECT_EQ(rgb(shown, w - 4, h / 2 + 10), tooltip);
    delete balloon;
}

// Without a compositor the window system ignores opacity; a balloon that is
// still fading in must then be fully readable rather than invisible.
TEST_F(BalloonOverForm, ReadableWhileFadingAndLeavesTheFocusAlone)
{
    auto *balloon = new TBalloon(form.get());
    balloon->setFadeStep(1);
    balloon->SetFade(true);
    balloon->ShowAtPoint(400, 200, blnArrowTopLeft, QStringLiteral("Movan System"), QStringLiteral("text"), blnInfo, 0);
    // Hold the fade early on, all but transparent.
    balloon->findChild<QTimer *>(QStringLiteral("FadeTimer"))->stop();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(balloon));
    const QImage shown = screenUnder(balloon);
    EXPECT_LT(balloon->opacity(), 20);
    EXPECT_EQ(rgb(shown, balloon->width() / 2, 8), QApplication::palette().color(QPalette::ToolTipBase).rgb());
    EXPECT_EQ(QApplication::activeWindow(), form.get());
    EXPECT_EQ(QApplication::focusWidget(), edit);

    QPointer<TBalloon> watched = balloon;
    QTest::mouseClick(balloon, Qt::LeftButton, {}, QPoint(balloon->width() / 2, 20));
    ASSERT_TRUE(QTest::qWaitFor([&] { return watched.isNull(); }, 10000));
    EXPECT_EQ(QApplication::focusWidget(), edit);
}
