#pragma once

#include "persistence/persistent.h"

#include <QByteArray>

class QIODevice;

// A block of bytes that stores itself with its owner as one raw-bytes
// property named "Data" (a 32-bit little-endian count, then the bytes).
class TabcPersistentMemory : public TPersistent {
    Q_OBJECT
public:
    explicit TabcPersistentMemory(QObject *parent = nullptr);

    const char *Memory() const { return m_contents.constData(); }
    qint64 Size() const { return m_contents.size(); }
    const QByteArray &Bytes() const { return m_contents; }
    bool IsEmpty() const { return m_contents.isEmpty(); }

    void Clear();
    void SetBuffer(const void *Buffer, qint64 Count);
    // Reads exactly Count bytes; a stream that ends sooner raises EReadError
    // and leaves the block as it was.
    void LoadFromStream(QIODevice &Stream, qint64 Count);
    void ReadData(QIODevice &Stream);
    void WriteData(QIODevice &Stream) const;
    void SaveToStream(QIODevice &Stream) const;
    void SaveToFile(const QString &FileName) const;

    void Assign(TPersistent *Source) override;
    void DefineProperties(TFiler &filer) override;

    TNotifyEvent OnChanging;
    TNotifyEvent OnChange;

protected:
    // Sees the incoming bytes before they are stored and may rewrite them.
    virtual void ProcessData(QByteArray &Incoming);

private:
    void store(QByteArray incoming);

    QByteArray m_contents;
};
