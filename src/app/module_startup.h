#pragma once

namespace movan {

// The program's modules start in a fixed order before the main window is
// made, and finish in the reverse order at shutdown.
void startModules();
void finishModules();

} // namespace movan
