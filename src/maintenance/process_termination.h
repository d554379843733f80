#pragma once

#include <QString>

#include <cstdint>

namespace movan {

// Stopping the sibling programs that hold a database open, by a fragment of
// their executable's file name. Every failure is silent.

// A copy with A..Z turned into a..z; every other character as it is.
QString LowerCaseAscii(const QString &text);

// Nothing to do here: a process may signal what its user owns, and no more.
void EnableDebugPrivilege();

// The id of the last process, in ascending id order, whose executable name
// contains the name (ASCII letters in either case); 0 when none does or the
// name is empty. The tool's own process is never chosen.
std::uint32_t FindProcessByName(const QString &name);

// Ends the process FindProcessByName chooses; nothing when there is none or
// it may not be ended.
void KillProcessByName(const QString &name);

} // namespace movan
