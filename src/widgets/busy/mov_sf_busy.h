#pragma once

#include "stored_properties/persistent.h"
#include "widgets/busy/busy_layout.h"

#include <QDialog>
#include <QTimer>

#include <functional>

class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;

namespace movan {

class AnimationControl;

// What a window does once it has agreed to close.
enum CloseAction { caNone, caHide, caFree, caMinimize };
using CloseEvent = std::function<void(QObject *sender, CloseAction &action)>;

// The small always-on-top busy window. TMovBusy builds one for every Show,
// arranges it and lets it go on Hide; the window then waits out its minimum
// display time on its own and frees itself.
class TMovsfBusy : public QDialog {
    Q_OBJECT
public:
    static constexpr int kModalResultCancel = 2;
    // "Cancel", the caption of btnCancel.
    static QString cancelCaption();

    explicit TMovsfBusy(QWidget *parent = nullptr);
    ~TMovsfBusy() override;

    QFrame *bvlBorder;
    QLabel *lblMessage1;
    QLabel *lblMessage2;
    QLabel *lblCheckCaptionSize;
    AnimationControl *Animate;
    QProgressBar *ProgressBar;
    QPushButton *btnCancel;

    // Monotonic milliseconds (32-bit, wrapping) before which the window does
    // not close; 0 until it is shown.
    quint32 EarliestCloseTick = 0;
    CloseEvent closeHook;
    NotifyEvent activateHook;
    NotifyEvent showHook;
    NotifyEvent cancelClickHandler;

    // A tool-window caption bar, or no border and the raised frame instead.
    void setCaptionBar(bool captionBar);
    bool hasCaptionBar() const { return m_captionBar; }
    // Width of the caption text in the caption bar's font.
    int CaptionWidth();
    BusyLayout::FrameMetrics frameMetrics() const;
    // True while a close request waits for the minimum display time.
    bool isWaitingToClose() const { return m_closeTimer.isActive(); }
    int ProgressStep() const { return m_progressStep; }
    void setProgressStep(int step) { m_progressStep = step; }

    // The window's close handler: holds the window until EarliestCloseTick,
    // then frees it unless the close hook decides otherwise.
    void FormClose(QObject *sender, QCloseEvent *event);

    // The milliseconds counter EarliestCloseTick is measured in.
    static quint32 tickCount();

public slots:
    // Escape presses Cancel, as for any cancel button; without it, nothing.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void startAnimation();
    void offerNoTitleBarButtons();

    bool m_captionBar = true;
    bool m_shown = false;
    int m_progressStep = 10;
    QTimer m_closeTimer;
};

} // namespace movan
