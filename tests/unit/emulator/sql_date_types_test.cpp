// date, time, datetime2 and datetimeoffset: converted from ISO texts and
// datetimes as a real server of 2008 or later converts them, refused by
// 2005, and on the wire in their own binary forms (nvarchar for a client
// older than TDS 7.3).

#include "sql_engine_fixture.h"
#include "tds/date_time_codec.h"
#include "tds/type_codec.h"

#include <gtest/gtest.h>

namespace sqlemu {
namespace {

using test::EngineTest;

TEST_F(EngineTest, DateAndTimeTypesConvertFromTextsAsARealServerDoes)
{
    start("16.0");
    struct Case {
        const char *expression;
        SqlType type;
        int scale;
        const char *value;
    };
    const Case cases[] = {
        {"CAST('2024-03-20' AS date)", SqlType::Date, 0, "2024-03-20"},
        {"CAST('2024-03-20T10:11:12.1234567' AS datetime2)", SqlType::DateTime2, 7, "2024-03-20 10:11:12.1234567"},
        {"CAST('10:11:12.5' AS time(2))", SqlType::Time, 2, "10:11:12.50"},
        {"CAST('2024-03-20 10:11:12 +03:30' AS datetimeoffset(0))", SqlType::DateTimeOffset, 0,
         "2024-03-20 10:11:12 +03:30"},
        // Rounded to the scale, the carry reaching the seconds.
        {"CAST('2024-03-20 10:11:12.9999999' AS datetime2(0))", SqlType::DateTime2, 0, "2024-03-20 10:11:13"},
        // What the text leaves out is filled in: 1900-01-01, midnight.
        {"CAST('10:11' AS date)", SqlType::Date, 0, "1900-01-01"},
        {"CONVERT(time(0), '2024-03-20')", SqlType::Time, 0, "00:00:00"},
        {"CAST(CAST('2024-03-20 10:11:12' AS datetime) AS datetime2(3))", SqlType::DateTime2, 3,
         "2024-03-20 10:11:12.000"},
    };
    for (const Case &c : cases) {
        auto sink = run(std::string("SELECT ") + c.expression);
        ASSERT_EQ(sink.firstError(), nullptr) << c.expression << ": " << sink.messages.at(0).text;
        EXPECT_EQ(sink.resultSets.at(0).columns.at(0).type, c.type) << c.expression;
        EXPECT_EQ(sink.resultSets[0].columns[0].scale, c.scale) << c.expression;
        EXPECT_EQ(test::text(sink.resultSets[0].rows.at(0).at(0)), c.value) << c.expression;
    }
    EXPECT_EQ(run("SELECT CAST('2024-02-30' AS date)").firstError()->number, 241);
    EXPECT_EQ(run("SELECT CAST('2024-03-20' AS datetime2(8))").firstError()->number, 1002);
    // Compared with each other and with datetime as points in time.
    auto compared = run("DECLARE @d date = '2024-03-20' DECLARE @t datetime2 = '2024-03-20 10:11:12.1234567' "
                        "SELECT COUNT(*) FROM sys.databases WHERE @t > @d AND @d = CAST('2024-03-20' AS datetime) "
                        "AND @t < CAST('2024-03-20 10:11:13' AS datetime) AND @d < '2024-03-21'");
    ASSERT_EQ(compared.firstError(), nullptr) << compared.messages.at(0).text;
    EXPECT_EQ(test::integer(compared.resultSets.at(0).rows.at(0).at(0)), 4);
    auto text = run("DECLARE @d datetime2(3) = '2024-03-20 10:11:12.1239' SELECT CAST(@d AS nvarchar(30))");
    EXPECT_EQ(test::text(text.resultSets.at(0).rows.at(0).at(0)), "2024-03-20 10:11:12.124");
}

TEST_F(EngineTest, SqlServer2005KnowsNoneOfThem)
{
    start("9.0");
    for (const char *type : {"date", "time", "datetime2", "datetimeoffset"}) {
        auto sink = run(std::string("SELECT CAST('2024-03-20' AS ") + type + ")");
        ASSERT_NE(sink.firstError(), nullptr) << type;
        EXPECT_EQ(sink.firstError()->text,
                  std::string("Column, parameter, or variable #1: Cannot find data type ") + type + ".");
    }
}

TEST(TdsDateTypes, TravelInTheirBinaryFormsAndBack)
{
    using namespace tds;
    struct Case {
        std::uint8_t type;
        int scale;
        const char *text;
        Bytes wire;
    };
    const Case cases[] = {
        {TypeId::Date, 0, "2024-03-20", {0x94, 0x46, 0x0B}},
        {TypeId::Time, 7, "10:11:12.1234567", {0x87, 0xF6, 0x49, 0x62, 0x55}},
        {TypeId::DateTime2, 7, "2024-03-20 10:11:12.1234567", {0x87, 0xF6, 0x49, 0x62, 0x55, 0x94, 0x46, 0x0B}},
        // Date and time in UTC, then the offset in minutes.
        {TypeId::DateTimeOffset, 0, "2024-03-20 01:00:00 +03:30", {0x58, 0x2E, 0x01, 0x93, 0x46, 0x0B, 0xD2, 0x00}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(encodeDateTimeValue(c.type, c.scale, c.text), c.wire) << c.text;
        EXPECT_EQ(decodeDateTimeValue(c.type, c.scale, c.wire), c.text) << c.text;
    }
    EXPECT_THROW(decodeDateTimeValue(TypeId::Date, 0, Bytes{0xFF, 0xFF, 0xFF}), MalformedInput) << "past 9999";

    ColumnInfo column{"d", SqlType::DateTime2, 0, true};
    column.scale = 3;
    const ColumnInfo old = downLevelColumn(column);
    EXPECT_EQ(old.type, SqlType::NVarChar) << "a client before TDS 7.3 gets text";
    EXPECT_EQ(old.maxLength, 23);
}

} // namespace
} // namespace sqlemu
