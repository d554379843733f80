#include "widgets/balloon/balloon_text.h"

#include "util/line_breaks.h"

namespace movan {

namespace {

bool isTrimmed(QChar c)
{
    return c.unicode() <= 32;
}

} // namespace

QString balloonText(const QStringList &lines)
{
    QString joined;
    for (const QString &line : lines)
        joined += line + QStringLiteral("\r\n");
    qsizetype begin = 0;
    qsizetype end = joined.size();
    while (begin < end && isTrimmed(joined.at(begin)))
        ++begin;
    while (end > begin && isTrimmed(joined.at(end - 1)))
        --end;
    return joined.mid(begin, end - begin);
}

QString balloonLabelText(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    const QString lines = displayLineBreaks(text);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QChar c = lines.at(i);
        if (c == u'&') {
            if (i + 1 < lines.size() && lines.at(i + 1) == u'&') {
                shown += u'&';
                ++i;
            }
            continue;
        }
        shown += c;
    }
    return shown;
}

} // namespace movan
