#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <sys/types.h>

namespace movan {

// The running processes as a snapshot: each with its id and the file name of
// its executable, in ascending id order. A sibling program run under Wine
// shows as its own .exe, since its argv[0] is the C:\ path Wine gives it.
struct ProcessEntry {
    pid_t pid = 0;
    QString exeFile;
};

QList<ProcessEntry> processSnapshot();

// The executable file name of a process from its /proc files: the last
// component of argv[0], separated by '/' or '\\', else comm without its line
// end.
QString executableFileName(const QByteArray &cmdline, const QByteArray &comm);

// Ends the process at once (SIGKILL); false when it is gone or may not be
// signalled. The caller does not wait for it to end.
bool terminateProcess(pid_t pid);

} // namespace movan
