#pragma once

#include <QString>

namespace movan {

// Switches the keyboard to English for "E"/"e" and to Persian for "F"/"f";
// any other code, longer ones included, does nothing. Failures are silent.
void SwitchKeyboardLayout(const QString &code);

// The computer's name as the system reports it (case kept, not trimmed);
// empty when it cannot be read.
QString GetComputerNameText();

} // namespace movan
