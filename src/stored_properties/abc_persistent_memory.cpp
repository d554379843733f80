#include "stored_properties/abc_persistent_memory.h"

#include "stored_properties/persistent_errors.h"

#include <QFile>
#include <QIODevice>
#include <QtEndian>

namespace movan {

TabcPersistentMemory::TabcPersistentMemory(QObject *parent)
    : TPersistent(parent)
{}

void TabcPersistentMemory::Clear()
{
    if (OnChanging)
        OnChanging(this);
    m_contents.clear();
    if (OnChange)
        OnChange(this);
}

void TabcPersistentMemory::store(QByteArray incoming)
{
    ProcessData(incoming);
    if (OnChanging)
        OnChanging(this);
    m_contents = std::move(incoming);
    if (OnChange)
        OnChange(this);
}

void TabcPersistentMemory::SetBuffer(const void *buffer, qint64 count)
{
    if (count <= 0) {
        Clear();
        return;
    }
    store(QByteArray(static_cast<const char *>(buffer), count));
}

void TabcPersistentMemory::LoadFromStream(QIODevice &stream, qint64 count)
{
    if (count < 0)
        throw EReadError::streamRead();
    if (count == 0) {
        Clear();
        return;
    }
    if (!stream.isSequential() && count > stream.bytesAvailable())
        throw EReadError::streamRead();
    QByteArray incoming = stream.read(count);
    if (incoming.size() != count)
        throw EReadError::streamRead();
    store(std::move(incoming));
}

void TabcPersistentMemory::ReadData(QIODevice &stream)
{
    char count[4];
    if (stream.read(count, 4) != 4)
        throw EReadError::streamRead();
    LoadFromStream(stream, qFromLittleEndian<qint32>(count));
}

void TabcPersistentMemory::WriteData(QIODevice &stream) const
{
    char count[4];
    qToLittleEndian<qint32>(static_cast<qint32>(m_contents.size()), count);
    if (stream.write(count, 4) != 4)
        throw AppError(QStringLiteral("stream write error"));
    SaveToStream(stream);
}

void TabcPersistentMemory::SaveToStream(QIODevice &stream) const
{
    if (!m_contents.isEmpty() && stream.write(m_contents) != m_contents.size())
        throw AppError(QStringLiteral("stream write error"));
}

void TabcPersistentMemory::SaveToFile(const QString &fileName) const
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw EFCreateError::cannotCreate(fileName, file.errorString());
    SaveToStream(file);
    if (!file.flush())
        throw EFCreateError::cannotCreate(fileName, file.errorString());
}

void TabcPersistentMemory::Assign(TPersistent *source)
{
    if (!source) {
        Clear();
        return;
    }
    if (auto *memory = qobject_cast<TabcPersistentMemory *>(source)) {
        // Copy first: the source may be this block itself.
        const QByteArray bytes = memory->m_contents;
        SetBuffer(bytes.constData(), bytes.size());
        return;
    }
    TPersistent::Assign(source);
}

void TabcPersistentMemory::defineProperties(TFiler &filer)
{
    filer.defineBinaryProperty(
        QStringLiteral("Data"), [this](QIODevice &payload) { ReadData(payload); },
        [this](QIODevice &payload) { WriteData(payload); }, !IsEmpty());
}

void TabcPersistentMemory::ProcessData(QByteArray &) {}

} // namespace movan
