#pragma once

#include <QString>

// The folder of the running executable with a trailing separator. Files that
// the program shares with its siblings live there, whatever the working
// directory is.
QString executableDirectory();
