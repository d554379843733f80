#pragma once

#include <functional>

class QWidget;

namespace movan {

// The whole life of the program around its main window: modules start, the
// application window that other copies find is opened, the main window is
// made (its single-instance guard acting while it is), shown unless the
// guard said otherwise, the message loop runs until it closes, and
// everything is torn down in order. Returns the exit code, always 0.
int runProgram(int argc, char **argv, const std::function<QWidget *()> &createMainForm);

} // namespace movan
