#include "tds/token_result_sink.h"
#include "tds/tokens.h"
#include "tds/type_codec.h"

#include "support/tds_wire_client.h"

#include <gtest/gtest.h>

using namespace sqlemu;
using namespace sqlemu::tds;

namespace {

class TdsTokenSink : public ::testing::Test {
protected:
    TokenResultSink makeSink(TokenResultSink::Mode mode)
    {
        return TokenResultSink(stream, WireFormat{0x74000004}, "VM\\INST", mode, [this] { return cancel; });
    }
    sqlemu::test::Response finish(TokenResultSink &sink)
    {
        sink.finish();
        stream.finish();
        return sqlemu::test::readResponse(wire);
    }

    Bytes wire;
    ResponseStream stream{[this](std::span<const std::uint8_t> b) { wire.insert(wire.end(), b.begin(), b.end()); },
                          4096, 52};
    bool cancel = false;
};

TEST_F(TdsTokenSink, BatchDonesCarryMoreOnAllButTheLast)
{
    auto sink = makeSink(TokenResultSink::Mode::Batch);
    sink.columns({ColumnInfo{"name", SqlType::NVarChar, 128, false}});
    sink.row({std::string("master")});
    sink.statementDone({0xC1, 1, false});
    sink.message({911, 1, 16, "Database 'x' does not exist. Make sure that the name is entered correctly.", "", 3});
    sink.statementDone({0xC1, std::nullopt, true});
    auto r = finish(sink);
    ASSERT_EQ(r.ids(), (std::vector<std::uint8_t>{0x81, 0xD1, 0xFD, 0xAA, 0xFD}));
    EXPECT_EQ(r.tokens[1].values, (std::vector<std::string>{"master"}));
    EXPECT_EQ(r.tokens[2].status, DoneStatus::More | DoneStatus::Count);
    EXPECT_EQ(r.tokens[2].rowCount, 1u);
    EXPECT_EQ(r.tokens[3].server, "VM\\INST");
    EXPECT_EQ(r.tokens[3].line, 3);
    EXPECT_EQ(r.tokens[4].status, DoneStatus::Error);
    EXPECT_EQ(r.packetStatuses, (std::vector<std::uint8_t>{0x01}));
}

TEST_F(TdsTokenSink, AnEmptyBatchStillEndsWithADone)
{
    auto sink = makeSink(TokenResultSink::Mode::Batch);
    auto r = finish(sink);
    ASSERT_EQ(r.ids(), (std::vector<std::uint8_t>{0xFD}));
    EXPECT_EQ(r.tokens[0].status, 0);
}

TEST_F(TdsTokenSink, AnRpcEndsWithReturnStatusAndDoneProc)
{
    auto sink = makeSink(TokenResultSink::Mode::Rpc);
    sink.columns({ColumnInfo{"n", SqlType::Int, 0, true}});
    sink.row({std::int64_t{42}});
    sink.statementDone({0xC1, 1, false});
    sink.returnStatus(0);
    auto r = finish(sink);
    ASSERT_EQ(r.ids(), (std::vector<std::uint8_t>{0x81, 0xD1, 0xFF, 0x79, 0xFE}));
    EXPECT_EQ(r.tokens[1].values, (std::vector<std::string>{"42"}));
    EXPECT_EQ(r.tokens[2].status, DoneStatus::More | DoneStatus::Count);
    EXPECT_EQ(r.tokens[3].number, 0);
    EXPECT_EQ(r.tokens[4].status, DoneStatus::Final);
}

TEST_F(TdsTokenSink, AProcedureExecutedByABatchEndsWithDoneProc)
{
    auto sink = makeSink(TokenResultSink::Mode::Batch);
    sink.statementDone({0xC1, 1, false, DoneKind::InProcedure});
    sink.returnStatus(0);
    sink.statementDone({0, std::nullopt, false, DoneKind::ProcedureEnd});
    auto r = finish(sink);
    ASSERT_EQ(r.ids(), (std::vector<std::uint8_t>{0xFF, 0x79, 0xFE}));
    EXPECT_EQ(r.tokens[0].status, DoneStatus::More | DoneStatus::Count);
    EXPECT_EQ(r.tokens[2].status, DoneStatus::Final);
}

TEST_F(TdsTokenSink, FlushSendsMessagesInPacketsOfTheirOwn)
{
    auto sink = makeSink(TokenResultSink::Mode::Batch);
    sink.message({3211, 1, 0, "10 percent processed.", "", 1});
    sink.flush();
    ASSERT_FALSE(wire.empty());
    EXPECT_EQ(wire[1], 0x00); // not the end of the message
    sink.message({3211, 1, 0, "20 percent processed.", "", 1});
    sink.flush();
    sink.flush(); // nothing new: no empty packet
    sink.statementDone({0, std::nullopt, false});
    auto r = finish(sink);
    EXPECT_EQ(r.packetStatuses, (std::vector<std::uint8_t>{0x00, 0x00, 0x01}));
    EXPECT_EQ(r.ids(), (std::vector<std::uint8_t>{0xAB, 0xAB, 0xFD}));
}

TEST_F(TdsTokenSink, ACancelEndsTheResponseWithTheAttentionBit)
{
    auto sink = makeSink(TokenResultSink::Mode::Batch);
    sink.statementDone({0, std::nullopt, false});
    cancel = true;
    EXPECT_TRUE(sink.cancelled());
    sink.message({3211, 1, 0, "dropped", "", 1});
    auto r = finish(sink);
    ASSERT_EQ(r.ids(), (std::vector<std::uint8_t>{0xFD, 0xFD}));
    EXPECT_EQ(r.tokens[0].status, DoneStatus::More);
    EXPECT_EQ(r.tokens[1].status, DoneStatus::Attention);
}

TEST_F(TdsTokenSink, LargeResultsGoOutInFullPacketsAsTheyFill)
{
    auto sink = makeSink(TokenResultSink::Mode::Batch);
    sink.columns({ColumnInfo{"text", SqlType::NVarChar, 4000, true}});
    for (int i = 0; i < 50; ++i)
        sink.row({std::string(1000, 'x')});
    EXPECT_GT(wire.size(), 90'000u); // sent before the statement ended
    sink.statementDone({0xC1, 50, false});
    auto r = finish(sink);
    EXPECT_EQ(r.tokens.size(), 52u);
    EXPECT_EQ(r.packetStatuses.back(), 0x01);
    EXPECT_EQ(std::count(r.packetStatuses.begin(), r.packetStatuses.end(), 0x01), 1);
}

TEST(TdsTypes, WritesAndReadsValuesOfEveryColumnType)
{
    struct Case {
        ColumnInfo column;
        Value value;
    };
    const std::vector<Case> cases = {
        {{"i", SqlType::Int, 0, true}, std::int64_t{-7}},
        {{"s", SqlType::SmallInt, 0, false}, std::int64_t{300}},
        {{"t", SqlType::TinyInt, 0, true}, std::int64_t{200}},
        {{"b", SqlType::BigInt, 0, true}, std::int64_t{1} << 40},
        {{"bit", SqlType::Bit, 0, true}, std::int64_t{1}},
        {{"n", SqlType::NVarChar, 128, true}, std::string("ميزان")},
        {{"v", SqlType::VarChar, 50, true}, std::string("کيان")}, // Arabic yeh: Windows-1256 has no Persian one
        {{"d", SqlType::DateTime, 0, true}, DateTimeValue{40'000LL * 86'400'000 + 1000}},
        {{"bin", SqlType::VarBinary, 85, true}, Bytes{1, 2, 3}},
        {{"null", SqlType::NVarChar, 10, true}, std::monostate{}},
        {{"nmax", SqlType::NVarChar, -1, true}, std::string(5000, 'z')},
        {{"dec", SqlType::Decimal, 0, true, 20, 0}, std::string("123456789012")},
    };
    for (const auto &c : cases) {
        TypeInfo written = typeInfoForColumn(c.column, true);
        ByteWriter w;
        writeTypeInfo(w, written);
        writeValue(w, written, c.value);
        ByteReader r(w.data());
        TypeInfo read = readTypeInfo(r);
        Value back = readValue(r, read);
        EXPECT_TRUE(r.atEnd()) << c.column.name;
        EXPECT_EQ(read.sqlType, c.column.type) << c.column.name;
        if (c.column.type == SqlType::Bit)
            EXPECT_EQ(back, Value(std::int64_t{1}));
        else
            EXPECT_EQ(back, c.value) << c.column.name;
    }
}

// sql_variant, as SERVERPROPERTY's values travel: TYPE_INFO with its 4-byte
// longest length, each value with its length, base type, properties, data.
TEST(TdsTypes, VariantValuesCarryTheirBaseType)
{
    ByteWriter info;
    writeTypeInfo(info, typeInfoForColumn({"v", SqlType::SqlVariant, 0, true}, true));
    EXPECT_EQ(info.data(), (Bytes{0x62, 0x50, 0x1F, 0x00, 0x00}));
    const TypeInfo variant = typeInfoForColumn({"v", SqlType::SqlVariant, 0, true}, true);
    const struct {
        Value value;
        Bytes wire;
    } cases[] = {
        {std::int64_t{7}, {0x06, 0, 0, 0, 0x38, 0x00, 0x07, 0, 0, 0}},
        {std::string("16"),
         {0x0D, 0, 0, 0, 0xE7, 0x07, 0x01, 0x04, 0xD0, 0x00, 0x00, 0x00, 0x01, '1', 0x00, '6', 0x00}},
        {std::monostate{}, {0, 0, 0, 0}},
    };
    for (const auto &c : cases) {
        ByteWriter w;
        writeValue(w, variant, c.value);
        EXPECT_EQ(w.data(), c.wire);
    }
}

} // namespace
