#pragma once

#include "stored_properties/abc_avi_source.h"
#include "stored_properties/persistent.h"
#include "widgets/busy/mov_sf_busy.h"

#include <QColor>
#include <QFont>
#include <QPointer>

#include <cstdint>
#include <initializer_list>

namespace movan {

enum TabcPopupPosition { appScreenCenter, appMainFormCenter, appActiveFormCenter, appCustom };
enum TabcAVIPosition { avpTop, avpLeft };
enum TabcBusyOption { abdShowAVI, abdShowCaption, abdShowMessage1, abdShowMessage2, abdShowProgress, abdShowCancel };

// A set of TabcBusyOption, one bit each, the first value in bit 0.
class TabcBusyOptions {
public:
    constexpr TabcBusyOptions() = default;
    constexpr TabcBusyOptions(std::initializer_list<TabcBusyOption> options)
    {
        for (TabcBusyOption option : options)
            m_bits |= bit(option);
    }
    static constexpr TabcBusyOptions fromBits(std::uint8_t bits)
    {
        TabcBusyOptions options;
        options.m_bits = bits & 0x3F;
        return options;
    }

    constexpr bool contains(TabcBusyOption option) const { return m_bits & bit(option); }
    constexpr TabcBusyOptions &operator+=(TabcBusyOption option)
    {
        m_bits |= bit(option);
        return *this;
    }
    constexpr TabcBusyOptions &operator-=(TabcBusyOption option)
    {
        m_bits &= std::uint8_t(~bit(option));
        return *this;
    }
    constexpr std::uint8_t bits() const { return m_bits; }
    constexpr bool operator==(const TabcBusyOptions &) const = default;

private:
    static constexpr std::uint8_t bit(TabcBusyOption option) { return std::uint8_t(1u << option); }
    std::uint8_t m_bits = 0;
};

// The busy indicator: a component that, on Show, builds a small always-on-top
// window with whichever of caption, animation, two message lines, progress bar
// and Cancel button are switched on, and lets it go on Hide.
//
// Hide returns at once; the window itself stays until MinDuration has passed
// since it was shown, without blocking anything. The animation is driven by
// the event loop, so it keeps moving while the program waits for a long call
// in a local event loop.
class TMovBusy : public TPersistent {
    Q_OBJECT
public:
    explicit TMovBusy(QObject *owner = nullptr);
    ~TMovBusy() override;

    // Stored properties are set between these while the owner loads them;
    // the option side effects of the message and progress setters are off.
    void beginLoading() { m_loading = true; }
    void endLoading() { m_loading = false; }
    bool isLoading() const { return m_loading; }

    bool AutoSize() const { return m_autoSize; }
    void setAutoSize(bool value) { m_autoSize = value; }
    TabcAVIPosition AVIPosition() const { return m_aviPosition; }
    void setAVIPosition(TabcAVIPosition value) { m_aviPosition = value; }
    TabcAVISource *AVISource() const { return m_aviSource; }
    void setAVISource(TabcAVISource *value);
    bool AVITransparent() const { return m_aviTransparent; }
    void setAVITransparent(bool value) { m_aviTransparent = value; }
    const QString &Caption() const { return m_caption; }
    void setCaption(const QString &value);
    // An invalid colour stands for the system's button face colour.
    QColor DlgColor() const { return m_dlgColor; }
    void setDlgColor(const QColor &value);
    int DlgLeft() const { return m_dlgLeft; }
    void setDlgLeft(int value);
    int DlgTop() const { return m_dlgTop; }
    void setDlgTop(int value);
    int DlgWidth() const { return m_dlgWidth; }
    void setDlgWidth(int value) { m_dlgWidth = value; }
    int DlgHeight() const { return m_dlgHeight; }
    void setDlgHeight(int value);
    TabcPopupPosition DlgPosition() const { return m_dlgPosition; }
    void setDlgPosition(TabcPopupPosition value);
    const QString &Message1() const { return m_message1; }
    void setMessage1(const QString &value);
    const QFont &Message1Font() const { return m_message1Font; }
    void setMessage1Font(const QFont &value);
    const QString &Message2() const { return m_message2; }
    void setMessage2(const QString &value);
    const QFont &Message2Font() const { return m_message2Font; }
    void setMessage2Font(const QFont &value);
    quint16 MinDuration() const { return m_minDuration; }
    void setMinDuration(quint16 value) { m_minDuration = value; }
    TabcBusyOptions Options() const { return m_options; }
    void setOptions(TabcBusyOptions value) { m_options = value; }
    int ProgressMin() const { return m_progressMin; }
    void setProgressMin(int value);
    int ProgressMax() const { return m_progressMax; }
    void setProgressMax(int value);
    int ProgressPos() const { return m_progressPos; }
    void setProgressPos(int value);
    int ProgressStep() const { return m_progressStep; }
    void setProgressStep(int value);
    bool WordWrap() const { return m_wordWrap; }
    void setWordWrap(bool value) { m_wordWrap = value; }
    const CloseEvent &OnFormClose() const { return m_onFormClose; }
    void setOnFormClose(CloseEvent value);

    NotifyEvent OnCancel;
    NotifyEvent OnFormActivate;
    NotifyEvent OnFormCreate;
    NotifyEvent OnFormShow;
    NotifyEvent OnStartAVI;

    // Whether the user pressed Cancel since the last Show or ShowModal.
    bool Cancelled() const { return m_cancelled; }
    // The current window; none while hidden.
    TMovsfBusy *form() const { return m_form; }

    virtual void CancelClick(QObject *sender);
    virtual void CreateBusyForm();
    virtual void BusyFormActivate(QObject *sender);
    virtual void BusyFormShow(QObject *sender);
    // Shows the window and lets it paint, then returns. Raises when the clip
    // cannot be opened; the unshown window then waits for Hide.
    virtual void Show();
    // Shows the window modally; 2 (cancel) once Hide or Cancel closed it.
    virtual int ShowModal();
    void Hide();

    QList<TPersistentChild> persistentChildren() const override;

private:
    void handClipToAnimation(TMovsfBusy &form);
    // Returns the window's outer size.
    QSize arrange(TMovsfBusy &form);
    void position(TMovsfBusy &form, QSize outerSize);
    void applyProgress(TMovsfBusy &form) const;
    void includeOption(TabcBusyOption option);
    // Stores a message or progress value; a new one that is not empty or 0
    // switches its part of the window on. False when the value is the
    // stored one.
    template <typename T> bool storeShownValue(T &field, const T &value, TabcBusyOption option);

    bool m_loading = false;
    bool m_autoSize = true;
    TabcAVIPosition m_aviPosition = avpTop;
    TabcAVISource *m_aviSource;
    bool m_aviTransparent = true;
    QString m_caption;
    QColor m_dlgColor;
    int m_dlgLeft = 0;
    int m_dlgTop = 0;
    int m_dlgWidth = 0;
    int m_dlgHeight = 0;
    TabcPopupPosition m_dlgPosition = appScreenCenter;
    QString m_message1;
    QFont m_message1Font;
    QString m_message2;
    QFont m_message2Font;
    quint16 m_minDuration = 2000;
    TabcBusyOptions m_options{abdShowAVI, abdShowCaption};
    int m_progressMin = 0;
    int m_progressMax = 100;
    int m_progressPos = 0;
    int m_progressStep = 10;
    bool m_wordWrap = true;
    CloseEvent m_onFormClose;

    bool m_cancelled = false;
    QPointer<TMovsfBusy> m_form;
};

} // namespace movan
