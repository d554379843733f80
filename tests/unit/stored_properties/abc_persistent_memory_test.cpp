#include "stored_properties/abc_avi_source.h"
#include "stored_properties/abc_persistent_memory.h"
#include "stored_properties/persistent_errors.h"
#include "stored_properties/property_stream.h"

#include <QBuffer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace movan;

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

QByteArray payloadOf(const TabcPersistentMemory &block)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    block.WriteData(buffer);
    return buffer.data();
}

// Counts the events of a block in the order they come.
struct EventLog {
    QStringList events;
    void attach(TabcPersistentMemory &block)
    {
        block.OnChanging = [this](QObject *) { events << QStringLiteral("changing"); };
        block.OnChange = [this](QObject *) { events << QStringLiteral("change"); };
    }
};

} // namespace

TEST(PersistentMemoryStoredForm, AbcIsStoredAsTaggedCountAndBytes)
{
    TabcPersistentMemory block;
    block.SetBuffer("abc", 3);
    EXPECT_EQ(PropertyStream::encodeBinaryValue(payloadOf(block)),
              bytes({0x0A, 0x07, 0, 0, 0, 0x03, 0, 0, 0, 'a', 'b', 'c'}));
}

TEST(PersistentMemoryStoredForm, WrittenUnderThePathBelowTheOwnerAndReadBack)
{
    TabcAVISource source;
    source.Data()->SetBuffer("abc", 3);
    const QByteArray stored = PropertyStream::writeProperties(source);
    QByteArray expected;
    expected.append(char(9)).append("Data.Data");
    expected.append(bytes({0x0A, 0x07, 0, 0, 0, 0x03, 0, 0, 0, 'a', 'b', 'c', 0x00}));
    EXPECT_EQ(stored, expected);

    TabcAVISource loaded;
    PropertyStream::readProperties(stored, loaded);
    EXPECT_EQ(loaded.Data()->bytes(), QByteArray("abc"));
}

TEST(PersistentMemoryStoredForm, EmptyBlockWritesNoProperty)
{
    TabcAVISource source;
    EXPECT_EQ(PropertyStream::writeProperties(source), QByteArray(1, '\0'));
}

TEST(PersistentMemoryStoredForm, StoredCountOfZeroClearsTheBlock)
{
    TabcPersistentMemory block;
    block.SetBuffer("xyz", 3);
    QBuffer payload;
    payload.setData(bytes({0, 0, 0, 0}));
    payload.open(QIODevice::ReadOnly);
    block.ReadData(payload);
    EXPECT_TRUE(block.IsEmpty());
}

TEST(PersistentMemoryStoredForm, ShortStreamRaisesReadErrorAndKeepsTheBlock)
{
    TabcPersistentMemory block;
    block.SetBuffer("old", 3);
    EventLog log;
    log.attach(block);
    for (const QByteArray &payload : {bytes({5, 0, 0, 0, 'a', 'b'}), bytes({5, 0}), bytes({-1, -1, -1, -1}),
                                      bytes({0x7F, 0x7F, 0x7F, 0x7F, 'a'})}) {
        QBuffer stream;
        stream.setData(payload);
        stream.open(QIODevice::ReadOnly);
        EXPECT_THROW(block.ReadData(stream), EReadError) << payload.toHex().constData();
    }
    EXPECT_EQ(block.bytes(), QByteArray("old"));
    EXPECT_TRUE(log.events.isEmpty());
}

TEST(PersistentMemoryStoredForm, ReaderRefusesDamagedOrUnknownProperties)
{
    TabcAVISource target;
    target.Data()->SetBuffer("keep", 4);
    QByteArray unknown;
    unknown.append(char(5)).append("Other").append(PropertyStream::encodeBinaryValue("x")).append('\0');
    QByteArray wrongTag;
    wrongTag.append(char(9)).append("Data.Data").append(char(0x06)).append('\0');
    QByteArray cutValue;
    cutValue.append(char(9)).append("Data.Data").append(bytes({0x0A, 0x40, 0, 0, 0, 1, 2}));
    QByteArray cutPayload;
    cutPayload.append(char(9)).append("Data.Data").append(PropertyStream::encodeBinaryValue(bytes({9, 0, 0, 0, 'a'})));
    for (const QByteArray &stored : {unknown, wrongTag, cutValue, cutPayload, QByteArray()})
        EXPECT_THROW(PropertyStream::readProperties(stored, target), EReadError) << stored.toHex().constData();
    EXPECT_EQ(target.Data()->bytes(), QByteArray("keep"));
}

TEST(PersistentMemory, ChangesAreBracketedByEvents)
{
    TabcPersistentMemory block;
    EventLog log;
    log.attach(block);
    block.SetBuffer("ab", 2);
    block.SetBuffer(nullptr, 0);
    block.Clear();
    EXPECT_EQ(log.events, QStringList({"changing", "change", "changing", "change", "changing", "change"}));
}

TEST(PersistentMemory, ProcessDataSeesIncomingBytesBeforeTheyAreStored)
{
    class Upper : public TabcPersistentMemory {
    protected:
        void ProcessData(QByteArray &incoming) override { incoming = incoming.toUpper(); }
    } block;
    block.SetBuffer("abc", 3);
    EXPECT_EQ(block.bytes(), QByteArray("ABC"));
}

TEST(PersistentMemory, AssignCopiesBlocksAndRefusesOtherClasses)
{
    TabcPersistentMemory source, target;
    source.SetBuffer("data", 4);
    target.Assign(&source);
    EXPECT_EQ(target.bytes(), QByteArray("data"));
    target.Assign(&target);
    EXPECT_EQ(target.bytes(), QByteArray("data"));
    target.Assign(nullptr);
    EXPECT_TRUE(target.IsEmpty());

    TabcAVISource unrelated;
    try {
        target.Assign(&unrelated);
        FAIL() << "assigned an unrelated class";
    } catch (const EConvertError &error) {
        EXPECT_EQ(error.message(), QStringLiteral("Cannot assign a TabcAVISource to a TabcPersistentMemory"));
    }
}

TEST(PersistentMemory, SaveToFileWritesTheBytesOnlyAndReportsCreationFailures)
{
    QTemporaryDir dir;
    TabcPersistentMemory block;
    block.SetBuffer("bytes", 5);
    const QString name = dir.filePath(QStringLiteral("out.bin"));
    {
        QFile existing(name);
        ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
        existing.write("a much longer old content");
    }
    block.SaveToFile(name);
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("bytes"));

    EXPECT_THROW(block.SaveToFile(dir.filePath(QStringLiteral("missing/out.bin"))), EFCreateError);
}
