#pragma once

#include "platform/app_error.h"

#include <QList>
#include <QString>

namespace movan {

// OLE DB connection strings: "Key=Value;Key=Value". A value holding ";", "=",
// a quote, or blanks at either end is quoted (double quotes, or single quotes
// when it holds a double quote, the enclosing quote doubled inside); any other
// value is inserted as it stands.
QString connectionStringValue(const QString &value);

class ConnectionStringError : public AppError {
public:
    using AppError::AppError;
};

// The parsed form: keys compare case-insensitively, blanks around keys and
// values are dropped, quoted values keep everything inside, and a key given
// twice keeps its last value.
class ConnectionProperties {
public:
    bool contains(const QString &key) const;
    QString value(const QString &key, const QString &defaultValue = {}) const;
    // Keys in the order of their first appearance, as first spelt.
    QStringList keys() const;

    void set(const QString &key, const QString &value);

private:
    QList<std::pair<QString, QString>> m_entries;
};

// Throws ConnectionStringError for a string that is not well formed (an
// unterminated quote, text after a closing quote, a part without "=").
ConnectionProperties parseConnectionString(const QString &connectionString);

} // namespace movan
