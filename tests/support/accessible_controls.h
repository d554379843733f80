#pragma once

#include <QAccessible>
#include <QString>
#include <QStringList>

class QWidget;

// One control as assistive technology meets it.
struct AccessibleControl {
    QString path; // object names from the window down, for the failure report
    QAccessible::Role role = QAccessible::NoRole;
    QString name; // the name it is announced by: its own, else its label's
    bool labelled = false; // a label points at it
};

// Every control under the window, walked through QAccessible as a screen
// reader walks it, hidden ones included.
QList<AccessibleControl> accessibleControls(QWidget *window);

// Controls a user operates or reads a value from (inputs, buttons, boxes,
// bars) that have no name: none of their own and no label. On Linux a combo
// box announces its value as its name, so it counts as named only through a
// label.
QStringList unnamedControls(QWidget *window);
