#include "support/accessible_controls.h"

#include <QAccessibleInterface>
#include <QWidget>

namespace {

bool operated(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::SpinBox:
    case QAccessible::Slider:
    case QAccessible::Dial:
    case QAccessible::ProgressBar:
    case QAccessible::ButtonDropDown:
    case QAccessible::ButtonMenu:
    case QAccessible::PageTab:
        return true;
    default:
        return false;
    }
}

QString pathOf(QAccessibleInterface *iface, const QString &parentPath)
{
    QString step = iface->object() ? iface->object()->objectName() : QString();
    if (step.isEmpty())
        step = iface->object() ? QString::fromLatin1(iface->object()->metaObject()->className())
                               : QStringLiteral("role%1").arg(int(iface->role()));
    return parentPath.isEmpty() ? step : parentPath + QLatin1Char('/') + step;
}

void walk(QAccessibleInterface *iface, const QString &parentPath, QList<AccessibleControl> &out, int depth)
{
    if (!iface || !iface->isValid() || depth > 40)
        return;
    AccessibleControl control;
    control.path = pathOf(iface, parentPath);
    control.role = iface->role();
    control.name = iface->text(QAccessible::Name).trimmed();
    const auto labels = iface->relations(QAccessible::Label);
    for (const auto &relation : labels) {
        const QString labelText = relation.first ? relation.first->text(QAccessible::Name).trimmed() : QString();
        if (!labelText.isEmpty()) {
            control.labelled = true;
            if (control.name.isEmpty())
                control.name = labelText;
        }
    }
    out.append(control);
    for (int i = 0; i < iface->childCount(); ++i)
        walk(iface->child(i), control.path, out, depth + 1);
}

} // namespace

QList<AccessibleControl> accessibleControls(QWidget *window)
{
    QList<AccessibleControl> controls;
    walk(QAccessible::queryAccessibleInterface(window), QString(), controls, 0);
    return controls;
}

QStringList unnamedControls(QWidget *window)
{
    QStringList unnamed;
    for (const AccessibleControl &control : accessibleControls(window)) {
        if (!operated(control.role))
            continue;
        const bool named = control.role == QAccessible::ComboBox ? control.labelled : !control.name.isEmpty();
        if (!named)
            unnamed.append(QStringLiteral("%1 (role %2)").arg(control.path).arg(int(control.role)));
    }
    return unnamed;
}
