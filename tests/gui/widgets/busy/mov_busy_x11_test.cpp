// The busy window on a real X server: it is mapped where it belongs, becomes
// active so its clip plays, and (with MOVAN_SCREENSHOT_DIR set) leaves a
// picture of the screen for a person to look at.
#include "widgets/animation/animation_control.h"
#include "widgets/busy/mov_busy.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

using namespace movan;

namespace {

QString dataLrPath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("DataLR.avi"));
}

void saveScreenshot(const QString &name)
{
    const QString dir = qEnvironmentVariable("MOVAN_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QGuiApplication::primaryScreen()->grabWindow(0).save(QDir(dir).filePath(name));
}

void configureFullWindow(TMovBusy &busy)
{
    busy.setCaption(QStringLiteral("كمي صبر كنيد"));
    busy.AVISource()->setFileName(dataLrPath());
    busy.setMessage1(QStringLiteral("در حال بازگرداندن اطلاعات ..."));
    busy.setMessage2(QStringLiteral("لطفاً تا پايان عمليات منتظر بمانيد"));
    busy.setProgressPos(40);
    busy.setOptions(TabcBusyOptions::fromBits(0x3F));
    busy.setMinDuration(0);
}

} // namespace

TEST(BusyWindowOnX11, FullWindowIsCentredActiveAndAnimated)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    TMovBusy busy;
    configureFullWindow(busy);
    int activations = 0;
    busy.OnFormActivate = [&](QObject *sender) {
        EXPECT_EQ(sender, &busy);
        ++activations;
    };
    busy.Show();
    TMovsfBusy *window = busy.form();
    ASSERT_NE(window, nullptr);
    QElapsedTimer waited;
    waited.start();
    while (QApplication::activeWindow() != window && waited.elapsed() < 3000)
        QTest::qWait(20);
    EXPECT_EQ(QApplication::activeWindow(), window);
    EXPECT_TRUE(window->Animate->isActive());
    QTest::qWait(50);
    EXPECT_EQ(activations, 1);
    const int frameBefore = window->Animate->currentFrame();
    QTest::qWait(400);
    EXPECT_NE(window->Animate->currentFrame(), frameBefore);

    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint centre = window->frameGeometry().center();
    EXPECT_LE(std::abs(centre.x() - screen.center().x()), 20);
    EXPECT_LE(std::abs(centre.y() - screen.center().y()), 30);
    for (QLabel *label : {window->lblMessage1, window->lblMessage2})
        EXPECT_GE(label->width(), label->sizeHint().width());
    saveScreenshot(QStringLiteral("busy-caption.png"));
    busy.Hide();
    QTest::qWait(100);
}

TEST(BusyWindowOnX11, AnimationBesideTheTextsWithoutCaption)
{
    TMovBusy busy;
    configureFullWindow(busy);
    TabcBusyOptions options = busy.Options();
    options -= abdShowCaption;
    busy.setOptions(options);
    busy.setAVIPosition(avpLeft);
    busy.Show();
    TMovsfBusy *window = busy.form();
    ASSERT_NE(window, nullptr);
    QTest::qWait(300);
    EXPECT_TRUE(window->bvlBorder->isVisible());
    EXPECT_EQ(window->Animate->x(), 6);
    EXPECT_GT(window->lblMessage1->x(), window->Animate->geometry().right());
    saveScreenshot(QStringLiteral("busy-left.png"));
    busy.Hide();
    QTest::qWait(100);
}

// The busy window under openbox, which decorates it as a desktop would.
class BusyWindowUnderOpenbox : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("openbox")).isEmpty()
            || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            GTEST_SKIP() << "needs openbox and xdotool";
        m_windowManager.start(QStringLiteral("openbox"), {});
        ASSERT_TRUE(m_windowManager.waitForStarted());
        QTest::qWait(800);
        configureFullWindow(busy);
        busy.Show();
        window = busy.form();
        ASSERT_TRUE(window);
    }
    void TearDown() override
    {
        busy.Hide();
        QTest::qWait(100);
        m_windowManager.terminate();
        m_windowManager.waitForFinished(3000);
    }

    TMovBusy busy;
    QPointer<TMovsfBusy> window;

private:
    QProcess m_windowManager;
};

TEST_F(BusyWindowUnderOpenbox, WindowManagerCannotCloseItBehindTheComponentsBack)
{
    QElapsedTimer waited;
    waited.start();
    while (QApplication::activeWindow() != window && waited.elapsed() < 3000)
        QTest::qWait(20);
    // Openbox draws a close box and binds Alt+F4 to the same request.
    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("alt+F4")});
    QTest::qWait(400);
    EXPECT_TRUE(window);
    EXPECT_TRUE(window && window->isVisible());
    EXPECT_EQ(busy.form(), window.data());
    saveScreenshot(QStringLiteral("busy-openbox.png"));
}

TEST_F(BusyWindowUnderOpenbox, AsksForNoTitleBarButtonsAndComesBackWhenMinimised)
{
    QTest::qWait(300);
    const QString id = QString::number(window->winId());
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), id, QStringLiteral("_MOTIF_WM_HINTS")});
    ASSERT_TRUE(xprop.waitForFinished());
    // flags: functions and decorations; functions: move only; decorations:
    // border and title.
    EXPECT_TRUE(QString::fromLatin1(xprop.readAllStandardOutput()).contains(QStringLiteral("= 0x3, 0x4, 0xa")));

    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("windowminimize"), id});
    QElapsedTimer waited;
    waited.start();
    while (!(window && window->isVisible() && !window->isMinimized()) && waited.elapsed() < 3000)
        QTest::qWait(20);
    QTest::qWait(300);
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());
}
