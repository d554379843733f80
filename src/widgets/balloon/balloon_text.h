#pragma once

#include <QString>
#include <QStringList>

namespace movan {

// The balloon's text: every line followed by CR LF, with characters of code
// 32 or less cut from both ends of the whole, so blank lines at either end go
// and blank lines between others stay.
QString balloonText(const QStringList &lines);

// What a label shows for a stored text: line breaks as the label draws them,
// and accelerator marks taken out ("&&" shows one ampersand).
QString balloonLabelText(const QString &text);

} // namespace movan
