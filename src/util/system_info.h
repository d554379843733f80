#pragma once

#include <QString>

namespace movan {

// Switches the keyboard to English for "E"/"e" and to Persian for "F"/"f";
// any other code, longer ones included, does nothing. Failures are silent.
// The user's own layout, active before the first switch, is kept until
// RestoreUserKeyboardLayout() puts it back, which the application's end
// does too.
void SwitchKeyboardLayout(const QString &code);

// Puts back the layout the user had before the program switched it; does
// nothing when the program has not switched it since.
void RestoreUserKeyboardLayout();

// The computer's name as the system reports it (case kept, not trimmed);
// empty when it cannot be read.
QString GetComputerNameText();

} // namespace movan
