#include "widgets/edit/control_colors.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

namespace movan {

QColor focusedControlColor()
{
    return QColor(255, 255, 0);
}

QColor windowColor()
{
    return QApplication::palette().color(QPalette::Base);
}

QColor controlColor(const QWidget *control)
{
    return control->palette().color(QPalette::Base);
}

void setControlColor(QWidget *control, const QColor &color)
{
    QPalette palette = control->palette();
    // A closed combo box paints its face with the button role, an edit its
    // field with the base role; both follow the control's colour.
    palette.setColor(QPalette::Base, color);
    palette.setColor(QPalette::Button, color);
    control->setPalette(palette);
}

} // namespace movan
