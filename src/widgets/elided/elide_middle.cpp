#include "widgets/elided/elide_middle.h"

namespace movan {

namespace {

const QChar kEllipsis(0x2026);

// Moves a cut off the middle of a surrogate pair.
qsizetype startCut(const QString &text, qsizetype at)
{
    return at > 0 && at < text.size() && text[at].isLowSurrogate() ? at - 1 : at;
}

qsizetype endCut(const QString &text, qsizetype at)
{
    return at > 0 && at < text.size() && text[at].isLowSurrogate() ? at + 1 : at;
}

QString cut(const QString &text, qsizetype kept)
{
    const qsizetype head = startCut(text, (kept + 1) / 2);
    const qsizetype tail = endCut(text, text.size() - (kept - (kept + 1) / 2));
    return text.left(head) + kEllipsis + text.mid(tail);
}

} // namespace

QString elideMiddle(const QString &text, int width, const std::function<int(const QString &)> &measure)
{
    if (measure(text) <= width)
        return text;
    // The widest cut that fits: widths grow with what is kept.
    qsizetype low = 0;
    qsizetype high = text.size() - 1;
    while (low < high) {
        const qsizetype middle = (low + high + 1) / 2;
        if (measure(cut(text, middle)) <= width)
            low = middle;
        else
            high = middle - 1;
    }
    return cut(text, low);
}

} // namespace movan
