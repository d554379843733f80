#pragma once

#include <QString>

// Where the tests find the source tree and the built executables; CTest
// passes both in the environment.
QString sourceTreePath(const QString &relative);
QString builtExecutablePath(const QString &name);
