#include "tds/client_request.h"
#include "tds/login7.h"
#include "tds/type_codec.h"

#include "support/tds_wire_client.h"

#include <gtest/gtest.h>

using namespace sqlemu;
using namespace sqlemu::tds;

namespace {

TEST(TdsSqlBatch, ReadsTheTextAfterAllHeaders)
{
    const std::string text = "Select name, filename from master.dbo.sysdatabases \r\nWhere 1=1\r\n\r\n";
    EXPECT_EQ(parseSqlBatch(sqlemu::test::sqlBatch(text), TdsVersion::V7_4), text);
    EXPECT_EQ(parseSqlBatch(sqlemu::test::sqlBatch(text, false), TdsVersion::V7_1), text);
    EXPECT_EQ(parseSqlBatch(sqlemu::test::sqlBatch("N'ميز'"), TdsVersion::V7_2), "N'ميز'");
}

TEST(TdsSqlBatch, RejectsBrokenHeadersAndOddText)
{
    Bytes batch = sqlemu::test::sqlBatch("select 1");
    Bytes total = batch;
    total[0] = 0xFF; // TotalLength beyond the packet
    EXPECT_THROW(parseSqlBatch(total, TdsVersion::V7_4), MalformedInput);
    Bytes header = batch;
    header[4] = 0x02; // HeaderLength too small to hold itself
    EXPECT_THROW(parseSqlBatch(header, TdsVersion::V7_4), MalformedInput);
    Bytes odd = batch;
    odd.push_back(0x41);
    EXPECT_THROW(parseSqlBatch(odd, TdsVersion::V7_4), MalformedInput);
}

Bytes executeSql(bool byName)
{
    ByteWriter w;
    sqlemu::test::allHeaders(w);
    if (byName) {
        w.usVarChar("sp_executesql");
    } else {
        w.u16le(0xFFFF);
        w.u16le(10);
    }
    w.u16le(0);
    sqlemu::test::nvarcharParam(w, "@statement", "BACKUP DATABASE @Ar_DataBase TO DISK = @Ar_Path");
    sqlemu::test::nvarcharParam(w, "@params", "@Ar_DataBase nvarchar(4000), @Ar_Path nvarchar(4000)");
    sqlemu::test::nvarcharParam(w, "@Ar_DataBase", "Tarnel");
    // VARCHAR in Windows-1256: "ک" is 0x98
    w.bVarChar("@Ar_Path");
    w.u8(0);
    w.u8(0xA7);
    w.u16le(8000);
    for (std::uint8_t b : {0x01, 0x04, 0xD0, 0x00, 0x00})
        w.u8(b);
    w.u16le(3);
    w.bytes(Bytes{'C', ':', 0x98});
    sqlemu::test::intParam(w, "@n", -5);
    w.bVarChar("@null");
    w.u8(0);
    w.u8(0x26);
    w.u8(4);
    w.u8(0);
    return w.take();
}

TEST(TdsRpc, ReadsSpExecuteSqlByIdAndByName)
{
    for (bool byName : {false, true}) {
        auto calls = parseRpcRequest(executeSql(byName), TdsVersion::V7_4);
        ASSERT_EQ(calls.size(), 1u);
        const RpcCall &call = calls[0];
        EXPECT_EQ(call.procedure, "sp_executesql");
        EXPECT_EQ(call.procId, byName ? 0 : 10);
        ASSERT_EQ(call.parameters.size(), 6u);
        EXPECT_EQ(call.parameters[0].name, "@statement");
        EXPECT_EQ(std::get<std::string>(call.parameters[0].value), "BACKUP DATABASE @Ar_DataBase TO DISK = @Ar_Path");
        EXPECT_EQ(call.parameters[0].type, SqlType::NVarChar);
        EXPECT_EQ(call.parameters[0].maxLength, 4000);
        EXPECT_EQ(std::get<std::string>(call.parameters[2].value), "Tarnel");
        EXPECT_EQ(call.parameters[3].type, SqlType::VarChar);
        EXPECT_EQ(std::get<std::string>(call.parameters[3].value), "C:ک");
        EXPECT_EQ(call.parameters[4].type, SqlType::Int);
        EXPECT_EQ(std::get<std::int64_t>(call.parameters[4].value), -5);
        EXPECT_TRUE(isNull(call.parameters[5].value));
    }
}

TEST(TdsRpc, ReadsMaxValuesSentInChunks)
{
    ByteWriter w;
    sqlemu::test::allHeaders(w);
    w.u16le(0xFFFF);
    w.u16le(10);
    w.u16le(0);
    w.bVarChar("@statement");
    w.u8(0);
    w.u8(0xE7);
    w.u16le(0xFFFF);
    for (std::uint8_t b : {0x01, 0x04, 0xD0, 0x00, 0x00})
        w.u8(b);
    Bytes text = utf8ToUtf16le("select 1");
    w.u64le(0xFFFFFFFFFFFFFFFEULL);
    w.u32le(6);
    w.bytes(std::span(text).first(6));
    w.u32le(static_cast<std::uint32_t>(text.size() - 6));
    w.bytes(std::span(text).subspan(6));
    w.u32le(0);
    auto calls = parseRpcRequest(w.data(), TdsVersion::V7_4);
    ASSERT_EQ(calls[0].parameters.size(), 1u);
    EXPECT_EQ(std::get<std::string>(calls[0].parameters[0].value), "select 1");
    EXPECT_EQ(calls[0].parameters[0].maxLength, -1);
}

TEST(TdsRpc, RejectsWhatCannotBeRead)
{
    Bytes good = executeSql(false);
    EXPECT_THROW(parseRpcRequest(Bytes(good.begin(), good.end() - 3), TdsVersion::V7_4), MalformedInput);
    Bytes unknownProc = good;
    unknownProc[24] = 99; // ProcID
    EXPECT_THROW(parseRpcRequest(unknownProc, TdsVersion::V7_4), MalformedInput);
    Bytes unknownType = good;
    unknownType[22 + 6 + 1 + 20 + 1] = 0xF1; // the first parameter's type: xml
    // The stream is whole, only its type unknown: the request is refused,
    // not the connection.
    EXPECT_THROW(parseRpcRequest(unknownType, TdsVersion::V7_4), RefusedRequest);
}

TEST(TdsRpc, RefusesNullableFixedTypesOfImpossibleLengths)
{
    // TYPE_INFO then value; each once crashed or would read past the value.
    const std::vector<Bytes> cases = {
        {0x6F, 0x01, 0x01, 0x00}, // datetimen(1)
        {0x6F, 0x08, 0x02, 0x00, 0x00}, // datetime value of 2 bytes
        {0x26, 0x03, 0x03, 0x00, 0x00, 0x00}, // intn(3)
        {0x26, 0x04, 0x02, 0x00, 0x00}, // int value of 2 bytes
        {0x24, 0x10, 0x05, 1, 2, 3, 4, 5}, // a guid of 5 bytes
        {0x68, 0x02, 0x02, 0x00, 0x00}, // bitn(2)
        {0x6A, 0x20, 0x10, 0x00}, // decimal of 32 bytes
    };
    for (const auto &bytes : cases) {
        ByteReader reader(bytes);
        EXPECT_THROW(
            {
                TypeInfo type = readTypeInfo(reader);
                readValue(reader, type);
            },
            MalformedInput)
            << int(bytes[0]);
    }
}

} // namespace
