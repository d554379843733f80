#include "widgets/busy/busy_layout.h"

#include <gtest/gtest.h>

using namespace movan;

using namespace BusyLayout;

namespace {

constexpr int kLineHeight = 14;

// A label whose text is `width` pixels on one line and wraps into lines of
// that height.
LabelInput label(int width)
{
    LabelInput input;
    input.shown = true;
    input.natural = QSize(width, kLineHeight);
    input.wrappedHeight = [width](int at) { return kLineHeight * ((width + at - 1) / std::max(at, 1)); };
    return input;
}

Input withCaption(int captionWidth)
{
    Input input;
    input.hasCaption = true;
    input.captionWidth = captionWidth;
    input.metrics = {3, 3, 19};
    return input;
}

bool inside(const QRect &part, const QSize &client)
{
    return part.left() >= 0 && part.top() >= 0 && part.right() < client.width() && part.bottom() < client.height();
}

} // namespace

TEST(BusyLayoutTop, ProgressAndCancelAloneGiveTheMinimumRow)
{
    Input input;
    input.progressShown = true;
    input.cancelShown = true;
    const Result r = SizeToContentTop(input, 0, 1280);
    EXPECT_EQ(r.contentWidth, 293);
    EXPECT_EQ(r.progress, QRect(6, 6 + (25 - 16) / 2, 200, 16));
    EXPECT_EQ(r.cancel, QRect(212, 6, 75, 25));
    EXPECT_EQ(r.clientSize, QSize(293, 6 + 25 + 6));
    EXPECT_EQ(r.outerSize, r.clientSize); // no caption bar, no frame
}

TEST(BusyLayoutTop, CaptionAnimationAndMessagesStackAndTheFrameIsAdded)
{
    Input input = withCaption(120);
    input.aviShown = true;
    input.aviSize = QSize(240, 48);
    input.message1 = label(100);
    input.message2 = label(80);
    const Result r = SizeToContentTop(input, 0, 1280);
    EXPECT_EQ(r.contentWidth, 240);
    EXPECT_EQ(r.clientSize.width(), 252); // 6 either side of the animation
    EXPECT_EQ(r.avi, QRect(6, 6, 240, 48));
    EXPECT_EQ(r.message1, QRect(6, 60, 100, kLineHeight));
    EXPECT_EQ(r.message2, QRect(6, 60 + kLineHeight + 6, 80, kLineHeight));
    EXPECT_EQ(r.clientSize.height(), 60 + 2 * (kLineHeight + 6));
    EXPECT_EQ(r.outerSize, r.clientSize + QSize(6, 19 + 6));
}

TEST(BusyLayoutTop, CaptionCountsOnlyWithACaptionBar)
{
    Input input = withCaption(400);
    input.message1 = label(50);
    EXPECT_EQ(SizeToContentTop(input, 0, 1280).contentWidth, 400);
    input.hasCaption = false;
    EXPECT_EQ(SizeToContentTop(input, 0, 1280).contentWidth, 50);
}

TEST(BusyLayoutTop, LongMessagesWrapAtTheWidestOfCaptionAnimationAndDlgWidth)
{
    Input input = withCaption(150);
    input.aviShown = true;
    input.aviSize = QSize(200, 40);
    input.message1 = label(700);
    Result r = SizeToContentTop(input, 0, 1280);
    EXPECT_EQ(r.message1.width(), 200);
    EXPECT_EQ(r.message1.height(), 4 * kLineHeight);
    EXPECT_TRUE(inside(r.message1, r.clientSize));

    r = SizeToContentTop(input, 412, 1280);
    EXPECT_EQ(r.message1.width(), 400);
    EXPECT_EQ(r.clientSize.width(), 412);

    input.wordWrap = false;
    r = SizeToContentTop(input, 0, 1280);
    EXPECT_EQ(r.message1, QRect(6, 52, 700, kLineHeight));
    EXPECT_EQ(r.clientSize.width(), 712);
    // Never wider than the screen.
    r = SizeToContentTop(input, 0, 500);
    EXPECT_EQ(r.outerSize.width(), 500);
}

TEST(BusyLayoutTop, WithNothingToMeasureByMessagesWrapOnlyAtTheScreen)
{
    Input input;
    input.message1 = label(300);
    Result r = SizeToContentTop(input, 0, 1280);
    EXPECT_EQ(r.message1, QRect(6, 6, 300, kLineHeight));
    input.message1 = label(2000);
    r = SizeToContentTop(input, 0, 1280);
    EXPECT_EQ(r.message1.width(), 1268);
    EXPECT_EQ(r.clientSize.width(), 1280);
}

TEST(BusyLayoutTop, WideContentStretchesTheBarUpToTheButton)
{
    Input input;
    input.message1 = label(320);
    input.progressShown = true;
    input.cancelShown = true;
    const Result r = SizeToContentTop(input, 0, 1280);
    EXPECT_EQ(r.progress.width(), 320 - 6 - 75);
    EXPECT_EQ(r.cancel.left(), r.progress.right() + 1 + 6);
    EXPECT_TRUE(inside(r.cancel, r.clientSize));

    input.cancelShown = false;
    const Result bar = SizeToContentTop(input, 0, 1280);
    EXPECT_EQ(bar.progress, QRect(6, 26, 320, 16));
    EXPECT_TRUE(inside(bar.progress, bar.clientSize));
}

TEST(BusyLayoutTop, CancelAloneIsCentred)
{
    Input input;
    input.message1 = label(200);
    input.cancelShown = true;
    const Result r = SizeToContentTop(input, 0, 1280);
    EXPECT_EQ(r.cancel.left(), 6 + (200 - 75) / 2);
    EXPECT_EQ(r.cancel.top(), 26);
}

TEST(BusyLayoutLeft, AnimationBesideAColumnCentredOnIt)
{
    Input input = withCaption(50);
    input.aviShown = true;
    input.aviSize = QSize(40, 40);
    input.message1 = label(100);
    input.message2 = label(100);
    input.progressShown = true;
    input.cancelShown = true;
    const Result r = SizeToContentLeft(input, 1280);
    const int x = 6 + 40 + 6;
    EXPECT_EQ(r.message1.topLeft(), QPoint(x, 6));
    EXPECT_EQ(r.message2.topLeft(), QPoint(x, 26));
    EXPECT_EQ(r.progress, QRect(x, 46 + 4, 200, 16));
    EXPECT_EQ(r.cancel, QRect(x + 206, 46, 75, 25));
    const int columnBottom = 46 + 25 + 6;
    EXPECT_EQ(r.avi.topLeft(), QPoint(6, 6 + (columnBottom - 52) / 2));
    EXPECT_EQ(r.contentWidth, x + 206 + 75);
    EXPECT_EQ(r.clientSize, QSize(x + 206 + 75 + 6, columnBottom));
    EXPECT_EQ(r.outerSize, r.clientSize + QSize(6, 25));
}

TEST(BusyLayoutLeft, MessagesWrapAtTheDesktopEdge)
{
    Input input;
    input.aviShown = true;
    input.aviSize = QSize(40, 40);
    input.message1 = label(2000);
    const Result r = SizeToContentLeft(input, 800);
    EXPECT_EQ(r.message1.width(), 800 - 12 - 52);
    EXPECT_EQ(r.clientSize.width(), 800 - 12 + 6);
    EXPECT_EQ(r.avi.top(), 6 + (r.clientSize.height() - 52) / 2);
}

TEST(BusyLayoutFixed, PartsFillTheGivenSize)
{
    Input input = withCaption(50);
    input.aviShown = true;
    input.aviSize = QSize(100, 30);
    input.message1 = label(600);
    input.progressShown = true;
    input.cancelShown = true;
    const QSize outer(406, 200);
    const Result top = PlaceControlsTop(input, outer);
    EXPECT_EQ(top.clientSize, QSize(400, 200 - 25));
    EXPECT_EQ(top.avi, QRect(150, 6, 100, 30));
    EXPECT_EQ(top.message1, QRect(6, 42, 388, 2 * kLineHeight));
    EXPECT_EQ(top.cancel, QRect(400 - 6 - 75, 42 + 28 + 6, 75, 25));
    EXPECT_EQ(top.progress.right() + 1, top.cancel.left() - 6);
    EXPECT_EQ(top.progress.top(), top.cancel.top() + 4);

    const Result left = PlaceControlsLeft(input, outer);
    EXPECT_EQ(left.avi, QRect(6, 6, 100, 30));
    EXPECT_EQ(left.message1, QRect(112, 6, 400 - 112 - 6, 3 * kLineHeight));
    EXPECT_EQ(left.progress.left(), 112);

    input.cancelShown = false;
    EXPECT_EQ(PlaceControlsTop(input, outer).progress.right() + 1, 400 - 6);
    input.progressShown = false;
    input.cancelShown = true;
    EXPECT_EQ(PlaceControlsTop(input, outer).cancel.left(), (400 - 75) / 2);
}
