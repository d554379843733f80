#pragma once

#include <QColor>

class QWidget;

namespace movan {

// The background of the keyboard-aware controls: clYellow while focused,
// clWindow (the palette's base colour) otherwise.
QColor focusedControlColor();
QColor windowColor();

QColor controlColor(const QWidget *control);
void setControlColor(QWidget *control, const QColor &color);

} // namespace movan
