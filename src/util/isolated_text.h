#pragma once

#include <QChar>
#include <QString>

namespace movan {

// A path, a server address or a principal inside a Persian sentence, kept
// whole and left to right: without the isolate its slashes and colons are
// reordered with the words around it.
inline QString leftToRightIsolate(const QString &text)
{
    return QChar(0x2066) + text + QChar(0x2069);
}

} // namespace movan
