#include "db/named_parameters.h"

namespace movan {

namespace {

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

// Copies a quoted run starting at i (the opening character) up to and
// including its closing character; a doubled closing character stays inside.
qsizetype skipQuoted(const QString &sql, qsizetype i, QChar close, QString &out)
{
    out += sql[i++];
    while (i < sql.size()) {
        out += sql[i];
        if (sql[i] == close) {
            if (i + 1 < sql.size() && sql[i + 1] == close) {
                out += sql[i + 1];
                i += 2;
                continue;
            }
            return i + 1;
        }
        ++i;
    }
    return i;
}

} // namespace

ParameterizedText parseNamedParameters(const QString &sql)
{
    ParameterizedText result;
    QString &out = result.text;
    const qsizetype n = sql.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = sql[i];
        if (c == u'\'') {
            i = skipQuoted(sql, i, u'\'', out);
        } else if (c == u'"') {
            i = skipQuoted(sql, i, u'"', out);
        } else if (c == u'[') {
            i = skipQuoted(sql, i, u']', out);
        } else if (c == u'-' && i + 1 < n && sql[i + 1] == u'-') {
            const qsizetype end = sql.indexOf(u'\n', i);
            const qsizetype stop = end < 0 ? n : end;
            out += QStringView(sql).mid(i, stop - i);
            i = stop;
        } else if (c == u'/' && i + 1 < n && sql[i + 1] == u'*') {
            const qsizetype end = sql.indexOf(QStringLiteral("*/"), i + 2);
            const qsizetype stop = end < 0 ? n : end + 2;
            out += QStringView(sql).mid(i, stop - i);
            i = stop;
        } else if (c == u':' && i + 1 < n && sql[i + 1] == u':') {
            out += u':';
            i += 2;
        } else if (c == u':' && i + 1 < n && isNameChar(sql[i + 1])) {
            qsizetype end = i + 1;
            while (end < n && isNameChar(sql[end]))
                ++end;
            const QString name = sql.mid(i + 1, end - i - 1);
            qsizetype index = -1;
            for (qsizetype k = 0; k < result.names.size(); ++k)
                if (result.names[k].compare(name, Qt::CaseInsensitive) == 0)
                    index = k;
            if (index < 0) {
                result.names.append(name);
                index = result.names.size() - 1;
            }
            out += QStringLiteral("@P%1").arg(index + 1);
            i = end;
        } else {
            out += c;
            ++i;
        }
    }
    return result;
}

} // namespace movan
