#include "app/window_activation.h"

#include "widgets/application_shell.h"

#include <QApplication>
#include <QWidget>

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
        mainForm->raise();
        mainForm->activateWindow();
        return;
    }
    QWidget *popup = lastActivePopup();
    if (popup && popup->isVisible() && popup->isEnabled()) {
        popup->raise();
        popup->activateWindow();
    }
}
