#include "db/connection_string.h"

#include "platform/blank_text.h"

namespace movan {

namespace {

bool needsQuoting(const QString &value)
{
    if (value.isEmpty())
        return false;
    return value.contains(u';') || value.contains(u'=') || value.contains(u'"') || value.contains(u'\'')
        || isBlank(value.front()) || isBlank(value.back());
}

} // namespace

QString connectionStringValue(const QString &value)
{
    if (!needsQuoting(value))
        return value;
    const QChar quote = value.contains(u'"') ? u'\'' : u'"';
    QString quoted = value;
    quoted.replace(quote, QString(2, quote));
    return quote + quoted + quote;
}

bool ConnectionProperties::contains(const QString &key) const
{
    for (const auto &entry : m_entries)
        if (entry.first.compare(key, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString ConnectionProperties::value(const QString &key, const QString &defaultValue) const
{
    for (const auto &entry : m_entries)
        if (entry.first.compare(key, Qt::CaseInsensitive) == 0)
            return entry.second;
    return defaultValue;
}

QStringList ConnectionProperties::keys() const
{
    QStringList result;
    for (const auto &entry : m_entries)
        result.append(entry.first);
    return result;
}

void ConnectionProperties::set(const QString &key, const QString &value)
{
    for (auto &entry : m_entries) {
        if (entry.first.compare(key, Qt::CaseInsensitive) == 0) {
            entry.second = value;
            return;
        }
    }
    m_entries.append({key, value});
}

ConnectionProperties parseConnectionString(const QString &text)
{
    ConnectionProperties properties;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        while (i < n && (isBlank(text[i]) || text[i] == u';'))
            ++i;
        if (i >= n)
            break;

        // A key ends at the first single '='; "==" stands for '=' in a key.
        QString key;
        while (true) {
            if (i >= n || text[i] == u';')
                throw ConnectionStringError(
                    QStringLiteral("The connection string part \"%1\" has no value.").arg(trimBlanks(key)));
            if (text[i] == u'=') {
                if (i + 1 < n && text[i + 1] == u'=') {
                    key += u'=';
                    i += 2;
                    continue;
                }
                ++i;
                break;
            }
            key += text[i++];
        }
        key = trimBlanks(key);
        if (key.isEmpty())
            throw ConnectionStringError(QStringLiteral("The connection string has a value without a key."));

        while (i < n && isBlank(text[i]))
            ++i;
        QString value;
        if (i < n && (text[i] == u'"' || text[i] == u'\'')) {
            const QChar quote = text[i++];
            bool closed = false;
            while (i < n) {
                if (text[i] == quote) {
                    if (i + 1 < n && text[i + 1] == quote) {
                        value += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                value += text[i++];
            }
            if (!closed)
                throw ConnectionStringError(
                    QStringLiteral("The value of \"%1\" in the connection string has no closing quote.").arg(key));
            while (i < n && isBlank(text[i]))
                ++i;
            if (i < n && text[i] != u';')
                throw ConnectionStringError(
                    QStringLiteral("The value of \"%1\" in the connection string has text after its closing quote.")
                        .arg(key));
        } else {
            const qsizetype start = i;
            while (i < n && text[i] != u';')
                ++i;
            value = trimBlanks(QStringView(text).mid(start, i - start));
        }
        properties.set(key, value);
    }
    return properties;
}

} // namespace movan
