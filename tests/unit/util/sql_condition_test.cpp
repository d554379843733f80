#include "util/sql_condition.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

using namespace movan;

namespace {

// A query that only records: enough to see what the routines do to the text
// and to the open state.
class RecordingQuery : public SqlTextQuery {
public:
    explicit RecordingQuery(QStringList lines, bool open = false)
        : m_lines(std::move(lines))
        , m_open(open)
    {}
    QStringList sqlLines() const override { return m_lines; }
    void setSqlLines(const QStringList &lines) override { m_lines = lines; }
    bool isOpen() const override { return m_open; }
    void open() override
    {
        m_open = true;
        ++opens;
    }
    void close() override { m_open = false; }

    int opens = 0;

private:
    QStringList m_lines;
    bool m_open;
};

QStringList lines(std::initializer_list<const char *> items)
{
    QStringList result;
    for (const char *item : items)
        result.append(QString::fromUtf8(item));
    return result;
}

TEST(AddSQLCondition, WorkedExamples)
{
    const struct {
        QStringList before, after;
    } cases[] = {
        {lines({"SELECT * FROM T WHERE A=1"}), lines({"SELECT * FROM T WHERE B=2 AND  A=1"})},
        {lines({"SELECT * FROM T"}), lines({"SELECT * FROM T", "WHERE B=2"})},
        {lines({"SELECT A, COUNT(*) FROM T", "GROUP BY A"}),
         lines({"SELECT A, COUNT(*) FROM T", "WHERE B=2", "GROUP BY A"})},
        {lines({"SELECT * FROM T", "ORDER BY A"}), lines({"SELECT * FROM T", "WHERE B=2", "ORDER BY A"})},
        {lines({"select a from t", "group by a"}), lines({"select a from t", "WHERE B=2", "group by a"})},
        {lines({"select a from t", "order by a"}), lines({"select a from t", "WHERE B=2", "order by a"})},
        {lines({"select a from t", "order  by a"}), lines({"select a from t", "order  by a", "WHERE B=2"})},
        {lines({"SELECT * FROM T", "WHERE", "A=1"}), lines({"SELECT * FROM T", "WHERE B=2", "A=1"})},
        // Lower case is found; a "where " inside a longer word or a comment counts too.
        {lines({"select * from t where a=1"}), lines({"select * from t where B=2 AND  a=1"})},
        {lines({"SELECT NOWHERE FROM T -- WHERE x"}), lines({"SELECT NOWHERE B=2 AND  FROM T -- WHERE x"})},
        {lines({"SELECT 'where ' FROM T WHERE A=1"}), lines({"SELECT 'where B=2 AND  ' FROM T WHERE A=1"})},
        // The database list of the maintenance window, with its empty last line.
        {lines({"Select name, filename from master.dbo.sysdatabases ", "Where 1=1", ""}),
         lines({"Select name, filename from master.dbo.sysdatabases ", "Where B=2 AND  1=1", ""})},
    };
    for (const auto &c : cases) {
        RecordingQuery query(c.before, true);
        EXPECT_TRUE(AddSQLCondition(query, QStringLiteral("B=2"), QStringLiteral("AND")));
        EXPECT_EQ(query.sqlLines(), c.after) << c.before.join(u'|').toStdString();
    }
}

TEST(AddSQLCondition, WhereAcrossALineBreakIsNotAWhereFollowedByABlank)
{
    RecordingQuery query(lines({"SELECT * FROM T WHERE", "A=1"}));
    AddSQLCondition(query, QStringLiteral("b=2"), QStringLiteral("AND"));
    EXPECT_EQ(query.sqlLines(), lines({"SELECT * FROM T WHERE", "A=1", "WHERE B=2"}));
}

TEST(AddSQLCondition, OpenStateIsRestoredOnlyWhenItWasOpen)
{
    RecordingQuery closed(lines({"SELECT * FROM T WHERE A=1"}), false);
    EXPECT_FALSE(AddSQLCondition(closed, QStringLiteral("B=2"), QStringLiteral("OR")));
    EXPECT_EQ(closed.sqlLines(), lines({"SELECT * FROM T WHERE B=2 OR  A=1"})) << "the text changes all the same";
    EXPECT_EQ(closed.opens, 0);

    RecordingQuery open(lines({"SELECT * FROM T WHERE A=1"}), true);
    EXPECT_TRUE(AddSQLCondition(open, QStringLiteral("B=2"), QStringLiteral("OR")));
    EXPECT_EQ(open.opens, 1);
}

TEST(AddSQLCondition, EmptyConditionOrConnectorIsRefusedAndClosesTheQuery)
{
    for (const auto &[condition, connector] : {std::pair{" \t", "AND"}, std::pair{"B=2", " "}, std::pair{"", ""}}) {
        RecordingQuery query(lines({"SELECT * FROM T WHERE A=1"}), true);
        EXPECT_FALSE(AddSQLCondition(query, QString::fromUtf8(condition), QString::fromUtf8(connector)));
        EXPECT_FALSE(query.isOpen());
        EXPECT_EQ(query.sqlLines(), lines({"SELECT * FROM T WHERE A=1"}));
    }
}

TEST(SetSQLWhere, UpperCasesTheConditionAndReplacesEveryWhereLine)
{
    RecordingQuery query(lines({"SELECT * FROM T", "where a=1", "UNION SELECT * FROM U", "WHERE x"}), true);
    EXPECT_TRUE(SetSQLWhere(query, QStringLiteral("name like 'ab%' and نام=1")));
    EXPECT_EQ(query.sqlLines(),
              lines({"SELECT * FROM T", "WHERE NAME LIKE 'AB%' AND نام=1", "UNION SELECT * FROM U",
                     "WHERE NAME LIKE 'AB%' AND نام=1"}));
}

TEST(SetSQLWhere, PrefersGroupByOverOrderBy)
{
    RecordingQuery query(lines({"SELECT A FROM T", "ORDER BY A", "GROUP BY A"}));
    EXPECT_FALSE(SetSQLWhere(query, QStringLiteral("B=2")));
    EXPECT_EQ(query.sqlLines(), lines({"SELECT A FROM T", "ORDER BY A", "WHERE B=2", "GROUP BY A"}));
}

} // namespace
