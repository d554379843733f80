#pragma once

#include <QApplication>

#include <memory>

// The QApplication of a benchmark program: the offscreen platform when there
// is no X display and no platform was asked for, and the executables it
// starts (sqlemu) found beside the benchmarks unless MOVAN_BIN_DIR names
// their folder.
std::unique_ptr<QApplication> makeBenchApplication(int &argc, char **argv);
