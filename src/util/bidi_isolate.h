#pragma once

#include <QChar>
#include <QString>

namespace movan {

// A path (or any left-to-right run) inside a Persian sentence, kept whole and
// left to right: without the isolate its leading "/" moves to its end and its
// parts are reordered with the words around them.
inline QString isolatedPath(const QString &path)
{
    return QChar(0x2066) + path + QChar(0x2069);
}

} // namespace movan
