#pragma once

#include <QRect>
#include <QSize>

#include <functional>

namespace movan {

// The arrangements of the busy window as pure functions of the measured sizes
// of its parts, so that they can be checked without a display. All positions
// are client coordinates; the outer size adds the frame and caption metrics.
namespace BusyLayout {

inline constexpr int kMargin = 6;

// The sizes the window system adds around the client area of a window with a
// caption bar.
struct FrameMetrics {
    int cxDlgFrame = 0;
    int cyDlgFrame = 0;
    int cyCaption = 0;
};

struct LabelInput {
    bool shown = false;
    QSize natural; // the size of its text on one line
    // Height of the text wrapped at the given width.
    std::function<int(int width)> wrappedHeight;
};

struct Input {
    bool hasCaption = false;
    int captionWidth = 0; // counts only with a caption bar
    bool aviShown = false;
    QSize aviSize;
    LabelInput message1;
    LabelInput message2;
    bool progressShown = false;
    QSize progressSize{191, 16};
    bool cancelShown = false;
    QSize cancelSize{75, 25};
    bool wordWrap = true;
    FrameMetrics metrics;
};

struct Result {
    QRect avi;
    QRect message1;
    QRect message2;
    QRect progress;
    QRect cancel;
    int contentWidth = 0; // the arrangement's own measure of the widest part
    QSize clientSize;
    QSize outerSize;
};

// Stacked, animation on top; messages wrap at the wider of the caption, the
// animation and dlgWidth - 12. The outer width never exceeds screenWidth.
Result SizeToContentTop(const Input &input, int dlgWidth, int screenWidth);
// Animation at the left, the rest in a column to its right; messages wrap
// where the column would leave the desktop.
Result SizeToContentLeft(const Input &input, int desktopWidth);
// Fixed outer size; the parts are placed inside it.
Result PlaceControlsTop(const Input &input, QSize outerSize);
Result PlaceControlsLeft(const Input &input, QSize outerSize);

// The client size of a window of the given outer size, and back.
QSize clientSizeFor(const Input &input, QSize outerSize);
QSize outerSizeFor(const Input &input, QSize clientSize);

} // namespace BusyLayout

} // namespace movan
