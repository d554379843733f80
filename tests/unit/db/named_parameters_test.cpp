#include "db/named_parameters.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

using namespace movan;

namespace {

TEST(NamedParameters, MarkersOutsideLiteralsNamesAndCommentsBecomePositional)
{
    const struct {
        const char *sql;
        const char *text;
        QStringList names;
    } cases[] = {
        {"Set @Ar_DataBase = :Ar_DataBase", "Set @Ar_DataBase = @P1", {"Ar_DataBase"}},
        {"select :a, :b, :A", "select @P1, @P2, @P1", {"a", "b"}},
        {"select ':x', N':y', 'it''s :z'", "select ':x', N':y', 'it''s :z'", {}},
        {"select [a:b], \"c:d\" from t", "select [a:b], \"c:d\" from t", {}},
        {"select 1 -- :no\r\nwhere x = :yes", "select 1 -- :no\r\nwhere x = @P1", {"yes"}},
        {"/* :no */ :yes /* :no", "/* :no */ @P1 /* :no", {"yes"}},
        {"select '12:30', a::b, : x", "select '12:30', a:b, : x", {}},
        {"select :نام", "select @P1", {"نام"}},
        {"select 'open :x", "select 'open :x", {}},
    };
    for (const auto &c : cases) {
        const ParameterizedText parsed = parseNamedParameters(QString::fromUtf8(c.sql));
        EXPECT_EQ(parsed.text, QString::fromUtf8(c.text)) << c.sql;
        EXPECT_EQ(parsed.names, c.names) << c.sql;
    }
}

} // namespace
