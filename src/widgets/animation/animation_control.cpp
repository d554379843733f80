#include "widgets/animation/animation_control.h"

#include "avi/avi_frame_decoder.h"
#include "avi/avi_reader.h"
#include "widgets/animation/common_avi_frames.h"

#include <QFile>
#include <QPainter>

#include <algorithm>

namespace movan {

namespace {

// Clips beyond this size are refused rather than read into memory whole.
constexpr qint64 kMaxClipBytes = qint64{256} * 1024 * 1024;
constexpr int kDefaultIntervalMs = 100;
constexpr int kMinIntervalMs = 10;
constexpr int kMaxIntervalMs = 5000;

} // namespace

// The frames of whatever the control plays, asked for in order and from 0
// again when the loop starts over.
class AnimationFrameSource {
public:
    virtual ~AnimationFrameSource() = default;
    virtual QSize size() const = 0;
    virtual int count() const = 0;
    virtual int intervalMs() const = 0;
    virtual bool frame(int index, QImage &out) = 0;
};

namespace {

class AviFrameSource : public AnimationFrameSource {
public:
    AviFrameSource(QByteArray bytes, avi::Clip clip)
        : m_bytes(std::move(bytes))
        , m_clip(std::move(clip))
        , m_decoder(m_clip)
    {}

    QSize size() const override { return QSize(int(m_clip.width), int(m_clip.height)); }
    int count() const override { return int(m_clip.frames.size()); }
    int intervalMs() const override
    {
        if (m_clip.microSecondsPerFrame == 0)
            return kDefaultIntervalMs;
        const auto ms = int(std::min<std::uint32_t>(m_clip.microSecondsPerFrame / 1000, kMaxIntervalMs));
        return std::clamp(ms, kMinIntervalMs, kMaxIntervalMs);
    }

    bool frame(int index, QImage &out) override
    {
        if (index < 0 || index >= count())
            return false;
        // RLE8 frames paint over their predecessors, so a jump back replays
        // from the start and a jump ahead decodes the frames in between.
        if (index <= m_decoded) {
            m_decoder.reset();
            m_decoded = -1;
        }
        const auto *data = reinterpret_cast<const std::uint8_t *>(m_bytes.constData());
        while (m_decoded < index) {
            const avi::FrameRef &ref = m_clip.frames[std::size_t(m_decoded) + 1];
            if (!m_decoder.decode(data + ref.offset, ref.size))
                return false;
            ++m_decoded;
        }
        const QImage view(reinterpret_cast<const uchar *>(m_decoder.pixels().data()), int(m_clip.width),
                          int(m_clip.height), int(m_clip.width * 4), QImage::Format_RGB32);
        out = view.copy();
        return true;
    }

private:
    QByteArray m_bytes;
    avi::Clip m_clip;
    avi::FrameDecoder m_decoder;
    int m_decoded = -1;
};

class DrawnFrameSource : public AnimationFrameSource {
public:
    explicit DrawnFrameSource(CommonAviClip clip)
        : m_clip(std::move(clip))
    {}

    QSize size() const override { return m_clip.frames.isEmpty() ? QSize() : m_clip.frames.first().size(); }
    int count() const override { return int(m_clip.frames.size()); }
    int intervalMs() const override { return m_clip.frameIntervalMs; }
    bool frame(int index, QImage &out) override
    {
        if (index < 0 || index >= count())
            return false;
        out = m_clip.frames.at(index);
        return true;
    }

private:
    CommonAviClip m_clip;
};

QByteArray readClipFile(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxClipBytes)
        throw EAviOpenError();
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EAviOpenError();
    return bytes;
}

} // namespace

AnimationControl::AnimationControl(QWidget *parent)
    : QWidget(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &AnimationControl::advance);
}

AnimationControl::~AnimationControl() = default;

void AnimationControl::close()
{
    setActive(false);
    m_source.reset();
    m_fileName.clear();
    m_resource.clear();
    m_commonAVI = aviNone;
    m_image = QImage();
    m_frame = 0;
    update();
}

void AnimationControl::openSource(std::unique_ptr<AnimationFrameSource> source)
{
    if (!source || source->count() == 0 || source->size().isEmpty())
        throw EAviOpenError();
    QImage first;
    if (!source->frame(0, first))
        throw EAviOpenError();
    m_keyColour = first.pixel(0, 0);
    m_source = std::move(source);
    m_timer.setInterval(m_source->intervalMs());
    resize(m_source->size());
    showFrame(0);
}

void AnimationControl::openBytes(const QByteArray &bytes)
{
    avi::ReadResult result
        = avi::readAvi(reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size()));
    if (result.status != avi::ReadStatus::Ok)
        throw EAviOpenError();
    openSource(std::make_unique<AviFrameSource>(bytes, std::move(result.clip)));
}

void AnimationControl::setFileName(const QString &fileName)
{
    close();
    if (fileName.isEmpty())
        return;
    openBytes(readClipFile(fileName));
    m_fileName = fileName;
}

void AnimationControl::setCommonAVI(TCommonAVI which)
{
    close();
    if (which == aviNone)
        return;
    openSource(std::make_unique<DrawnFrameSource>(commonAviClip(which)));
    m_commonAVI = which;
}

void AnimationControl::setResourceName(QLibrary *, const QString &name)
{
    // A module's Qt resources join the program's own when it is loaded, so
    // one lookup serves both.
    close();
    if (name.isEmpty())
        return;
    const QString path = QStringLiteral(":/AVI/") + name;
    if (!QFile::exists(path))
        throw EAviOpenError();
    openBytes(readClipFile(path));
    m_resource = path;
}

void AnimationControl::setResourceID(QLibrary *module, int id)
{
    if (id == 0) {
        close();
        return;
    }
    setResourceName(module, QString::number(id));
}

bool AnimationControl::isOpen() const
{
    return m_source != nullptr;
}

bool AnimationControl::hasPlayableSource() const
{
    if (!isOpen())
        return false;
    return m_fileName.isEmpty() || QFile::exists(m_fileName);
}

void AnimationControl::setActive(bool active)
{
    if (active == m_timer.isActive())
        return;
    if (active) {
        if (!isOpen())
            return;
        showFrame(0);
        m_timer.start();
        if (OnStart)
            OnStart(this);
    } else {
        m_timer.stop();
        if (OnStop)
            OnStop(this);
    }
}

void AnimationControl::setTransparent(bool transparent)
{
    if (transparent == m_transparent)
        return;
    m_transparent = transparent;
    if (isOpen())
        showFrame(m_frame);
}

QSize AnimationControl::frameSize() const
{
    return m_source ? m_source->size() : QSize();
}

int AnimationControl::frameCount() const
{
    return m_source ? m_source->count() : 0;
}

int AnimationControl::frameIntervalMs() const
{
    return m_source ? m_source->intervalMs() : 0;
}

QImage AnimationControl::currentImage() const
{
    return m_image;
}

void AnimationControl::advance()
{
    if (!m_source)
        return;
    showFrame((m_frame + 1) % m_source->count());
}

void AnimationControl::showFrame(int index)
{
    QImage picture;
    if (!m_source->frame(index, picture)) {
        // A damaged frame ends the loop; the last good picture stays.
        m_timer.stop();
        if (OnStop)
            OnStop(this);
        return;
    }
    if (m_transparent) {
        const QRgb background = palette().color(backgroundRole()).rgb();
        for (int y = 0; y < picture.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
            std::replace(line, line + picture.width(), m_keyColour, background);
        }
    }
    m_frame = index;
    m_image = picture;
    update();
}

void AnimationControl::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (m_image.isNull())
        return;
    painter.drawImage(QPoint(0, 0), m_image);
}

} // namespace movan
