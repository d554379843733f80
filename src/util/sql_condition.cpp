#include "util/sql_condition.h"

#include "util/text_trim.h"

namespace movan {

namespace {

// Only a to z change, so positions in the copy are positions in the text.
QString asciiUpper(const QString &text)
{
    QString upper = text;
    for (QChar &c : upper)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - (u'a' - u'A'));
    return upper;
}

QStringList splitLines(const QString &text)
{
    QStringList lines = text.split(QStringLiteral("\r\n"));
    // The text ends with a line end, which leaves one empty piece behind.
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

QString joinLines(const QStringList &lines)
{
    QString text;
    for (const QString &line : lines)
        text += line + QStringLiteral("\r\n");
    return text;
}

bool insertBeforeLineStarting(QStringList &lines, const QString &prefix, const QString &whereLine)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (asciiUpper(lines[i]).startsWith(prefix)) {
            lines.insert(i, whereLine);
            return true;
        }
    }
    return false;
}

} // namespace

bool AddSQLCondition(SqlTextQuery &query, const QString &condition, const QString &connector)
{
    const bool wasOpen = query.isOpen();
    if (wasOpen)
        query.close();
    if (trimControl(condition).isEmpty() || trimControl(connector).isEmpty())
        return false;

    const QString text = joinLines(query.sqlLines());
    const qsizetype where = asciiUpper(text).indexOf(QStringLiteral("WHERE "));
    if (where < 0) {
        SetSQLWhere(query, condition);
    } else {
        QString changed = text;
        changed.insert(where + 5, u' ' + condition + u' ' + connector + u' ');
        query.setSqlLines(splitLines(changed));
    }
    if (wasOpen)
        query.open();
    return query.isOpen();
}

bool SetSQLWhere(SqlTextQuery &query, const QString &condition)
{
    const bool wasOpen = query.isOpen();
    if (wasOpen)
        query.close();

    const QString whereLine = QStringLiteral("WHERE ") + asciiUpper(condition);
    QStringList lines = query.sqlLines();
    bool placed = false;
    for (QString &line : lines) {
        if (asciiUpper(line).startsWith(QStringLiteral("WHERE"))) {
            line = whereLine;
            placed = true;
        }
    }
    if (!placed)
        placed = insertBeforeLineStarting(lines, QStringLiteral("GROUP BY"), whereLine);
    if (!placed)
        placed = insertBeforeLineStarting(lines, QStringLiteral("ORDER BY"), whereLine);
    if (!placed)
        lines.append(whereLine);
    query.setSqlLines(lines);

    if (wasOpen)
        query.open();
    return query.isOpen();
}

} // namespace movan
