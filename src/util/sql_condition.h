#pragma once

#include <QString>
#include <QStringList>

namespace movan {

// What the condition routines need of a query: its SQL text as lines, and
// whether it is open. The database layer's query implements it.
class SqlTextQuery {
public:
    virtual ~SqlTextQuery() = default;

    virtual QStringList sqlLines() const = 0;
    virtual void setSqlLines(const QStringList &lines) = 0;
    virtual bool isOpen() const = 0;
    virtual void open() = 0;
    virtual void close() = 0;
};

// Puts condition + connector right after the first "WHERE " of the text
// (ASCII case-insensitive, anywhere, comments and literals included), without
// parentheses; without a "WHERE " it falls back to SetSQLWhere. Returns
// whether the query is open afterwards: a query closed before stays closed.
// An empty (trimmed) condition or connector changes nothing and returns false,
// leaving an open query closed.
bool AddSQLCondition(SqlTextQuery &query, const QString &condition, const QString &connector);

// Line by line: every line starting with "WHERE" becomes "WHERE " + the
// upper-cased condition; else a line "WHERE ..." goes before the first
// "GROUP BY" line, else before the first "ORDER BY" line, else at the end.
bool SetSQLWhere(SqlTextQuery &query, const QString &condition);

} // namespace movan
