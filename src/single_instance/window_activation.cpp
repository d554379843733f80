#include "single_instance/window_activation.h"

#include "platform/x11_window.h"
#include "ui/application_shell.h"

#include <QApplication>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

namespace movan {

namespace {

void bringToFront(QWidget *window)
{
    window->raise();
    window->activateWindow();
    if (auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>())
        activateX11WindowForUser(x11->display(), window->winId());
}

} // namespace

WindowActivation::WindowActivation()
{
    connect(qApp, &QApplication::focusChanged, this, [this] {
        if (QWidget *active = QApplication::activeWindow())
            m_lastActive = active;
    });
}

QWidget *WindowActivation::lastActivePopup() const
{
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    if (m_lastActive && m_lastActive->isVisible())
        return m_lastActive;
    return ApplicationShell::mainForm();
}

void WindowActivation::restoreOrRaise()
{
    QWidget *mainForm = ApplicationShell::mainForm();
    if (mainForm && mainForm->isMinimized()) {
        mainForm->setWindowState((mainForm->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        mainForm->show();
        bringToFront(mainForm);
        return;
    }
    QWidget *popup = lastActivePopup();
    if (popup && popup->isVisible() && popup->isEnabled())
        bringToFront(popup);
}

} // namespace movan
