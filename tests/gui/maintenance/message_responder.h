#pragma once

// Answers every message box the window shows while a test runs, whatever
// order they come in: the way back to the old database when it is offered,
// else the default choice; and keeps what each said.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

class MessageResponder {
public:
    static inline const QString kBringBackOld = QStringLiteral("برگرداندن بانک پیشین");

    MessageResponder()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { answer(); });
        m_timer.start(20);
    }
    const QStringList &seen() const { return m_seen; }

private:
    void answer()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || box->property("answered").toBool())
            return;
        box->setProperty("answered", true);
        m_seen.append(box->text());
        for (QAbstractButton *button : box->buttons()) {
            if (button->text() == kBringBackOld) {
                button->click();
                return;
            }
        }
        if (QAbstractButton *chosen = box->defaultButton() ? box->defaultButton() : box->buttons().value(0))
            chosen->click();
        else
            box->accept();
    }

    QTimer m_timer;
    QStringList m_seen;
};
