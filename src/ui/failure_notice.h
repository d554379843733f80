#pragma once

#include "ui/message_dialog.h"

#include <QString>

#include <exception>

namespace movan {

// Tells a failure in the message dialog: the fixed text first, then why and
// what to do, the failure's own words in the details area. A null failure
// shows the fixed text alone.
int ShowFailureNotice(const QString &caption, const QString &fixedText, const std::exception &error,
                      quint16 buttons = mbOK, quint8 kind = mtError);
int ShowFailureNotice(const QString &caption, const QString &fixedText, const std::exception_ptr &error,
                      quint16 buttons = mbOK, quint8 kind = mtError);

} // namespace movan
