#include "resources/avi/avi_writer.h"
#include "widgets/animation/animation_control.h"

#include "support/compiled_resources.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace movan;

namespace {

QString dataLrPath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("DataLR.avi"));
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const aviwriter::Bytes &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
    return path;
}

// A 2x1 24-bit clip: the first frame is whole, the second has no bytes for
// its picture.
aviwriter::Bytes clipWithDamagedSecondFrame()
{
    aviwriter::Format f;
    f.width = 2;
    f.height = 1;
    f.bitCount = 24;
    f.microSecondsPerFrame = 20000;
    return aviwriter::buildAvi(f, {aviwriter::Bytes{1, 2, 3, 4, 5, 6}, aviwriter::Bytes{1, 2}}, "00db");
}

// A 4x2 run-length coded clip whose frame i is painted all over in colour i
// of its palette, so the picture tells which frame is shown.
constexpr int kNumberedFrames = 7;
constexpr std::uint32_t kNumberedFrameMicroSeconds = 37000;

QRgb numberedFrameColour(int frame)
{
    return qRgb(40 * frame, 255 - 30 * frame, 100);
}

// The frame a picture belongs to; -1 for none.
int numberedFrameOf(const QImage &picture)
{
    for (int frame = 0; frame < kNumberedFrames; ++frame)
        if (picture.pixel(0, 0) == numberedFrameColour(frame))
            return frame;
    return -1;
}

aviwriter::Bytes clipOfNumberedFrames()
{
    aviwriter::Format f;
    f.width = 4;
    f.height = 2;
    f.bitCount = 8;
    f.compression = 1;
    f.microSecondsPerFrame = kNumberedFrameMicroSeconds;
    std::vector<aviwriter::Bytes> frames;
    for (int i = 0; i < kNumberedFrames; ++i) {
        f.palette.push_back(numberedFrameColour(i) & 0xFFFFFF);
        frames.push_back(aviwriter::encodeRle8(std::vector<std::uint8_t>(8, std::uint8_t(i)), 4, 2));
    }
    return aviwriter::buildAvi(f, frames);
}

// Records, each time the control's frame timer fires, the frame on show
// until then: every frame the loop shows, however late the ticks come.
class FrameTickRecorder : public QObject {
public:
    explicit FrameTickRecorder(const AnimationControl &control)
        : m_control(control)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

    QList<int> shown;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Timer)
            return false;
        // A timer of the control's own, or a timer object at the frame rate.
        const auto *timer = qobject_cast<QTimer *>(watched);
        if (watched == &m_control
            || (timer && !timer->isSingleShot() && timer->interval() == m_control.frameIntervalMs()))
            shown << numberedFrameOf(m_control.currentImage());
        return false;
    }

private:
    const AnimationControl &m_control;
};

} // namespace

TEST(AnimationControl, OpensTheBusyClipAtItsSizeAndRate)
{
    AnimationControl control;
    control.setFileName(dataLrPath());
    ASSERT_TRUE(control.isOpen());
    EXPECT_EQ(control.size(), QSize(240, 48));
    EXPECT_EQ(control.frameSize(), QSize(240, 48));
    EXPECT_EQ(control.frameCount(), 20);
    EXPECT_EQ(control.frameIntervalMs(), 60);
    EXPECT_FALSE(control.isActive());
    EXPECT_TRUE(control.hasPlayableSource());
}

TEST(AnimationControl, PlaysInALoopAndFiresItsStartEventOnce)
{
    AnimationControl control;
    control.setFileName(dataLrPath());
    int starts = 0;
    control.OnStart = [&](QObject *sender) {
        EXPECT_EQ(sender, &control);
        ++starts;
    };
    const QImage first = control.currentImage();
    control.play();
    control.play();
    EXPECT_EQ(starts, 1);
    // Round the loop once: the frame number comes back down.
    int highest = 0;
    bool wrapped = false;
    for (int i = 0; i < 400 && !wrapped; ++i) {
        QTest::qWait(10);
        if (control.currentFrame() < highest)
            wrapped = true;
        highest = std::max(highest, control.currentFrame());
    }
    EXPECT_TRUE(wrapped);
    EXPECT_GE(highest, 10);
    control.stop();
    EXPECT_FALSE(control.isActive());
    // The figure moves: the middle of the clip is not its first picture.
    control.play();
    QTest::qWait(300);
    EXPECT_NE(control.currentImage(), first);
}

TEST(AnimationControl, EveryFrameIsShownOncePerLoopInOrder)
{
    QTemporaryDir dir;
    AnimationControl control;
    control.setFileName(writeFile(dir, QStringLiteral("numbered.avi"), clipOfNumberedFrames()));
    ASSERT_EQ(control.frameCount(), kNumberedFrames);
    ASSERT_EQ(control.frameIntervalMs(), 37);
    const QList<int> expected{0, 1, 2, 3, 4, 5, 6, 0, 1, 2, 3, 4, 5, 6, 0};

    FrameTickRecorder recorder(control);
    control.play();
    for (int wait = 0; wait < 1000 && recorder.shown.size() < expected.size(); ++wait)
        QTest::qWait(10);
    control.stop();
    EXPECT_EQ(recorder.shown.mid(0, expected.size()), expected);
}

TEST(AnimationControl, TransparentClipShowsTheBackgroundWhereItsFirstPixelColourIs)
{
    AnimationControl control;
    QPalette palette = control.palette();
    palette.setColor(control.backgroundRole(), QColor(10, 200, 30));
    control.setPalette(palette);
    control.setFileName(dataLrPath());
    const QRgb key = control.currentImage().pixel(0, 0);
    EXPECT_EQ(key, qRgb(0xD4, 0xD0, 0xC8));
    control.setTransparent(true);
    EXPECT_EQ(control.currentImage().pixel(0, 0), qRgb(10, 200, 30));
    EXPECT_EQ(control.currentImage().pixel(239, 47), qRgb(10, 200, 30));
    control.setTransparent(false);
    EXPECT_EQ(control.currentImage().pixel(0, 0), key);
}

TEST(AnimationControl, ClipsThatCannotBePlayedRaiseAndLeaveTheControlClosed)
{
    QTemporaryDir dir;
    aviwriter::Format codec;
    codec.width = 4;
    codec.height = 4;
    codec.bitCount = 24;
    codec.compression = 0x44495658; // a compressed codec
    const QString names[] = {
        dir.filePath(QStringLiteral("missing.avi")),
        writeFile(dir, QStringLiteral("empty.avi"), {}),
        writeFile(dir, QStringLiteral("text.avi"), {'h', 'e', 'l', 'l', 'o'}),
        writeFile(dir, QStringLiteral("codec.avi"), aviwriter::buildAvi(codec, {aviwriter::Bytes(48)})),
        dir.path(),
    };
    for (const QString &name : names) {
        AnimationControl control;
        control.setCommonAVI(aviCopyFile);
        try {
            control.setFileName(name);
            ADD_FAILURE() << "opened " << name.toStdString();
        } catch (const EAviOpenError &error) {
            EXPECT_EQ(error.message(), QStringLiteral("Cannot open AVI"));
        }
        EXPECT_FALSE(control.isOpen());
        control.play();
        EXPECT_FALSE(control.isActive());
    }
}

TEST(AnimationControl, DamagedFrameStopsTheLoopCleanly)
{
    QTemporaryDir dir;
    AnimationControl control;
    control.setFileName(writeFile(dir, QStringLiteral("damaged.avi"), clipWithDamagedSecondFrame()));
    int stops = 0;
    control.OnStop = [&](QObject *) { ++stops; };
    control.play();
    for (int i = 0; i < 100 && control.isActive(); ++i)
        QTest::qWait(10);
    EXPECT_FALSE(control.isActive());
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(control.currentFrame(), 0);
    EXPECT_EQ(control.currentImage().pixel(0, 0), qRgb(3, 2, 1));
}

TEST(AnimationControl, EveryStandardAnimationIsBuiltIn)
{
    for (int value = aviFindFolder; value <= aviDeleteFile; ++value) {
        AnimationControl control;
        control.setCommonAVI(TCommonAVI(value));
        ASSERT_TRUE(control.isOpen()) << value;
        EXPECT_TRUE(control.hasPlayableSource());
        EXPECT_GE(control.frameCount(), 8) << value;
        EXPECT_EQ(control.size(), control.frameSize());
        EXPECT_GE(control.frameSize().height(), 40);
        const QImage first = control.currentImage();
        control.play();
        QTest::qWait(250);
        EXPECT_NE(control.currentImage(), first) << value;
    }
    AnimationControl control;
    control.setCommonAVI(aviCopyFiles);
    control.setCommonAVI(aviNone);
    EXPECT_FALSE(control.isOpen());
}

TEST(AnimationControl, PlaysClipsFromTheResources)
{
    CompiledResources resources(QStringLiteral("AVI"),
                                {{QStringLiteral("BUSY"), dataLrPath()}, {QStringLiteral("101"), dataLrPath()}});
    if (!resources.isRegistered())
        GTEST_SKIP() << "no resource compiler";
    AnimationControl control;
    control.setResourceName(nullptr, QStringLiteral("BUSY"));
    EXPECT_EQ(control.frameCount(), 20);
    control.setResourceID(nullptr, 101);
    EXPECT_EQ(control.frameCount(), 20);
    EXPECT_THROW(control.setResourceID(nullptr, 102), EAviOpenError);
    EXPECT_FALSE(control.isOpen());
}
