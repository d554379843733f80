#pragma once

#include "platform/app_error.h"
#include "stored_properties/abc_avi_source.h"
#include "util/notify_event.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <memory>

class QLibrary;

namespace movan {

// A clip that cannot be opened: missing, unreadable, or in a format the
// control does not play.
class EAviOpenError : public AppError {
public:
    EAviOpenError()
        : AppError(QStringLiteral("Cannot open AVI"))
    {}
};

class AnimationFrameSource;

// Plays an AVI clip (uncompressed or RLE8) or one of the standard animations
// in a loop. Playback is driven by a timer of the user-interface thread, so
// it keeps moving whenever the event loop runs, including the local loops in
// which the program waits for long calls. A clip is opened, checked and sized
// for the moment it is named; playback starts with setActive(true).
class AnimationControl : public QWidget {
    Q_OBJECT
public:
    explicit AnimationControl(QWidget *parent = nullptr);
    ~AnimationControl() override;

    // Each of these closes the current clip and opens the new one at once,
    // raising EAviOpenError when it cannot be played. An empty name, a zero
    // identifier or aviNone only closes.
    void setFileName(const QString &fileName);
    void setCommonAVI(TCommonAVI which);
    // Resources of type "AVI" of the program, or of a module loaded before.
    void setResourceName(QLibrary *module, const QString &name);
    void setResourceID(QLibrary *module, int id);

    const QString &fileName() const { return m_fileName; }
    TCommonAVI commonAVI() const { return m_commonAVI; }
    bool isOpen() const;
    // Has a source that can be started: an existing file, a standard
    // animation or a resource.
    bool hasPlayableSource() const;

    void setActive(bool active);
    bool isActive() const { return m_timer.isActive(); }
    void play() { setActive(true); }
    void stop() { setActive(false); }

    // Paint the window's background where the clip has the colour of its
    // first pixel.
    void setTransparent(bool transparent);
    bool transparent() const { return m_transparent; }

    QSize frameSize() const;
    int frameCount() const;
    int currentFrame() const { return m_frame; }
    int frameIntervalMs() const;
    // The picture as it is painted now (after transparency).
    QImage currentImage() const;

    NotifyEvent OnStart;
    NotifyEvent OnStop;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void close();
    void openSource(std::unique_ptr<AnimationFrameSource> source);
    void openBytes(const QByteArray &bytes);
    void advance();
    void showFrame(int index);

    QString m_fileName;
    QString m_resource;
    TCommonAVI m_commonAVI = aviNone;
    bool m_transparent = false;
    std::unique_ptr<AnimationFrameSource> m_source;
    QImage m_image;
    QRgb m_keyColour = 0;
    int m_frame = 0;
    QTimer m_timer;
};

} // namespace movan
