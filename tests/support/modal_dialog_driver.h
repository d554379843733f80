#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>

class QWidget;

// The icon a dialog showed.
enum class DialogIcon { None, Warning, Error, Information, Question, Unknown };

// What a modal dialog showed when it was answered.
struct ShownDialog {
    QString objectName;
    QString caption;
    QString text;
    QString details; // the message dialog's details box, when it has one
    QStringList buttons; // labels as set on the buttons, "&" included, left to right
    DialogIcon icon = DialogIcon::Unknown;
    Qt::LayoutDirection direction = Qt::LeftToRight;
    Qt::LayoutDirection textDirection = Qt::LeftToRight;
    bool stayOnTop = false;
    QString fontFamily;
    int fontPixelSize = 0;
};

// Answers the modal dialogs a test makes the code under test open: queue an
// answer per expected dialog before the call that opens them; each new
// active modal widget takes the next answer. A dialog that does not appear
// in time, or has no button with the label, is recorded in failures() (and
// closed, so the test goes on instead of hanging).
//
//     ModalDialogDriver driver;
//     driver.pressButton("خير");
//     EXPECT_EQ(ShowMessageDialog("خطا", text, mbOK | mbCancel, mtWarning), 2);
//     EXPECT_EQ(driver.last().caption, "خطا");
//     EXPECT_TRUE(driver.failures().isEmpty());
//
// Our message dialog, QMessageBox and any other modal widget are described
// alike (for the last, the text is that of its labels).
class ModalDialogDriver : public QObject {
public:
    explicit ModalDialogDriver(int timeoutMs = 5000);
    ~ModalDialogDriver() override;

    // By the label shown, with or without its "&".
    ModalDialogDriver &pressButton(const QString &label);
    ModalDialogDriver &pressEnter();
    ModalDialogDriver &pressEscape();
    ModalDialogDriver &closeBox();
    // Anything else; the action must close the window itself.
    ModalDialogDriver &handle(std::function<void(QWidget *modal)> action);

    // Runs on each dialog before it is answered, e.g. to take a screenshot.
    void setBeforeAnswer(std::function<void(QWidget *modal)> hook) { m_beforeAnswer = std::move(hook); }
    // A modal window the test itself works in (one that opens the dialogs)
    // is never taken for a dialog to answer.
    void ignoreWindow(QWidget *window) { m_ignored.append(window); }
    // Lets the window system draw the dialog before it is answered.
    void setAnswerDelay(int ms) { m_answerDelayMs = ms; }

    // Spins the event loop until every queued answer is given or time runs out.
    bool waitUntilAnswered(int timeoutMs = 5000);

    const QList<ShownDialog> &shown() const { return m_shown; }
    ShownDialog last() const { return m_shown.isEmpty() ? ShownDialog() : m_shown.last(); }
    bool allAnswered() const { return m_pending.empty(); }
    const QStringList &failures() const { return m_failures; }

    static ShownDialog describe(QWidget *modal);

private:
    struct Answer {
        enum Kind { Button, Enter, Escape, CloseBox, Custom } kind;
        QString label;
        std::function<void(QWidget *)> action;
    };

    ModalDialogDriver &enqueue(Answer answer);
    void poll();
    void answer(QWidget *modal, const Answer &answer);

    std::deque<Answer> m_pending;
    QList<ShownDialog> m_shown;
    QStringList m_failures;
    std::function<void(QWidget *)> m_beforeAnswer;
    QTimer m_poll;
    QElapsedTimer m_waiting;
    QElapsedTimer m_visibleFor;
    QPointer<QWidget> m_seen;
    QList<QPointer<QWidget>> m_ignored;
    int m_timeoutMs;
    int m_answerDelayMs = 0;
};
