#pragma once

#include <QAccessible>

class QWidget;

namespace movan {

// Tells assistive technology what a widget is when its class alone says too
// little: a window built on a plain QWidget would read as an unnamed
// "filler", a notice as an ordinary dialog. Set it before the widget is first
// shown; the interface made for the widget keeps the role from then on.
void setAccessibleRole(QWidget *widget, QAccessible::Role role);

// Has assistive technology say the text now, as the widget's name: a notice
// that appears or a result that changes in place without taking the focus.
void announce(QWidget *widget, const QString &text);

} // namespace movan
