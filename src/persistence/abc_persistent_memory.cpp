#include "persistence/abc_persistent_memory.h"

#include "persistence/persistent_errors.h"

#include <QFile>
#include <QIODevice>
#include <QtEndian>

TabcPersistentMemory::TabcPersistentMemory(QObject *parent) : TPersistent(parent)
{
}

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

void TabcPersistentMemory::SetBuffer(const void *Buffer, qint64 Count)
{
    if (Count <= 0) {
        Clear();
        return;
    }
    store(QByteArray(static_cast<const char *>(Buffer), Count));
}

void TabcPersistentMemory::LoadFromStream(QIODevice &Stream, qint64 Count)
{
    if (Count < 0)
        throw EReadError::streamRead();
    if (Count == 0) {
        Clear();
        return;
    }
    if (!Stream.isSequential() && Count > Stream.bytesAvailable())
        throw EReadError::streamRead();
    QByteArray incoming = Stream.read(Count);
    if (incoming.size() != Count)
        throw EReadError::streamRead();
    store(std::move(incoming));
}

void TabcPersistentMemory::ReadData(QIODevice &Stream)
{
    char count[4];
    if (Stream.read(count, 4) != 4)
        throw EReadError::streamRead();
    LoadFromStream(Stream, qFromLittleEndian<qint32>(count));
}

void TabcPersistentMemory::WriteData(QIODevice &Stream) const
{
    char count[4];
    qToLittleEndian<qint32>(static_cast<qint32>(m_contents.size()), count);
    if (Stream.write(count, 4) != 4)
        throw AppError(QStringLiteral("Stream write error"));
    SaveToStream(Stream);
}

void TabcPersistentMemory::SaveToStream(QIODevice &Stream) const
{
    if (!m_contents.isEmpty() && Stream.write(m_contents) != m_contents.size())
        throw AppError(QStringLiteral("Stream write error"));
}

void TabcPersistentMemory::SaveToFile(const QString &FileName) const
{
    QFile file(FileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw EFCreateError::cannotCreate(FileName, file.errorString());
    SaveToStream(file);
    if (!file.flush())
        throw EFCreateError::cannotCreate(FileName, file.errorString());
}

void TabcPersistentMemory::Assign(TPersistent *Source)
{
    if (!Source) {
        Clear();
        return;
    }
    if (auto *memory = qobject_cast<TabcPersistentMemory *>(Source)) {
        // Copy first: the source may be this block itself.
        const QByteArray bytes = memory->m_contents;
        SetBuffer(bytes.constData(), bytes.size());
        return;
    }
    TPersistent::Assign(Source);
}

void TabcPersistentMemory::DefineProperties(TFiler &filer)
{
    filer.DefineBinaryProperty(
        QStringLiteral("Data"), [this](QIODevice &payload) { ReadData(payload); },
        [this](QIODevice &payload) { WriteData(payload); }, !IsEmpty());
}

void TabcPersistentMemory::ProcessData(QByteArray &)
{
}
