#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

// Replaces the file with the bytes through a temporary file in the same
// folder, flushed and renamed over it: a reader, or a crash, sees the old
// file or the new one, never a part. An existing file keeps its mode (and
// its owner, where this process may give it); a new one gets newFileMode. A
// file without write permission stays unwritten. False when nothing changed.
bool replaceFileAtomically(const QString &path, const QByteArray &bytes, mode_t newFileMode);
