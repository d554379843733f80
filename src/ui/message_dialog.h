#pragma once

#include "util/line_breaks.h"

#include <QString>
#include <QtGlobal>

namespace movan {

// The buttons of a message dialog; a button set is a mask of them, and the
// dialog shows its members in this order, left to right.
enum TMsgDlgBtn : quint16 {
    mbYes = 1,
    mbNo = 2,
    mbOK = 4,
    mbCancel = 8,
    mbAbort = 16,
    mbRetry = 32,
    mbIgnore = 64,
    mbAll = 128,
    mbNoToAll = 256,
    mbYesToAll = 512,
    mbHelp = 1024,
};

// The kind of a message dialog, which picks its icon.
enum TMsgDlgType : quint8 {
    mtWarning = 0,
    mtError = 1,
    mtInformation = 2,
    mtConfirmation = 3,
    mtCustom = 4,
};

// The result of the close box (and of mbCancel).
constexpr int kMessageDialogClosedResult = 2;

// The Persian, right-to-left, always-on-top message dialog behind every
// notice of the program. Shows modally and returns the result of the button
// pressed: mbYes 6, mbNo 7, mbOK 1, mbCancel 2, mbAbort 3, mbRetry 4,
// mbIgnore 5, mbAll 8, mbNoToAll 9, mbYesToAll 10; the close box gives 2.
// The caption is the title bar as it stands, empty when none is given.
int ShowMessageDialog(const QString &caption, const QString &message, quint16 buttons, quint8 kind);

// The same dialog with the words of whoever failed (the server, the system)
// under the message, in a box of their own that reads in their own
// direction, so an English text keeps its punctuation where it belongs. An
// empty details text gives exactly the dialog of ShowMessageDialog.
int ShowMessageDialogWithDetails(const QString &caption, const QString &message, const QString &details,
                                 quint16 buttons, quint8 kind);

// The program's default error report: that dialog captioned "خطا", kind
// error, one button; its object name is "ErrorReport".
int ShowErrorReport(const QString &message, const QString &details);

// The Persian word for a dialog kind, which assistive technology announces
// with the dialog: "هشدار", "خطا", "اطلاع", "پرسش", "پیام".
QString messageKindName(quint8 kind);

} // namespace movan
