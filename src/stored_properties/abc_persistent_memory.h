#pragma once

#include "stored_properties/persistent.h"
#include "util/notify_event.h"

#include <QByteArray>

class QIODevice;

namespace movan {

// A block of bytes that stores itself with its owner as one raw-bytes
// property named "Data" (a 32-bit little-endian count, then the bytes).
class TabcPersistentMemory : public TPersistent {
    Q_OBJECT
public:
    explicit TabcPersistentMemory(QObject *parent = nullptr);

    const char *Memory() const { return m_contents.constData(); }
    qint64 Size() const { return m_contents.size(); }
    const QByteArray &bytes() const { return m_contents; }
    bool IsEmpty() const { return m_contents.isEmpty(); }

    void Clear();
    void SetBuffer(const void *buffer, qint64 count);
    // Reads exactly count bytes; a stream that ends sooner raises EReadError
    // and leaves the block as it was.
    void LoadFromStream(QIODevice &stream, qint64 count);
    void ReadData(QIODevice &stream);
    void WriteData(QIODevice &stream) const;
    void SaveToStream(QIODevice &stream) const;
    void SaveToFile(const QString &fileName) const;

    void Assign(TPersistent *source) override;
    void defineProperties(TFiler &filer) override;

    NotifyEvent OnChanging;
    NotifyEvent OnChange;

protected:
    // Sees the incoming bytes before they are stored and may rewrite them.
    virtual void ProcessData(QByteArray &incoming);

private:
    void store(QByteArray incoming);

    QByteArray m_contents;
};

} // namespace movan
