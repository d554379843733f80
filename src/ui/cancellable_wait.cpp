#include "ui/cancellable_wait.h"

#include "ui/form_font.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <exception>
#include <thread>

namespace movan {

namespace {

const QString kGiveUp = QStringLiteral("انصراف");
constexpr int kPollMs = 20;
constexpr int kTextWidth = 360;

// Runs the event loop, without user input, until done or the time is up.
void waitWithoutInput(const std::atomic<bool> &done, int ms)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done.load() && (ms < 0 || elapsed.elapsed() < ms))
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents, kPollMs);
}

// True when the user gave up before the work ended.
bool offerToGiveUp(const QString &waitingText, const std::atomic<bool> &done)
{
    // On top, as every notice of the program, and with nothing to resize.
    QDialog dialog(QApplication::activeWindow(),
                   Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint
                       | Qt::MSWindowsFixedSizeDialogHint);
    dialog.setObjectName(QStringLiteral("CancellableWait"));
    dialog.setLayoutDirection(Qt::RightToLeft);
    dialog.setFont(formFont());
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setWindowTitle(QApplication::applicationName());
    auto *layout = new QVBoxLayout(&dialog);
    auto *text = new QLabel(waitingText, &dialog);
    text->setObjectName(QStringLiteral("Message"));
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    text->setMinimumWidth(kTextWidth);
    layout->addWidget(text);
    auto *buttons = new QDialogButtonBox(&dialog);
    QPushButton *giveUp = buttons->addButton(kGiveUp, QDialogButtonBox::RejectRole);
    giveUp->setObjectName(QStringLiteral("GiveUp"));
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    QTimer finished;
    QObject::connect(&finished, &QTimer::timeout, &dialog, [&] {
        if (done.load())
            dialog.accept();
    });
    finished.start(kPollMs);
    return dialog.exec() != QDialog::Accepted && !done.load();
}

} // namespace

void runCancellableWait(const QString &waitingText, const std::function<void(const std::atomic<bool> &giveUp)> &work)
{
    std::atomic<bool> giveUp{false};
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        work(giveUp);
        return;
    }
    std::atomic<bool> done{false};
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work(giveUp);
        } catch (...) {
            failure = std::current_exception();
        }
        done.store(true);
    });
    QApplication::setOverrideCursor(Qt::WaitCursor);
    waitWithoutInput(done, kCancellableWaitNoticeDelayMs);
    if (!done.load()) {
        // Over the dialog the pointer must show that its button can be pressed.
        QApplication::changeOverrideCursor(Qt::BusyCursor);
        if (offerToGiveUp(waitingText, done))
            giveUp.store(true);
        QApplication::changeOverrideCursor(Qt::WaitCursor);
        waitWithoutInput(done, -1);
    }
    QApplication::restoreOverrideCursor();
    worker.join();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace movan
