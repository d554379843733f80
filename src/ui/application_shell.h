#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace movan {

// What the program's components may ask of the running application: its
// title, its main window, whether the main window is shown when the message
// loop starts, and how to end the program. The start-up fills it in.
namespace ApplicationShell {

// The application title: the executable's name up to its first ".", every
// character after the first in lower case.
QString titleFromExecutableName(const QString &executablePath);

QString title();
void setTitle(const QString &title);

// Null until the main window's constructor has returned.
QWidget *mainForm();
void setMainForm(QWidget *form);

bool showMainForm();
void setShowMainForm(bool show);

// Ends the message loop as soon as it runs (or at once, if it runs).
void terminate();
bool isTerminating();

// The orderly shutdown: module finalization, then exit code 0.
void setHaltHandler(std::function<void()> handler);
[[noreturn]] void halt();

} // namespace ApplicationShell

} // namespace movan
