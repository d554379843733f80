#pragma once

// One sqlemu for a suite of the database layer's tests, logged in to as sa,
// directly or through a relay's port in front of it.

#include "platform/freetds_session.h"
#include "settings/connection_templates.h"

#include "support/sqlemu_process.h"

#include <QString>

#include <gtest/gtest.h>

namespace sqlemu::test {

inline const QString kSaPassword = QStringLiteral("Secret1");

// A SQL login's connection string to 127.0.0.1 on that port, as the program
// builds it.
inline QString sqlLoginConnectionString(int port, const QString &user, const QString &password, const QString &database)
{
    return movan::BuildConnectionString(QStringLiteral("127.0.0.1,%1").arg(port), QStringLiteral("SQL"), user, password,
                                        database);
}

class SqlemuSuite : public ::testing::Test {
protected:
    // Called from a suite's SetUpTestSuite; sa's password is set here.
    static void startServer(SqlemuOptions options = {})
    {
        options.saPassword = kSaPassword.toStdString();
        s_options = options;
        s_server = new SqlemuProcess(options);
        ASSERT_TRUE(s_server->start()) << s_server->error();
        movan::FreeTdsSession::initializeLibrary();
    }
    // Stops the server and starts it again on the same port, as a restarted
    // service: every connection to it ends. It keeps its databases when the
    // suite gave it a data folder of its own (options.dataDir); its trace
    // starts empty.
    static void restartServer()
    {
        s_options.port = s_server->port();
        delete s_server;
        s_server = new SqlemuProcess(s_options);
        ASSERT_TRUE(s_server->start()) << s_server->error();
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        s_server = nullptr;
    }

    // sa's connection string to the server, or to that port (a relay's) in
    // front of it.
    static QString sa(const QString &database = QStringLiteral("master"), int port = 0)
    {
        return sqlLoginConnectionString(port > 0 ? port : s_server->port(), QStringLiteral("sa"), kSaPassword,
                                        database);
    }

    inline static SqlemuProcess *s_server = nullptr;
    inline static SqlemuOptions s_options;
};

} // namespace sqlemu::test
