#pragma once

namespace movan {

// Whether the program was started for the command line rather than the
// windows (an argument beginning with "--").
bool commandLineAsked(int argc, char **argv);

// The command line, start to end: no window, no display and no
// single-instance guard, so a timer can run it beside a running copy.
// Returns the exit code.
int runCommandLine(int argc, char **argv);

} // namespace movan
