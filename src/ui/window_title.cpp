#include "ui/window_title.h"

#include "platform/x11_window.h"

#include <QGuiApplication>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

namespace movan {

void setExactWindowTitle(QWidget *window, const QString &title)
{
    window->setWindowTitle(title);
    if (!title.isEmpty())
        return;
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11)
        return;
    // The native window must exist for its title to be replaced.
    clearX11WindowTitle(x11->display(), window->winId());
}

} // namespace movan
