#pragma once

#include <QString>

namespace movan {

// The running executable, as the kernel knows it: a link or a launcher that
// started it makes no difference. Found once, at the first call (start-up
// makes it early), and kept: a package upgrade that replaces the file while
// the program runs must not move the program's files elsewhere.
QString executableFilePath();

// The folder of the running executable with a trailing separator. Files that
// the program shares with its siblings live there, whatever the working
// directory is.
QString executableDirectory();

} // namespace movan
