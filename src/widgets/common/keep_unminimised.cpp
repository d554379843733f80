#include "widgets/common/keep_unminimised.h"

#include <QEvent>
#include <QWidget>

namespace movan {

bool restoreIfMinimised(QWidget *window, const QEvent *event)
{
    if (event->type() != QEvent::WindowStateChange || !window->isMinimized())
        return false;
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    return true;
}

} // namespace movan
