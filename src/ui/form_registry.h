#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace movan {

// The program-wide table from window class name to a way of making that
// window, filled at start-up, so that a window can open another one without
// depending on its module.
using FormFactory = std::function<QWidget *()>;

void registerFormClass(const QString &className, FormFactory factory);
void unregisterFormClass(const QString &className);
bool isFormClassRegistered(const QString &className);

// The class names the windows are registered under: the one who opens a
// window and the window itself name it from here, never each on its own.
inline const QString kMaintenanceWindowClassName = QStringLiteral("TFrmDBTools");

template <class Form> void registerFormClass(const QString &className)
{
    registerFormClass(className, [] { return new Form(); });
}

// Opens a window of the class registered under the name modally and
// destroys it when its modal loop ends, also when showing it throws. An
// unknown name is reported in a message dialog.
void ShowFormByClassName(const QString &className);

} // namespace movan
