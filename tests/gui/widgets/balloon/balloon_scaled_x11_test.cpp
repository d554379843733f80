// On a screen scaled to twice the size the setup window's balloon, pointing
// at a box in any corner of the screen, stays inside the part of the screen
// windows may use, and its arrow still touches the box.
#include "widgets/balloon/balloon_control.h"
#include "widgets/balloon/balloon_window.h"

#include <QApplication>
#include <QLineEdit>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace movan;

namespace {

const QStringList kLines = {
    QStringLiteral("نام کامپيوتر شما با نام سرور تعيين شده در نرم افزار برابر نيست"),
    QStringLiteral("در صورتيکه کامپيوتر فعلي سرور شماست نام سرور و يا آدرس آي پي را انتخاب نماييد"),
    QStringLiteral("نکته : آدرس آي پي جهت کار با نرم افزار تحت شبکه مي باشد"),
};

TEST(BalloonAtTwiceTheScale, StaysOnTheScreenInEveryCorner)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    ASSERT_DOUBLE_EQ(screen->devicePixelRatio(), 2.0) << "run with QT_SCALE_FACTOR=2";
    const QRect area = screen->availableGeometry();
    const QSize boxSize(145, 21);
    const QPoint corners[] = {area.topLeft(), QPoint(area.right() - boxSize.width() + 1, area.top()),
                              QPoint(area.left(), area.bottom() - boxSize.height() + 1),
                              area.bottomRight() - QPoint(boxSize.width() - 1, boxSize.height() - 1)};
    for (const QPoint &corner : corners) {
        QWidget window(nullptr, Qt::FramelessWindowHint);
        window.setGeometry(QRect(corner, boxSize));
        auto *box = new QLineEdit(&window);
        box->setGeometry(window.rect());
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

        TBalloonControl control(&window);
        control.setControl(box);
        control.setTitle(QStringLiteral("Movan System"));
        control.setText(kLines);
        control.setBalloonType(blnWarning);
        control.setHorizontal(blnLeft);
        control.setVertical(blnCenter);
        control.setFadeIn_Out(false);
        control.ShowBalloon();
        auto *balloon = window.findChild<TBalloon *>();
        ASSERT_NE(balloon, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(balloon));
        const QString where = QStringLiteral("box at %1,%2").arg(corner.x()).arg(corner.y());
        EXPECT_TRUE(area.contains(balloon->frameGeometry()))
            << where.toStdString() << ": balloon at " << balloon->x() << "," << balloon->y() << " " << balloon->width()
            << "x" << balloon->height();
        // The arrow's tip, the one point of the shape on its outer row,
        // touches the middle of the box's left edge.
        const QPoint anchor = box->mapToGlobal(QPoint(0, box->height() / 2));
        const QRect bounds = balloon->shape().boundingRect();
        const bool onTop = balloon->corner() == blnArrowBottomLeft || balloon->corner() == blnArrowBottomRight;
        const int tipRow = onTop ? bounds.top() : bounds.bottom();
        const QRegion row = balloon->shape() & QRegion(0, tipRow, balloon->width(), 1);
        ASSERT_FALSE(row.isEmpty()) << where.toStdString();
        EXPECT_LE(std::abs(balloon->mapToGlobal(row.boundingRect().topLeft()).x() - anchor.x()), 1)
            << where.toStdString();
        EXPECT_LE(std::abs(balloon->mapToGlobal(QPoint(0, tipRow)).y() - anchor.y()), 2) << where.toStdString();
        delete balloon;
    }
}

} // namespace
