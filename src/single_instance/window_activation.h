#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

namespace movan {

// What this copy does when another copy, giving way, asks for it: a
// minimised main window is restored; otherwise the window the user last
// worked in (a modal dialog or window, else the main window) comes to the
// front, if it is visible and enabled.
class WindowActivation : public QObject {
    Q_OBJECT
public:
    WindowActivation();

    void restoreOrRaise();
    QWidget *lastActivePopup() const;

private:
    QPointer<QWidget> m_lastActive;
};

} // namespace movan
