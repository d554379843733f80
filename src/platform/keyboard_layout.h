#pragma once

#include <QByteArray>

namespace movan {

namespace KeyboardLayout {

// Makes the keyboard group whose layout is xkbLayout ("us", "ir") the active
// one. Does nothing, and fails silently, unless Qt's platform is xcb, and
// where there is no X display or no such group.
void activate(const QByteArray &xkbLayout);

// The XKB layout of the active group, or empty without an X display; lets
// callers and tests see what activate() did.
QByteArray activeLayout();

} // namespace KeyboardLayout

} // namespace movan
