#pragma once

#include <QString>

class QWidget;

namespace movan {

// Gives a top-level window exactly this title, an empty one included
// (where Qt would show the application name instead).
void setExactWindowTitle(QWidget *window, const QString &title);

} // namespace movan
