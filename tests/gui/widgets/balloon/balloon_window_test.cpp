#include "widgets/balloon/balloon_icons.h"
#include "widgets/balloon/balloon_window.h"

#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace movan;

namespace {

const QString kTitle = QStringLiteral("Movan System");

struct Recorder {
    QList<int> opacities;
    void attach(TBalloon *balloon)
    {
        QObject::connect(balloon, &TBalloon::opacityChanged, [this](int value) { opacities.append(value); });
    }
};

QLabel *label(TBalloon *balloon, const char *name)
{
    return balloon->findChild<QLabel *>(QString::fromLatin1(name));
}

} // namespace

TEST(BalloonWindow, ATopmostToolWindowThatTakesNoFocus)
{
    QPointer<TBalloon> balloon = new TBalloon(nullptr);
    balloon->SetFade(false);
    balloon->ShowAtPoint(400, 300, blnArrowTopLeft, kTitle, QStringLiteral("text"), blnInfo, 0);
    const Qt::WindowFlags flags = balloon->windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_TRUE(flags & Qt::FramelessWindowHint);
    EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(flags & Qt::WindowDoesNotAcceptFocus);
    EXPECT_TRUE(balloon->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_EQ(balloon->palette().color(QPalette::Window), QApplication::palette().color(QPalette::ToolTipBase));
    EXPECT_EQ(balloon->font().family(), QStringLiteral("Tahoma"));
    EXPECT_EQ(balloon->font().pixelSize(), 11);
    EXPECT_TRUE(label(balloon, "TitleLabel")->font().bold());
    EXPECT_FALSE(label(balloon, "TextLabel")->font().bold());
    delete balloon;
}

// A screen reader hears the balloon as a notice, its title and text, though
// it never takes the focus.
TEST(BalloonWindow, AnnouncedAsANotice)
{
    QPointer<TBalloon> balloon = new TBalloon(nullptr);
    balloon->SetFade(false);
    balloon->ShowAtPoint(400, 300, blnArrowTopLeft, kTitle, QStringLiteral("text"), blnInfo, 0);
    QAccessibleInterface *about = QAccessible::queryAccessibleInterface(balloon);
    ASSERT_TRUE(about);
    EXPECT_EQ(about->role(), QAccessible::AlertMessage);
    EXPECT_EQ(about->text(QAccessible::Name), kTitle + QStringLiteral("\ntext"));
    delete balloon;
}

TEST(BalloonWindow, LabelsIconAndSizeFollowTheArrow)
{
    for (TBalloonPosition corner : {blnArrowTopLeft, blnArrowBottomRight}) {
        auto *balloon = new TBalloon(nullptr);
        balloon->SetFade(false);
        balloon->ShowAtPoint(500, 400, corner, kTitle, QStringLiteral("one\r\ntwo"), blnError, 0);
        const int shift = corner == blnArrowBottomRight ? 20 : 0;
        const QLabel *title = label(balloon, "TitleLabel");
        const QLabel *text = label(balloon, "TextLabel");
        const QLabel *icon = label(balloon, "IconImage");
        EXPECT_EQ(title->pos(), QPoint(34, 12 + shift));
        EXPECT_EQ(text->pos(), QPoint(10, title->y() + title->height() + 8));
        EXPECT_EQ(icon->pos(), QPoint(10, 10 + shift));
        EXPECT_EQ(text->text(), QStringLiteral("one\ntwo"));
        EXPECT_GT(text->height(), 2 * QFontMetrics(text->font()).height() - 2);
        const int expectedWidth = std::max(34 + title->width(), 10 + text->width()) + 10;
        const int expectedHeight = text->y() + text->height() + 10 + (shift ? 0 : 20);
        EXPECT_EQ(balloon->size(), QSize(expectedWidth, expectedHeight));
        delete balloon;
    }
}

TEST(BalloonWindow, EmptyTextKeepsOneLineAndLongLinesWidenTheBalloon)
{
    auto *empty = new TBalloon(nullptr);
    empty->SetFade(false);
    empty->ShowAtPoint(500, 400, blnArrowTopRight, kTitle, QString(), blnInfo, 0);
    EXPECT_EQ(label(empty, "TextLabel")->height(), QFontMetrics(label(empty, "TextLabel")->font()).height());
    delete empty;

    const QString line = QString(300, QLatin1Char('x'));
    auto *wide = new TBalloon(nullptr);
    wide->SetFade(false);
    wide->ShowAtPoint(500, 400, blnArrowTopRight, kTitle, line, blnInfo, 0);
    const QLabel *text = label(wide, "TextLabel");
    EXPECT_GE(text->width(), QFontMetrics(text->font()).horizontalAdvance(line));
    EXPECT_EQ(wide->width(), 10 + text->width() + 10);
    delete wide;
}

TEST(BalloonWindow, IconsComeFromTheResources)
{
    for (TBalloonType type : {blnInfo, blnError, blnWarning}) {
        const QPixmap icon = balloonIcon(type);
        ASSERT_FALSE(icon.isNull()) << balloonIconResource(type).toStdString();
        EXPECT_EQ(icon.size(), QSize(16, 16));
    }
    EXPECT_EQ(balloonIconResource(TBalloonType(7)), QStringLiteral(":/balloon/INFO"));
    EXPECT_NE(balloonIcon(blnInfo).toImage(), balloonIcon(blnWarning).toImage());

    auto *balloon = new TBalloon(nullptr);
    balloon->SetFade(false);
    balloon->ShowAtPoint(500, 400, blnArrowTopRight, kTitle, QString(), blnWarning, 0);
    EXPECT_EQ(label(balloon, "IconImage")->pixmap().toImage(), balloonIcon(blnWarning).toImage());
    delete balloon;
}

TEST(BalloonWindow, FadesInByTheStepTo254)
{
    auto *balloon = new TBalloon(nullptr);
    Recorder recorder;
    recorder.attach(balloon);
    balloon->SetFade(true);
    EXPECT_EQ(balloon->opacity(), 0);
    balloon->ShowAtPoint(500, 400, blnArrowTopRight, kTitle, QStringLiteral("text"), blnInfo, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return balloon->opacity() == 254; }, 5000));
    QList<int> expected;
    for (int v = 0; v <= 252; v += 7)
        expected.append(v);
    expected.append(254);
    EXPECT_EQ(recorder.opacities, expected);
    EXPECT_FALSE(balloon->findChild<QTimer *>(QStringLiteral("FadeTimer"))->isActive());
    delete balloon;
}

TEST(BalloonWindow, StepOf255JumpsStraightTo254AndFadesOutIn2Steps)
{
    QPointer<TBalloon> balloon = new TBalloon(nullptr);
    Recorder recorder;
    recorder.attach(balloon);
    balloon->setFadeStep(255);
    balloon->SetFade(true);
    balloon->ShowAtPoint(500, 400, blnArrowTopRight, kTitle, QStringLiteral("text"), blnInfo, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return balloon->opacity() == 254; }, 5000));
    EXPECT_EQ(recorder.opacities, QList<int>({0, 254}));
    recorder.opacities.clear();
    // A click closes it; the release comes later, from the event loop.
    QTest::mouseClick(label(balloon, "TextLabel"), Qt::LeftButton);
    ASSERT_FALSE(balloon.isNull());
    ASSERT_TRUE(QTest::qWaitFor([&] { return balloon.isNull(); }, 5000));
    EXPECT_EQ(recorder.opacities, QList<int>({254, 1}));
}

TEST(BalloonWindow, WithoutFadingItIsOpaqueAtOnceAndVanishesWithoutFading)
{
    QPointer<TBalloon> balloon = new TBalloon(nullptr);
    Recorder recorder;
    balloon->SetFade(false);
    recorder.attach(balloon);
    balloon->ShowAtPoint(500, 400, blnArrowTopRight, kTitle, QStringLiteral("text"), blnInfo, 0);
    EXPECT_EQ(balloon->opacity(), 255);
    EXPECT_FALSE(balloon->findChild<QTimer *>(QStringLiteral("FadeTimer"))->isActive());
    QTest::mouseClick(balloon, Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_TRUE(QTest::qWaitFor([&] { return balloon.isNull(); }, 5000));
    EXPECT_TRUE(recorder.opacities.isEmpty());
}

TEST(BalloonWindow, OutlineIsDrawnAlongTheShape)
{
    auto *balloon = new TBalloon(nullptr);
    balloon->SetFade(false);
    balloon->ShowAtPoint(500, 400, blnArrowBottomRight, kTitle, QStringLiteral("text"), blnInfo, 0);
    const QImage image = balloon->grab().toImage();
    const QRgb black = qRgb(0, 0, 0);
    const QRgb inside = QApplication::palette().color(QPalette::ToolTipBase).rgb();
    const int w = balloon->width(), h = balloon->height();
    EXPECT_EQ(image.pixel(w / 2, 22) | 0xFF000000u, black); // top edge of the body
    EXPECT_EQ(image.pixel(w / 2, h - 1) | 0xFF000000u, black); // bottom edge
    EXPECT_EQ(image.pixel(0, h / 2) | 0xFF000000u, black); // left edge
    EXPECT_EQ(image.pixel(w - 1, h / 2) | 0xFF000000u, black); // right edge
    EXPECT_EQ(image.pixel(20, 25) | 0xFF000000u, inside); // where the arrow joins the body
    EXPECT_EQ(image.pixel(w / 2, h - 4) | 0xFF000000u, inside);
    delete balloon;
}

TEST(BalloonWindow, ComesBackWhenMinimised)
{
    auto *balloon = new TBalloon(nullptr);
    balloon->SetFade(false);
    balloon->ShowAtPoint(500, 400, blnArrowBottomRight, kTitle, QStringLiteral("text"), blnInfo, 0);
    balloon->setWindowState(Qt::WindowMinimized);
    QCoreApplication::processEvents();
    EXPECT_FALSE(balloon->isMinimized());
    EXPECT_TRUE(balloon->isVisible());
    delete balloon;
}
