#pragma once

// Counts the paints of the widgets it is installed on as an event filter.

#include <QEvent>
#include <QObject>

class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};
