#include "stored_properties/property_stream.h"
#include "widgets/animation/animation_control.h"
#include "widgets/busy/mov_busy.h"

#include "support/compiled_resources.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <thread>

using namespace movan;

namespace {

const QString kPleaseWait = QStringLiteral("كمي صبر كنيد");
const QString kRestoring = QStringLiteral("در حال بازگرداندن اطلاعات ...");

QString dataLrPath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("DataLR.avi"));
}

QList<TMovsfBusy *> busyWindows()
{
    QList<TMovsfBusy *> windows;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *busy = qobject_cast<TMovsfBusy *>(widget))
            windows << busy;
    return windows;
}

// Runs the event loop until the window is gone or the time is up.
bool waitForDeletion(const QPointer<TMovsfBusy> &window, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (window && timer.elapsed() < ms) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QTest::qWait(5);
    }
    return window.isNull();
}

class BusyTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (TMovsfBusy *window : busyWindows())
            delete window;
    }
};

} // namespace

TEST_F(BusyTest, DefaultsOfTheStoredProperties)
{
    TMovBusy busy;
    EXPECT_TRUE(busy.AutoSize());
    EXPECT_EQ(busy.AVIPosition(), avpTop);
    EXPECT_TRUE(busy.AVISource()->IsEmpty());
    EXPECT_TRUE(busy.AVITransparent());
    EXPECT_TRUE(busy.Caption().isEmpty());
    EXPECT_FALSE(busy.DlgColor().isValid()); // the system's button face
    EXPECT_EQ(busy.DlgPosition(), appScreenCenter);
    EXPECT_EQ(busy.MinDuration(), 2000);
    EXPECT_EQ(busy.Options(), (TabcBusyOptions{abdShowAVI, abdShowCaption}));
    EXPECT_EQ(busy.Options().bits(), 0x03);
    EXPECT_EQ(busy.ProgressMax(), 100);
    EXPECT_EQ(busy.ProgressStep(), 10);
    EXPECT_TRUE(busy.WordWrap());
    EXPECT_EQ(busy.Message1Font().family(), QStringLiteral("Tahoma"));
    EXPECT_EQ(busy.Message2Font().pointSize(), 8);
    EXPECT_FALSE(busy.Cancelled());
    EXPECT_EQ(busy.form(), nullptr);
}

TEST_F(BusyTest, MessagesAndProgressSwitchTheirPartsOnOutsideLoading)
{
    TMovBusy busy;
    busy.setMessage1(QString());
    busy.setProgressPos(0);
    EXPECT_EQ(busy.Options(), (TabcBusyOptions{abdShowAVI, abdShowCaption}));
    busy.setProgressPos(5);
    EXPECT_TRUE(busy.Options().contains(abdShowProgress));
    busy.setMessage2(kRestoring);
    EXPECT_TRUE(busy.Options().contains(abdShowMessage2));

    // Options are never removed by these setters, and an unchanged value
    // does not add them again.
    TabcBusyOptions options = busy.Options();
    options -= abdShowMessage2;
    busy.setOptions(options);
    busy.setMessage2(kRestoring);
    busy.setMessage2(QString());
    EXPECT_FALSE(busy.Options().contains(abdShowMessage2));

    TMovBusy loaded;
    loaded.beginLoading();
    loaded.setMessage1(kRestoring);
    loaded.setProgressMax(50);
    loaded.endLoading();
    EXPECT_EQ(loaded.Options(), (TabcBusyOptions{abdShowAVI, abdShowCaption}));
    loaded.setMessage1(kPleaseWait);
    loaded.setProgressMin(1);
    EXPECT_TRUE(loaded.Options().contains(abdShowMessage1));
    EXPECT_TRUE(loaded.Options().contains(abdShowProgress));
}

TEST_F(BusyTest, EveryProgressSetterSwitchesTheBarOnForANewNonZeroValueOnly)
{
    struct ProgressSetter {
        const char *name;
        void (TMovBusy::*set)(int);
        int initial;
        int (*live)(const TMovsfBusy &);
    };
    const ProgressSetter setters[] = {
        {"ProgressMin", &TMovBusy::setProgressMin, 0, [](const TMovsfBusy &w) { return w.ProgressBar->minimum(); }},
        {"ProgressMax", &TMovBusy::setProgressMax, 100, [](const TMovsfBusy &w) { return w.ProgressBar->maximum(); }},
        {"ProgressPos", &TMovBusy::setProgressPos, 0, [](const TMovsfBusy &w) { return w.ProgressBar->value(); }},
        {"ProgressStep", &TMovBusy::setProgressStep, 10, [](const TMovsfBusy &w) { return w.ProgressStep(); }},
    };
    for (const ProgressSetter &setter : setters) {
        TMovBusy busy;
        busy.setMinDuration(0);
        busy.setOptions({abdShowCaption});
        busy.Show();
        (busy.*setter.set)(setter.initial);
        (busy.*setter.set)(0);
        EXPECT_FALSE(busy.Options().contains(abdShowProgress)) << setter.name;
        (busy.*setter.set)(7);
        EXPECT_TRUE(busy.Options().contains(abdShowProgress)) << setter.name;
        // The shown window takes the value but keeps its bar hidden; the
        // next window shows it.
        EXPECT_EQ(setter.live(*busy.form()), 7) << setter.name;
        EXPECT_TRUE(busy.form()->ProgressBar->isHidden()) << setter.name;
        busy.Hide();
        busy.Show();
        EXPECT_TRUE(busy.form()->ProgressBar->isVisible()) << setter.name;
        EXPECT_EQ(setter.live(*busy.form()), 7) << setter.name;
        busy.Hide();
    }
}

TEST_F(BusyTest, MessageFontsReachTheShownLabelsWithoutReArranging)
{
    TMovBusy busy;
    busy.setMinDuration(0);
    // Not the window's own 11 pixels, so that the copy made for the new
    // window shows.
    QFont stored(QStringLiteral("Tahoma"));
    stored.setPixelSize(12);
    busy.beginLoading();
    busy.setMessage1Font(stored);
    busy.setMessage2Font(stored);
    busy.setMessage1(kRestoring);
    busy.setMessage2(kPleaseWait);
    busy.endLoading();
    busy.setOptions({abdShowCaption, abdShowMessage1, abdShowMessage2});
    busy.Show();
    TMovsfBusy *window = busy.form();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->lblMessage1->font().pixelSize(), 12);
    EXPECT_EQ(window->lblMessage2->font().pixelSize(), 12);
    const QRect first = window->lblMessage1->geometry();
    const QRect second = window->lblMessage2->geometry();

    QFont bold = stored;
    bold.setBold(true);
    bold.setPixelSize(15);
    QFont italic = stored;
    italic.setItalic(true);
    italic.setPixelSize(13);
    busy.setMessage1Font(bold);
    busy.setMessage2Font(italic);
    const QFont shown1 = window->lblMessage1->font();
    const QFont shown2 = window->lblMessage2->font();
    EXPECT_TRUE(shown1.bold());
    EXPECT_FALSE(shown1.italic());
    EXPECT_EQ(shown1.pixelSize(), 15);
    EXPECT_TRUE(shown2.italic());
    EXPECT_FALSE(shown2.bold());
    EXPECT_EQ(shown2.pixelSize(), 13);
    EXPECT_EQ(window->lblMessage1->geometry(), first);
    EXPECT_EQ(window->lblMessage2->geometry(), second);
    busy.Hide();
}

TEST_F(BusyTest, PositionAndSizeSettersCarryTheirSideEffects)
{
    TMovBusy busy;
    busy.setDlgLeft(40);
    EXPECT_EQ(busy.DlgPosition(), appCustom);
    busy.setDlgTop(30);
    busy.setDlgPosition(appScreenCenter);
    EXPECT_EQ(busy.DlgLeft(), 0);
    EXPECT_EQ(busy.DlgTop(), 0);
    busy.setDlgTop(30);
    busy.setDlgPosition(appCustom);
    EXPECT_EQ(busy.DlgTop(), 30);
    busy.setDlgWidth(300);
    EXPECT_TRUE(busy.AutoSize());
    busy.setDlgHeight(120);
    EXPECT_FALSE(busy.AutoSize());
}

TEST_F(BusyTest, EmbeddedClipIsStoredAsAVISourceDataData)
{
    TMovBusy busy;
    busy.AVISource()->Data()->SetBuffer("abc", 3);
    const QByteArray stored = PropertyStream::writeProperties(busy);
    QByteArray expected;
    expected.append(char(19)).append("AVISource.Data.Data");
    expected.append(QByteArray::fromHex("0a07000000030000006162630000").chopped(1));
    EXPECT_EQ(stored, expected);

    TMovBusy loaded;
    PropertyStream::readProperties(stored, loaded);
    EXPECT_EQ(loaded.AVISource()->Data()->bytes(), QByteArray("abc"));

    TabcAVISource other;
    other.setCommonAVI(aviFindFile);
    loaded.setAVISource(&other);
    EXPECT_EQ(loaded.AVISource()->CommonAVI(), aviFindFile);
    EXPECT_NE(loaded.AVISource(), &other);
}

TEST_F(BusyTest, ShowTwiceKeepsOneWindowAndHideWithoutOneDoesNothing)
{
    TMovBusy busy;
    busy.Hide();
    busy.setMinDuration(0);
    busy.Show();
    TMovsfBusy *window = busy.form();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    busy.Show();
    EXPECT_EQ(busy.form(), window);
    EXPECT_EQ(busyWindows().size(), 1);
    busy.Hide();
    EXPECT_EQ(busy.form(), nullptr);
    busy.Hide();
    EXPECT_TRUE(waitForDeletion(window, 2000));
}

TEST_F(BusyTest, HideReturnsAtOnceAndTheWindowStaysItsMinimumTime)
{
    TMovBusy busy;
    busy.setMinDuration(500);
    busy.AVISource()->setFileName(dataLrPath());
    busy.Show();
    QPointer<TMovsfBusy> window = busy.form();
    ASSERT_TRUE(window);
    QTest::qWait(100);
    QElapsedTimer sinceHide;
    sinceHide.start();
    busy.Hide();
    EXPECT_LT(sinceHide.elapsed(), 300); // far below the 400 ms still to wait
    EXPECT_EQ(busy.form(), nullptr);
    // The close request arrives and is held back.
    for (int i = 0; i < 100 && window && !window->isWaitingToClose(); ++i)
        QTest::qWait(2);
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isWaitingToClose());
    EXPECT_TRUE(waitForDeletion(window, 3000));
    EXPECT_GE(sinceHide.elapsed(), 350);
}

TEST_F(BusyTest, WithoutMinimumTheWindowGoesWithTheCloseMessage)
{
    TMovBusy busy;
    busy.setMinDuration(0);
    QObject *closedSender = nullptr;
    CloseAction offered = caNone;
    busy.setOnFormClose([&](QObject *sender, CloseAction &action) {
        closedSender = sender;
        offered = action;
    });
    busy.Show();
    QPointer<TMovsfBusy> window = busy.form();
    busy.Hide();
    QCoreApplication::processEvents();
    EXPECT_EQ(closedSender, window.data());
    EXPECT_EQ(offered, caFree);
    EXPECT_TRUE(waitForDeletion(window, 500));
}

TEST_F(BusyTest, CancelSetsCancelledFiresOnCancelAndCloses)
{
    TMovBusy busy;
    busy.setMinDuration(0);
    busy.setOptions({abdShowCaption, abdShowCancel});
    QObject *cancelSender = nullptr;
    busy.OnCancel = [&](QObject *sender) { cancelSender = sender; };
    busy.Show();
    QPointer<TMovsfBusy> window = busy.form();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->btnCancel->text(), QStringLiteral("انصراف"));
    QTest::mouseClick(window->btnCancel, Qt::LeftButton);
    EXPECT_TRUE(busy.Cancelled());
    EXPECT_EQ(cancelSender, &busy);
    EXPECT_EQ(busy.form(), nullptr);
    EXPECT_TRUE(waitForDeletion(window, 2000));
    busy.Show();
    EXPECT_FALSE(busy.Cancelled());
    busy.Hide();
}

TEST_F(BusyTest, EscapePressesCancel)
{
    TMovBusy busy;
    busy.setMinDuration(0);
    busy.setOptions({abdShowCancel});
    busy.Show();
    QPointer<TMovsfBusy> window = busy.form();
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_TRUE(busy.Cancelled());
    EXPECT_TRUE(waitForDeletion(window, 2000));
}

TEST_F(BusyTest, MissingClipFailsBeforeAnythingIsShownAndHideDisposesOfTheWindow)
{
    TMovBusy busy;
    busy.setMinDuration(500);
    busy.AVISource()->setFileName(QDir::temp().filePath(QStringLiteral("no-such-clip-here.avi")));
    bool created = false;
    busy.OnFormCreate = [&](QObject *) { created = true; };
    try {
        busy.Show();
        FAIL() << "Show went on without its clip";
    } catch (const AppError &error) {
        EXPECT_EQ(error.message(), QStringLiteral("Cannot open AVI"));
    }
    EXPECT_FALSE(created);
    QPointer<TMovsfBusy> window = busy.form();
    ASSERT_TRUE(window);
    EXPECT_FALSE(window->isVisible());
    busy.Hide();
    EXPECT_TRUE(waitForDeletion(window, 100));
}

TEST_F(BusyTest, ClipFromTheResourcesOfALoadedModule)
{
    CompiledResources resources(QStringLiteral("AVI"), {{QStringLiteral("BUSY"), dataLrPath()}});
    if (!resources.isRegistered())
        GTEST_SKIP() << "no resource compiler";
    TMovBusy busy;
    busy.setMinDuration(0);
    // Any loadable library serves as the module; its Qt resources join the
    // program's tree when it is loaded.
    busy.AVISource()->setResourceModule(QStringLiteral("libQt6Core.so.6"));
    busy.AVISource()->setResourceName(QStringLiteral("BUSY"));
    busy.Show();
    EXPECT_EQ(busy.form()->Animate->frameCount(), 20);
    EXPECT_NE(busy.AVISource()->moduleHandle(), nullptr);
    busy.Hide();
}

TEST_F(BusyTest, ResourceModuleThatCannotBeLoadedFailsShow)
{
    TMovBusy busy;
    busy.AVISource()->setResourceModule(QStringLiteral("libno-such-clips-module.so"));
    busy.AVISource()->setResourceName(QStringLiteral("BUSY"));
    EXPECT_THROW(busy.Show(), AppError);
    QPointer<TMovsfBusy> window = busy.form();
    busy.Hide();
    EXPECT_TRUE(waitForDeletion(window, 100));
}

TEST_F(BusyTest, WindowOutlivingItsComponentClosesOnItsOwn)
{
    QPointer<TMovsfBusy> window;
    {
        TMovBusy busy;
        busy.setMinDuration(300);
        busy.setOptions({abdShowCaption, abdShowCancel});
        busy.Show();
        window = busy.form();
    }
    ASSERT_TRUE(window);
    // A click on the closing window must not reach the destroyed component.
    QTest::mouseClick(window->btnCancel, Qt::LeftButton);
    EXPECT_TRUE(waitForDeletion(window, 3000));
}

TEST_F(BusyTest, EmbeddedClipPlaysFromAPrivateTemporaryFile)
{
    QFile clip(dataLrPath());
    ASSERT_TRUE(clip.open(QIODevice::ReadOnly));
    const QByteArray bytes = clip.readAll();
    QString tempFile;
    {
        TMovBusy busy;
        busy.setMinDuration(0);
        busy.AVISource()->Data()->SetBuffer(bytes.constData(), bytes.size());
        busy.Show();
        tempFile = busy.AVISource()->TempFileName();
        ASSERT_FALSE(tempFile.isEmpty());
        EXPECT_TRUE(tempFile.startsWith(QDir::tempPath()));
        EXPECT_EQ(QFile::permissions(tempFile) & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther), 0);
        EXPECT_EQ(busy.form()->Animate->frameCount(), 20);
        busy.Hide();
        // A second window plays the same file again.
        busy.Show();
        EXPECT_EQ(busy.AVISource()->TempFileName(), tempFile);
        busy.Hide();
    }
    EXPECT_FALSE(QFile::exists(tempFile));
}

TEST_F(BusyTest, EmptySourceReservesTheDesignSizeAndPlaysNothing)
{
    TMovBusy busy;
    busy.Show();
    AnimationControl *animate = busy.form()->Animate;
    EXPECT_TRUE(animate->isVisible());
    EXPECT_EQ(animate->size(), QSize(272, 60));
    EXPECT_FALSE(animate->isActive());
    EXPECT_GE(busy.form()->width(), 272);
    busy.Hide();
}

TEST_F(BusyTest, WindowWithAllPartsKeepsThemApartAndInside)
{
    TMovBusy busy;
    busy.setCaption(kPleaseWait);
    busy.AVISource()->setFileName(dataLrPath());
    busy.setMessage1(kRestoring);
    busy.setMessage2(QStringLiteral("لطفا منتظر بمانيد تا عمليات به پايان برسد"));
    busy.setProgressPos(30);
    busy.setOptions(TabcBusyOptions::fromBits(0x3F));
    QStringList events;
    busy.OnFormCreate = [&](QObject *) { events << QStringLiteral("create"); };
    busy.OnFormShow = [&](QObject *) { events << QStringLiteral("show"); };
    busy.Show();
    TMovsfBusy *window = busy.form();
    EXPECT_EQ(events, QStringList({"create", "show"}));
    EXPECT_EQ(window->windowTitle(), kPleaseWait);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(window->bvlBorder->isVisible());
    const QList<QWidget *> parts
        = {window->Animate, window->lblMessage1, window->lblMessage2, window->ProgressBar, window->btnCancel};
    for (int i = 0; i < parts.size(); ++i) {
        EXPECT_TRUE(parts[i]->isVisible()) << i;
        EXPECT_TRUE(window->rect().contains(parts[i]->geometry())) << i;
        for (int j = i + 1; j < parts.size(); ++j)
            EXPECT_FALSE(parts[i]->geometry().intersects(parts[j]->geometry())) << i << " " << j;
    }
    for (QLabel *label : {window->lblMessage1, window->lblMessage2}) {
        EXPECT_GE(label->width(), label->sizeHint().width()) << "text clipped";
        // Persian text reads from the right edge of the text column.
        EXPECT_EQ(label->layoutDirection(), Qt::RightToLeft);
        EXPECT_EQ(window->width() - 1 - label->geometry().right(), label->x());
    }
    EXPECT_EQ(window->ProgressBar->value(), 30);

    // Run-time setters act on the live window, without re-arranging it.
    const QRect before = window->lblMessage1->geometry();
    busy.setMessage1(QStringLiteral("پشتيبان"));
    EXPECT_EQ(window->lblMessage1->text(), QStringLiteral("پشتيبان"));
    EXPECT_EQ(window->lblMessage1->geometry(), before);
    busy.setMessage2(QStringLiteral("SQL Server"));
    EXPECT_EQ(window->lblMessage2->layoutDirection(), Qt::LeftToRight);
    busy.setProgressPos(70);
    EXPECT_EQ(window->ProgressBar->value(), 70);
    busy.setCaption(QStringLiteral("x"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("x"));
    busy.Hide();
}

TEST_F(BusyTest, WithoutCaptionTheWindowHasNoBorderAndShowsTheRaisedFrame)
{
    TMovBusy busy;
    busy.setCaption(kPleaseWait);
    busy.setOptions({abdShowMessage1});
    busy.setMessage1(QStringLiteral("a"));
    busy.Show();
    TMovsfBusy *window = busy.form();
    EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(window->bvlBorder->isVisible());
    EXPECT_EQ(window->bvlBorder->geometry(), window->rect());
    EXPECT_EQ(window->CaptionWidth(), 0);
    EXPECT_LT(window->width(), 40); // the caption does not widen it
    busy.Hide();
}

TEST_F(BusyTest, CustomPositionPlacesTheWindow)
{
    TMovBusy busy;
    busy.setDlgLeft(37);
    busy.setDlgTop(41);
    busy.Show();
    EXPECT_EQ(busy.form()->pos(), QPoint(37, 41));
    busy.Hide();
}

TEST_F(BusyTest, CentredOnTheMainOrTheActiveWindow)
{
    QWidget main;
    main.setGeometry(20, 500, 300, 200);
    main.show();
    qApp->setProperty("mainForm", QVariant::fromValue<QWidget *>(&main));
    QWidget other;
    other.setGeometry(700, 60, 300, 200);
    other.show();
    other.activateWindow();
    QTest::qWait(20);

    // Placement counts the window system's frame, which the offscreen
    // platform does not draw: allow for half of it.
    constexpr int kFrameAllowance = 30;
    TMovBusy busy;
    busy.setDlgPosition(appMainFormCenter);
    busy.Show();
    EXPECT_LE((busy.form()->frameGeometry().center() - main.frameGeometry().center()).manhattanLength(),
              kFrameAllowance);
    busy.Hide();

    if (QApplication::activeWindow() == &other) {
        busy.setDlgPosition(appActiveFormCenter);
        busy.Show();
        EXPECT_LE((busy.form()->frameGeometry().center() - other.frameGeometry().center()).manhattanLength(),
                  kFrameAllowance);
        busy.Hide();
    }
    qApp->setProperty("mainForm", QVariant());
}

TEST_F(BusyTest, FixedSizeWindowTakesDlgWidthAndDlgHeight)
{
    TMovBusy busy;
    busy.setOptions({abdShowMessage1, abdShowProgress});
    busy.setMessage1(kRestoring);
    busy.setDlgWidth(400);
    busy.setDlgHeight(100);
    busy.Show();
    EXPECT_EQ(busy.form()->size(), QSize(400, 100)); // no caption bar: outer = client
    EXPECT_EQ(busy.form()->ProgressBar->geometry().right(), 400 - 6 - 1);
    busy.Hide();
}

TEST_F(BusyTest, ShowModalReturnsCancelWhenHidden)
{
    TMovBusy busy;
    busy.setMinDuration(0);
    QTimer::singleShot(100, &busy, [&] { busy.Hide(); });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->hide();
    });
    watchdog.start(5000);
    EXPECT_EQ(busy.ShowModal(), 2);
    watchdog.stop();
}

TEST_F(BusyTest, AnimationKeepsMovingWhileALongCallBlocksTheCaller)
{
    TMovBusy busy;
    busy.setMinDuration(0);
    busy.AVISource()->setFileName(dataLrPath());
    QList<QObject *> starts;
    busy.OnStartAVI = [&](QObject *sender) { starts << sender; };
    busy.Show();
    AnimationControl *animate = busy.form()->Animate;
    QTest::qWait(20);
    ASSERT_TRUE(animate->isActive());
    EXPECT_EQ(starts, QList<QObject *>({animate}));
    // The way the database layer waits: the call runs on a worker thread and
    // the user-interface thread sits in a local loop without user input.
    int advanced = 0;
    int last = animate->currentFrame();
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (animate->currentFrame() != last)
            ++advanced;
        last = animate->currentFrame();
    });
    watch.start(10);
    QEventLoop wait;
    std::thread call([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        QMetaObject::invokeMethod(&wait, &QEventLoop::quit, Qt::QueuedConnection);
    });
    wait.exec(QEventLoop::ExcludeUserInputEvents);
    call.join();
    EXPECT_GE(advanced, 3); // about ten at 60 ms a frame
    busy.Hide();
}
