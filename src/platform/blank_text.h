#pragma once

#include <QString>
#include <QStringView>

namespace movan {

// Blanks as the INI and connection-string syntaxes know them: space and tab.
inline bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

inline QString trimBlanks(QStringView text)
{
    qsizetype begin = 0, end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin).toString();
}

} // namespace movan
