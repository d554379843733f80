#include "widgets/busy/busy_layout.h"

#include <algorithm>

namespace movan {

namespace BusyLayout {
namespace {

constexpr int kMinimumBarWidth = 200;

int captionWidthOf(const Input &input)
{
    return input.hasCaption ? input.captionWidth : 0;
}

// A label's size with word wrap as configured and at most `limit` wide.
QSize fitLabel(const LabelInput &label, bool wordWrap, int limit)
{
    if (wordWrap && label.natural.width() > limit) {
        const int height = label.wrappedHeight ? label.wrappedHeight(limit) : label.natural.height();
        return QSize(limit, height);
    }
    return label.natural;
}

// A label stretched to `width`, wrapped there when word wrap is on.
QSize stretchLabel(const LabelInput &label, bool wordWrap, int width)
{
    width = std::max(width, 0);
    const int height = wordWrap && label.wrappedHeight ? label.wrappedHeight(width) : label.natural.height();
    return QSize(width, height);
}

// The rightmost edge of the placed parts other than the animation.
int rightmostEdge(const Result &r)
{
    int edge = 0;
    for (const QRect &rect : {r.message1, r.message2, r.progress, r.cancel})
        if (!rect.isNull())
            edge = std::max(edge, rect.x() + rect.width());
    return edge;
}

// Progress bar and Cancel button on one row at `top`, the bar from `left`,
// the button ending at `rightEdge`. Returns the bottom of the row.
int placeBarRow(const Input &input, Result &r, int left, int top, int rightEdge)
{
    const QSize bar = input.progressSize, button = input.cancelSize;
    if (input.cancelShown) {
        const int buttonLeft = rightEdge - button.width();
        r.cancel = QRect(QPoint(buttonLeft, top), button);
        r.progress = QRect(left, top + (button.height() - bar.height()) / 2, std::max(buttonLeft - kMargin - left, 0),
                           bar.height());
        return top + button.height();
    }
    r.progress = QRect(left, top, std::max(rightEdge - left, 0), bar.height());
    return top + bar.height();
}

} // namespace

QSize clientSizeFor(const Input &input, QSize outerSize)
{
    if (!input.hasCaption)
        return outerSize;
    return QSize(outerSize.width() - 2 * input.metrics.cxDlgFrame,
                 outerSize.height() - input.metrics.cyCaption - 2 * input.metrics.cyDlgFrame);
}

QSize outerSizeFor(const Input &input, QSize clientSize)
{
    if (!input.hasCaption)
        return clientSize;
    return QSize(clientSize.width() + 2 * input.metrics.cxDlgFrame,
                 clientSize.height() + input.metrics.cyCaption + 2 * input.metrics.cyDlgFrame);
}

Result SizeToContentTop(const Input &input, int dlgWidth, int screenWidth)
{
    Result r;
    int w = captionWidthOf(input);
    int y = kMargin;
    if (input.aviShown) {
        r.avi = QRect(QPoint(kMargin, kMargin), input.aviSize);
        w = std::max(w, input.aviSize.width());
        y = kMargin + input.aviSize.height() + kMargin;
    }
    const int frameWidth = input.hasCaption ? 2 * input.metrics.cxDlgFrame : 0;
    int limit = std::max(w, dlgWidth - 2 * kMargin);
    // With neither caption, animation nor DlgWidth to measure by, wrapping at
    // that width of nothing would squeeze the text into a column of single
    // words; the screen is the limit instead.
    if (limit <= 0)
        limit = screenWidth - frameWidth - 2 * kMargin;
    for (auto [label, rect] : {std::pair{&input.message1, &r.message1}, std::pair{&input.message2, &r.message2}}) {
        if (!label->shown)
            continue;
        const QSize size = fitLabel(*label, input.wordWrap, limit);
        *rect = QRect(QPoint(kMargin, y), size);
        y += size.height() + kMargin;
        w = std::max(w, size.width());
    }
    const QSize bar = input.progressSize, button = input.cancelSize;
    if (input.progressShown) {
        w = std::max(w, kMinimumBarWidth + kMargin);
        if (input.cancelShown) {
            int barWidth;
            if (w < button.width() + kMinimumBarWidth + 3 * kMargin) {
                w = button.width() + kMinimumBarWidth + 3 * kMargin;
                barWidth = kMinimumBarWidth;
            } else {
                barWidth = w - kMargin - button.width();
            }
            r.cancel = QRect(QPoint(kMargin + barWidth + kMargin, y), button);
            r.progress = QRect(kMargin, y + (button.height() - bar.height()) / 2, barWidth, bar.height());
            y += button.height() + kMargin;
        } else {
            r.progress = QRect(kMargin, y, w, bar.height());
            y += bar.height() + kMargin;
        }
    } else if (input.cancelShown) {
        w = std::max(w, button.width());
        r.cancel = QRect(QPoint(kMargin + (w - button.width()) / 2, y), button);
        y += button.height() + kMargin;
    }
    r.contentWidth = w;
    // The parts start 6 from the left edge; they get the same margin on the
    // right, so no text touches or passes the frame.
    int clientWidth = std::max(w, rightmostEdge(r) + kMargin);
    if (input.aviShown)
        clientWidth = std::max(clientWidth, input.aviSize.width() + 2 * kMargin);
    clientWidth = std::min(clientWidth, screenWidth - frameWidth);
    if (input.aviShown)
        r.avi.moveLeft((clientWidth - input.aviSize.width()) / 2);
    r.clientSize = QSize(clientWidth, y);
    r.outerSize = outerSizeFor(input, r.clientSize);
    return r;
}

Result SizeToContentLeft(const Input &input, int desktopWidth)
{
    Result r;
    int w = captionWidthOf(input);
    int x = kMargin;
    int h = kMargin;
    if (input.aviShown) {
        r.avi = QRect(QPoint(kMargin, kMargin), input.aviSize);
        x = kMargin + input.aviSize.width() + kMargin;
        w = std::max(w, input.aviSize.width());
        h = kMargin + input.aviSize.height() + kMargin;
    }
    const int limit = desktopWidth - 2 * kMargin >= w - x ? desktopWidth - 2 * kMargin - x : w - x;
    int y = kMargin;
    for (auto [label, rect] : {std::pair{&input.message1, &r.message1}, std::pair{&input.message2, &r.message2}}) {
        if (!label->shown)
            continue;
        const QSize size = fitLabel(*label, input.wordWrap, limit);
        *rect = QRect(QPoint(x, y), size);
        y += size.height() + kMargin;
        w = std::max(w, x + size.width());
    }
    const QSize bar = input.progressSize, button = input.cancelSize;
    if (input.progressShown) {
        w = std::max(w, x + kMinimumBarWidth);
        if (input.cancelShown) {
            int barWidth;
            if (w < x + kMinimumBarWidth + kMargin + button.width()) {
                w = x + kMinimumBarWidth + kMargin + button.width();
                barWidth = kMinimumBarWidth;
            } else {
                barWidth = w - kMargin - button.width() - x;
            }
            r.cancel = QRect(QPoint(x + barWidth + kMargin, y), button);
            r.progress = QRect(x, y + (button.height() - bar.height()) / 2, barWidth, bar.height());
            y += button.height() + kMargin;
        } else {
            r.progress = QRect(x, y, w - x, bar.height());
            y += bar.height() + kMargin;
        }
    } else if (input.cancelShown) {
        w = std::max(w, x + button.width());
        r.cancel = QRect(QPoint(x + (w - button.width() - x) / 2, y), button);
        y += button.height() + kMargin;
    }
    if (h < y) {
        if (input.aviShown)
            r.avi.moveTop(kMargin + (y - h) / 2);
        h = y;
    }
    r.contentWidth = w;
    r.clientSize = QSize(w + kMargin, h);
    r.outerSize = outerSizeFor(input, r.clientSize);
    return r;
}

namespace {

Result placeControls(const Input &input, QSize outerSize, bool aviLeft)
{
    Result r;
    r.outerSize = outerSize;
    r.clientSize = clientSizeFor(input, outerSize);
    const int clientWidth = r.clientSize.width();
    int x = kMargin;
    int y = kMargin;
    if (input.aviShown) {
        if (aviLeft) {
            r.avi = QRect(QPoint(kMargin, kMargin), input.aviSize);
            x = kMargin + input.aviSize.width() + kMargin;
        } else {
            r.avi = QRect(QPoint((clientWidth - input.aviSize.width()) / 2, kMargin), input.aviSize);
            y = kMargin + input.aviSize.height() + kMargin;
        }
    }
    for (auto [label, rect] : {std::pair{&input.message1, &r.message1}, std::pair{&input.message2, &r.message2}}) {
        if (!label->shown)
            continue;
        const QSize size = stretchLabel(*label, input.wordWrap, clientWidth - x - kMargin);
        *rect = QRect(QPoint(x, y), size);
        y += size.height() + kMargin;
    }
    if (input.progressShown) {
        y = placeBarRow(input, r, x, y, clientWidth - kMargin) + kMargin;
    } else if (input.cancelShown) {
        r.cancel = QRect(QPoint((clientWidth - input.cancelSize.width()) / 2, y), input.cancelSize);
    }
    return r;
}

} // namespace

Result PlaceControlsTop(const Input &input, QSize outerSize)
{
    return placeControls(input, outerSize, false);
}

Result PlaceControlsLeft(const Input &input, QSize outerSize)
{
    return placeControls(input, outerSize, true);
}

} // namespace BusyLayout

} // namespace movan
