#include "support/modal_dialog_driver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <algorithm>

namespace {

constexpr int kPollMs = 10;

QString withoutMnemonic(QString label)
{
    label.replace(QLatin1String("&&"), QLatin1String("\x01"));
    label.remove(QLatin1Char('&'));
    label.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return label;
}

QList<QAbstractButton *> buttonsLeftToRight(QWidget *modal)
{
    QList<QAbstractButton *> buttons;
    for (QAbstractButton *button : modal->findChildren<QAbstractButton *>())
        if (button->isVisible() && qobject_cast<QPushButton *>(button))
            buttons.append(button);
    std::sort(buttons.begin(), buttons.end(), [modal](QAbstractButton *a, QAbstractButton *b) {
        return a->mapTo(modal, QPoint()).x() < b->mapTo(modal, QPoint()).x();
    });
    return buttons;
}

DialogIcon iconOf(QWidget *modal)
{
    const QVariant kind = modal->property("messageKind");
    if (kind.isValid()) {
        switch (kind.toInt()) {
        case 0:
            return DialogIcon::Warning;
        case 1:
            return DialogIcon::Error;
        case 2:
            return DialogIcon::Information;
        case 3:
            return DialogIcon::Question;
        default:
            return DialogIcon::None;
        }
    }
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        switch (box->icon()) {
        case QMessageBox::Warning:
            return DialogIcon::Warning;
        case QMessageBox::Critical:
            return DialogIcon::Error;
        case QMessageBox::Information:
            return DialogIcon::Information;
        case QMessageBox::Question:
            return DialogIcon::Question;
        default:
            return DialogIcon::None;
        }
    }
    return DialogIcon::Unknown;
}

// Direction marks are invisible: what a person reads is the text without them.
QString withoutDirectionMarks(QString text)
{
    for (char16_t mark : {u'\u200E', u'\u200F', u'\u202A', u'\u202B', u'\u202C', u'\u202D', u'\u202E'})
        text.remove(QChar(mark));
    return text;
}

} // namespace

ModalDialogDriver::ModalDialogDriver(int timeoutMs)
    : m_timeoutMs(timeoutMs)
{
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &ModalDialogDriver::poll);
}

ModalDialogDriver::~ModalDialogDriver()
{
    m_poll.stop();
}

ModalDialogDriver &ModalDialogDriver::pressButton(const QString &label)
{
    return enqueue({Answer::Button, label, {}});
}
ModalDialogDriver &ModalDialogDriver::pressEnter()
{
    return enqueue({Answer::Enter, {}, {}});
}
ModalDialogDriver &ModalDialogDriver::pressEscape()
{
    return enqueue({Answer::Escape, {}, {}});
}
ModalDialogDriver &ModalDialogDriver::closeBox()
{
    return enqueue({Answer::CloseBox, {}, {}});
}
ModalDialogDriver &ModalDialogDriver::handle(std::function<void(QWidget *)> action)
{
    return enqueue({Answer::Custom, {}, std::move(action)});
}

ModalDialogDriver &ModalDialogDriver::enqueue(Answer answer)
{
    m_pending.push_back(std::move(answer));
    if (!m_poll.isActive()) {
        m_waiting.start();
        m_poll.start();
    }
    return *this;
}

bool ModalDialogDriver::waitUntilAnswered(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!m_pending.empty() && clock.elapsed() < timeoutMs)
        QTest::qWait(kPollMs);
    return m_pending.empty();
}

ShownDialog ModalDialogDriver::describe(QWidget *modal)
{
    ShownDialog shown;
    shown.objectName = modal->objectName();
    shown.caption = modal->windowTitle();
    shown.direction = modal->layoutDirection();
    shown.stayOnTop = modal->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    shown.fontFamily = modal->font().family();
    shown.fontPixelSize = modal->font().pixelSize();
    shown.icon = iconOf(modal);
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        shown.text = box->text();
        shown.textDirection = box->layoutDirection();
    } else if (auto *message = modal->findChild<QLabel *>(QStringLiteral("Message"))) {
        shown.text = withoutDirectionMarks(message->text());
        shown.textDirection = message->layoutDirection();
        if (auto *details = modal->findChild<QPlainTextEdit *>(QStringLiteral("Details")))
            shown.details = details->toPlainText();
    } else {
        QStringList texts;
        for (QLabel *label : modal->findChildren<QLabel *>())
            if (label->isVisible() && !label->text().isEmpty())
                texts.append(label->text());
        shown.text = texts.join(QLatin1Char('\n'));
        shown.textDirection = modal->layoutDirection();
    }
    for (QAbstractButton *button : buttonsLeftToRight(modal))
        shown.buttons.append(button->text());
    return shown;
}

void ModalDialogDriver::poll()
{
    if (m_pending.empty()) {
        m_poll.stop();
        return;
    }
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || m_ignored.contains(modal)) {
        m_seen = nullptr;
        if (m_waiting.elapsed() > m_timeoutMs) {
            m_failures.append(QStringLiteral("no modal dialog appeared"));
            m_pending.pop_front();
            m_waiting.start();
        }
        return;
    }
    if (modal != m_seen) {
        m_seen = modal;
        m_visibleFor.start();
    }
    if (m_visibleFor.elapsed() < m_answerDelayMs)
        return;
    const Answer next = m_pending.front();
    m_pending.pop_front();
    m_waiting.start();
    m_seen = nullptr;
    m_shown.append(describe(modal));
    if (m_beforeAnswer)
        m_beforeAnswer(modal);
    answer(modal, next);
}

void ModalDialogDriver::answer(QWidget *modal, const Answer &answer)
{
    QPointer<QWidget> target = modal;
    switch (answer.kind) {
    case Answer::Button: {
        const QList<QAbstractButton *> buttons = buttonsLeftToRight(modal);
        // A standard button of Qt's own is found by its English label too,
        // whatever language Qt's translations gave it.
        const QString translated = QCoreApplication::translate("QPlatformTheme", answer.label.toUtf8().constData());
        const auto found = std::find_if(buttons.begin(), buttons.end(), [&](QAbstractButton *button) {
            for (const QString &label : {answer.label, translated})
                if (button->text() == label || withoutMnemonic(button->text()) == withoutMnemonic(label))
                    return true;
            return false;
        });
        if (found == buttons.end()) {
            m_failures.append(
                QStringLiteral("no button \"%1\" in dialog \"%2\"").arg(answer.label, m_shown.last().text));
            modal->close();
            return;
        }
        QTest::mouseClick(*found, Qt::LeftButton);
        return;
    }
    case Answer::Enter:
        QTest::keyClick(modal->focusWidget() ? modal->focusWidget() : modal, Qt::Key_Return);
        return;
    case Answer::Escape:
        QTest::keyClick(modal->focusWidget() ? modal->focusWidget() : modal, Qt::Key_Escape);
        return;
    case Answer::CloseBox:
        modal->close();
        return;
    case Answer::Custom:
        answer.action(modal);
        return;
    }
}
