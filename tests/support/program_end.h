#pragma once

#include <QProcess>

// Kills a program the test started, if it still runs, and waits for its end,
// so that nothing it started outlives the test.
void killIfRunning(QProcess &program);
