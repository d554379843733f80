#pragma once

#include "platform/database_error.h"
#include "util/sql_condition.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

namespace movan {

class FreeTdsSession;

// The database access the windows use: a connection, a query and a command,
// in the terms the windows think in (SQL text as lines, named parameters,
// fields read by name). Every call blocks its caller without freezing the
// window (see blocking_call.h) and throws DatabaseError with the server's
// number, severity and text.

class DbConnection {
public:
    DbConnection();
    ~DbConnection();

    const QString &connectionString() const { return m_connectionString; }
    void setConnectionString(const QString &connectionString);

    // A refused login never asks the user for credentials: there is no prompt.
    bool loginPrompt() const { return false; }

    void open();
    void close();
    bool connected() const { return m_session != nullptr; }

    // For the queries that share this connection.
    FreeTdsSession &session();

private:
    QString m_connectionString;
    std::unique_ptr<FreeTdsSession> m_session;
};

class DbQuery : public SqlTextQuery {
public:
    struct Parameter {
        QString name;
        QString value;
        bool isNull = true;
        int size = 0; // declared size in characters; 0: as long as the value
    };

    DbQuery();
    ~DbQuery() override;

    // SQL text: lines, or one text whose lines are joined by CR LF.
    QStringList sqlLines() const override { return m_lines; }
    void setSqlLines(const QStringList &lines) override;
    QString sqlText() const;
    void setSqlText(const QString &text);

    // Its own connection string, or a shared connection; setConnection(nullptr)
    // detaches it from the shared one.
    void setConnectionString(const QString &connectionString);
    void setConnection(DbConnection *connection);
    DbConnection *connection() const { return m_shared; }

    // With parameter checking on (the default), ":Name" in the text marks a
    // parameter; off, the text goes to the server as it stands.
    bool paramCheck() const { return m_paramCheck; }
    void setParamCheck(bool on);
    QList<Parameter> parameters() const { return m_parameters; }
    Parameter &parameterByName(const QString &name);
    // Gives the named parameter a text value; a size above 0 declares it
    // (others keep the size set earlier).
    void setParameterText(const QString &name, const QString &value, int size = 0);

    // Seconds; 0 waits as long as the server works.
    int commandTimeout() const { return m_commandTimeout; }
    void setCommandTimeout(int seconds) { m_commandTimeout = seconds; }

    // Called with (progress, maximum) while a statement runs, each time the
    // server reports "N percent processed." (maximum 100), on the
    // user-interface thread.
    std::function<void(int progress, int maxProgress)> OnFetchProgress;

    bool isOpen() const override { return m_open; }
    void open() override;
    void close() override;
    void first();
    void next();
    bool eof() const;
    // The named field of the current row as text (NULL as empty text; a date
    // and time as yyyy-MM-ddTHH:mm:ss.zzz, whatever the locale). Where two
    // columns have the same name, the later ones are name_1, name_2, ...
    QString fieldByName(const QString &name) const;
    // The same field typed as the server sent it (see TdsResult); NULL as an
    // invalid QVariant.
    QVariant fieldValue(const QString &name) const;
    QStringList fieldNames() const { return m_columns; }

    // Runs a text that returns no rows.
    void execSQL();
    // Gives back the query's own connection once its work is done, so that
    // nothing of a finished operation holds a session on the server; the next
    // call opens a new one. A shared connection stays as it is.
    void releaseConnection();

private:
    struct Rows;
    void run(bool keepRows);
    qsizetype columnIndex(const QString &name) const;
    DbConnection &connectionForCall();
    void reparseParameters();

    QStringList m_lines;
    QString m_connectionString;
    DbConnection *m_shared = nullptr;
    std::unique_ptr<DbConnection> m_own;
    bool m_paramCheck = true;
    QList<Parameter> m_parameters;
    int m_commandTimeout = 0;

    bool m_open = false;
    QStringList m_columns;
    QList<QList<QVariant>> m_rows;
    qsizetype m_row = 0;
};

class DbCommand {
public:
    void setConnectionString(const QString &connectionString) { m_connectionString = connectionString; }
    const QString &connectionString() const { return m_connectionString; }
    void setCommandText(const QString &text) { m_commandText = text; }
    const QString &commandText() const { return m_commandText; }

    void execute();

private:
    QString m_connectionString;
    QString m_commandText;
};

// The names the server gives result columns, made unique as the windows bind
// them: a repeated name gets "_1", "_2", ... in order.
QStringList uniqueFieldNames(const QStringList &columns);

// A field's value as the text fieldByName gives.
QString fieldText(const QVariant &value);

// Progress N from the text of message 3211 ("N percent processed.").
std::optional<int> percentProcessed(int messageNumber, const QString &text);

} // namespace movan
