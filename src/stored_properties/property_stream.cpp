#include "stored_properties/property_stream.h"

#include "stored_properties/persistent.h"
#include "stored_properties/persistent_errors.h"

#include <QBuffer>
#include <QIODevice>
#include <QtEndian>

#include <map>

namespace movan {

namespace {

struct BinaryProperty {
    TFiler::ReadFn read;
    TFiler::WriteFn write;
    bool hasData = false;
};

// Collects the extra properties of an object tree under their dotted paths,
// in the order the objects define them.
class PropertyCollector : public TFiler {
public:
    std::vector<std::pair<QString, BinaryProperty>> properties;

    void collect(TPersistent &object, const QString &prefix)
    {
        m_prefix = prefix;
        object.defineProperties(*this);
        for (const TPersistentChild &child : object.persistentChildren()) {
            if (child.object)
                collect(*child.object, prefix + child.name + QLatin1Char('.'));
        }
    }

    void defineBinaryProperty(const QString &name, ReadFn read, WriteFn write, bool hasData) override
    {
        properties.emplace_back(m_prefix + name, BinaryProperty{std::move(read), std::move(write), hasData});
    }

private:
    QString m_prefix;
};

void writeAll(QIODevice &out, const QByteArray &bytes)
{
    if (out.write(bytes) != bytes.size())
        throw AppError(QStringLiteral("Stream write error"));
}

QByteArray readExactly(QIODevice &in, qint64 count)
{
    if (count < 0)
        throw EReadError::streamRead();
    // A stated length beyond the end of the data must not turn into a huge
    // allocation before the short read is noticed.
    if (!in.isSequential() && count > in.bytesAvailable())
        throw EReadError::streamRead();
    QByteArray bytes = in.read(count);
    if (bytes.size() != count)
        throw EReadError::streamRead();
    return bytes;
}

} // namespace

namespace PropertyStream {

QByteArray encodeBinaryValue(const QByteArray &payload)
{
    QByteArray value;
    value.reserve(payload.size() + 5);
    value.append(kBinaryValueTag);
    char length[4];
    qToLittleEndian<qint32>(static_cast<qint32>(payload.size()), length);
    value.append(length, 4);
    value.append(payload);
    return value;
}

void writeProperties(QIODevice &out, TPersistent &root)
{
    PropertyCollector collector;
    collector.collect(root, QString());
    for (const auto &[name, property] : collector.properties) {
        if (!property.hasData || !property.write)
            continue;
        const QByteArray latinName = name.toLatin1();
        if (latinName.isEmpty() || latinName.size() > 255)
            throw AppError(QStringLiteral("Invalid property name %1").arg(name));
        QBuffer payload;
        payload.open(QIODevice::WriteOnly);
        property.write(payload);
        QByteArray record;
        record.append(static_cast<char>(latinName.size()));
        record.append(latinName);
        record.append(encodeBinaryValue(payload.data()));
        writeAll(out, record);
    }
    writeAll(out, QByteArray(1, kEndOfList));
}

QByteArray writeProperties(TPersistent &root)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writeProperties(buffer, root);
    return buffer.data();
}

void readProperties(QIODevice &in, TPersistent &root)
{
    PropertyCollector collector;
    collector.collect(root, QString());
    std::map<QString, TFiler::ReadFn> readers;
    for (auto &[name, property] : collector.properties)
        readers.emplace(name, property.read);

    for (;;) {
        const auto nameLength = static_cast<unsigned char>(readExactly(in, 1).at(0));
        if (nameLength == 0)
            return;
        const QString name = QString::fromLatin1(readExactly(in, nameLength));
        if (readExactly(in, 1).at(0) != kBinaryValueTag)
            throw EReadError(QStringLiteral("Error reading %1: Invalid property value").arg(name));
        const qint32 length = qFromLittleEndian<qint32>(readExactly(in, 4).constData());
        const QByteArray payload = readExactly(in, length);
        const auto reader = readers.find(name);
        if (reader == readers.end() || !reader->second)
            throw EReadError(QStringLiteral("Error reading %1: Property does not exist").arg(name));
        QBuffer payloadStream;
        payloadStream.setData(payload);
        payloadStream.open(QIODevice::ReadOnly);
        reader->second(payloadStream);
    }
}

void readProperties(const QByteArray &bytes, TPersistent &root)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    readProperties(buffer, root);
}

} // namespace PropertyStream

} // namespace movan
