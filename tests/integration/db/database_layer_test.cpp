// The database layer through FreeTDS against a real sqlemu: every connection
// string the program builds, each way a connection can fail, parameters that
// must arrive untouched, and progress while a statement runs.
#include "db/database.h"
#include "platform/freetds_session.h"
#include "settings/connection_templates.h"
#include "settings/data_module.h"
#include "settings/settings_file.h"
#include "util/sql_condition.h"

#include "support/kerberos_realm.h"
#include "support/qt_printers.h"
#include "support/sqlemu_process.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace movan;

namespace {

const QString kSaPassword = QStringLiteral("Secret1");
const QString kPersianLogin = QStringLiteral("کاربر");
const QString kPersianPassword = QStringLiteral("رمز;'=\"");

QString sqlString(int port, const QString &user, const QString &password, const QString &database)
{
    return BuildConnectionString(QStringLiteral("127.0.0.1,%1").arg(port), QStringLiteral("SQL"), user, password,
                                 database);
}

// One emulator for the suite, with a SQL login of Persian name and password.
class DatabaseLayer : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        SqlemuOptions options;
        options.saPassword = kSaPassword.toStdString();
        options.logins = {(kPersianLogin + u':' + kPersianPassword).toStdString()};
        s_server = new SqlemuProcess(options);
        ASSERT_TRUE(s_server->start()) << s_server->error();
        FreeTdsSession::initializeLibrary();
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        s_server = nullptr;
    }

    static QString sa(const QString &database = QStringLiteral("master"))
    {
        return sqlString(s_server->port(), QStringLiteral("sa"), kSaPassword, database);
    }

    // The parameters of the last RPC the emulator received.
    static QJsonArray lastRpcParameters()
    {
        QJsonArray parameters;
        for (const std::string &line : s_server->traceLines()) {
            const QJsonObject entry = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
            if (entry.value(QStringLiteral("kind")).toString() == u"rpc")
                parameters = entry.value(QStringLiteral("parameters")).toArray();
        }
        return parameters;
    }

    static SqlemuProcess *s_server;
};
SqlemuProcess *DatabaseLayer::s_server = nullptr;

TEST_F(DatabaseLayer, SqlLoginTemplatesOpen)
{
    const std::pair<QString, bool> cases[] = {
        {sa(), true},
        {sqlString(s_server->port(), kPersianLogin, kPersianPassword, QStringLiteral("master")), true},
        // A password of blanks is no password: sa's is not sent.
        {sqlString(s_server->port(), QStringLiteral("sa"), QStringLiteral(" \t"), QString()), false},
    };
    for (const auto &[text, opens] : cases) {
        DbConnection connection;
        connection.setConnectionString(text);
        if (opens) {
            EXPECT_NO_THROW(connection.open()) << text.toStdString();
            EXPECT_TRUE(connection.connected());
        } else {
            EXPECT_THROW(connection.open(), DatabaseError) << text.toStdString();
        }
    }
}

TEST_F(DatabaseLayer, IPv6LiteralsConnect)
{
    for (const QString &source :
         {QStringLiteral("[::1],%1"), QStringLiteral("tcp:[::1] , %1"), QStringLiteral("::1,%1")}) {
        DbConnection connection;
        connection.setConnectionString(BuildConnectionString(source.arg(s_server->port()), QStringLiteral("SQL"),
                                                             QStringLiteral("sa"), kSaPassword, QString()));
        EXPECT_NO_THROW(connection.open()) << source.toStdString();
        EXPECT_TRUE(connection.connected()) << source.toStdString();
    }
}

TEST_F(DatabaseLayer, ServerLevelTemplatesOpen)
{
    QTemporaryDir dir;
    ProfileFile file(dir.filePath(QStringLiteral("InitPrg.ini")));
    file.writeString(QStringLiteral("DataBase"), QStringLiteral("Server"),
                     QStringLiteral("127.0.0.1,%1").arg(s_server->port()));
    file.writeString(QStringLiteral("DataBase"), QStringLiteral("Type"), QStringLiteral("SQL"));
    file.writeString(QStringLiteral("DataBase"), QStringLiteral("User"), kPersianLogin);
    for (const QString &password : {kPersianPassword, QString()}) {
        file.writeString(QStringLiteral("DataBase"), QStringLiteral("Pass"), password);
        const bool passwordGiven = !password.isEmpty();
        for (const QString &text : {BuildMasterConnectionString(file), buildRestoreConnectionString(file)}) {
            DbConnection connection;
            connection.setConnectionString(text);
            if (passwordGiven)
                EXPECT_NO_THROW(connection.open()) << text.toStdString();
            else
                EXPECT_THROW(connection.open(), DatabaseError) << "the login has a password: " << text.toStdString();
        }
    }
}

TEST_F(DatabaseLayer, RefusedConnectionsRaiseTheServersError)
{
    DbConnection connection;
    connection.setConnectionString(
        sqlString(s_server->port(), QStringLiteral("sa"), QStringLiteral("wrong"), QString()));
    try {
        connection.open();
        FAIL() << "a wrong password was accepted";
    } catch (const DatabaseError &e) {
        EXPECT_EQ(e.number(), 18456);
        EXPECT_EQ(e.severity(), 14);
        EXPECT_EQ(e.message(), QStringLiteral("Login failed for user 'sa'."));
    }
    EXPECT_FALSE(connection.connected());

    connection.setConnectionString(sa(QStringLiteral("NoSuchDatabase")));
    EXPECT_THROW(connection.open(), DatabaseError);
    EXPECT_FALSE(connection.connected());

    connection.setConnectionString(QStringLiteral("Provider=MSDASQL.1;Data Source=127.0.0.1,%1").arg(s_server->port()));
    try {
        connection.open();
        FAIL();
    } catch (const DatabaseError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("MSDASQL.1")));
    }
}

TEST_F(DatabaseLayer, AServerThatNeverAnswersFailsWithinTheConnectTimeOut)
{
    // A socket that listens but never reads: the connection is accepted by
    // the kernel and the login then waits for an answer that never comes.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopbackAddress(0);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);

    DbConnection connection;
    connection.setConnectionString(sqlString(ntohs(address.sin_port), QStringLiteral("sa"), kSaPassword, QString()));
    QElapsedTimer timer;
    timer.start();
    EXPECT_THROW(connection.open(), DatabaseError);
    EXPECT_LT(timer.elapsed(), 60000) << "gave up long after the 15-second connect time-out";
    ::close(listener);
}

TEST_F(DatabaseLayer, QueriesReadFieldsByNameWithSuffixesForRepeatedNames)
{
    DbConnection connection;
    connection.setConnectionString(sa());
    DbQuery query;
    query.setConnection(&connection);
    query.setParamCheck(false);
    query.setSqlLines({QStringLiteral("use master"), QString(), QStringLiteral("EXECUTE "),
                       QStringLiteral("xp_regread"), QStringLiteral("  @rootkey = 'HKEY_LOCAL_MACHINE',"),
                       QStringLiteral("  @key = 'SOFTWARE\\Microsoft\\Microsoft SQL Server',"),
                       QStringLiteral("  @value_name = 'InstalledInstances'")});
    query.open();
    QStringList instances;
    for (query.first(); !query.eof(); query.next())
        instances.append(query.fieldByName(QStringLiteral("Value_1")));
    EXPECT_EQ(instances, QStringList{QStringLiteral("MSSQLSERVER")});
    EXPECT_THROW(query.fieldByName(QStringLiteral("NoSuchField")), DatabaseError);
    query.close();
    EXPECT_TRUE(query.eof());
}

TEST_F(DatabaseLayer, AConditionAddedToAnOpenListReopensItFiltered)
{
    DbQuery list;
    list.setConnectionString(sa());
    list.setSqlLines({QStringLiteral("Select name, filename from master.dbo.sysdatabases "),
                      QStringLiteral("Where 1=1"), QString()});
    list.open();
    EXPECT_TRUE(AddSQLCondition(list, QStringLiteral("name Like 'M%' OR  name like '%TEMP' "), QStringLiteral("AND")));
    EXPECT_EQ(list.sqlLines()[1], QStringLiteral("Where name Like 'M%' OR  name like '%TEMP'  AND  1=1"));
    QStringList names;
    for (list.first(); !list.eof(); list.next()) {
        names.append(list.fieldByName(QStringLiteral("name")));
        EXPECT_TRUE(list.fieldByName(QStringLiteral("filename")).endsWith(QStringLiteral("df")));
    }
    EXPECT_EQ(names, (QStringList{QStringLiteral("master"), QStringLiteral("model"), QStringLiteral("msdb")}));
}

TEST_F(DatabaseLayer, ParameterValuesArriveIntactAndAreNeverRunAsSql)
{
    DbQuery query;
    query.setConnectionString(sa());
    query.setSqlLines({QStringLiteral("Declare @a nvarchar(300), @b nvarchar(300)"), QStringLiteral("Set @a = :First"),
                       QStringLiteral("Set @b = :Second")});
    const QString hostile = QStringLiteral("x'; DROP DATABASE master; -- \"q\" ;=");
    const QString path = QStringLiteral("/پشتيبان/") + QString(190, u'ب') + QStringLiteral(".Bak");
    query.parameterByName(QStringLiteral("First")) = {QStringLiteral("First"), hostile, false, 100};
    query.parameterByName(QStringLiteral("Second")) = {QStringLiteral("Second"), path, false, 300};
    query.execSQL();

    const QJsonArray parameters = lastRpcParameters();
    ASSERT_EQ(parameters.size(), 4);
    EXPECT_EQ(parameters[0].toObject().value(QStringLiteral("value")).toString(),
              QStringLiteral("Declare @a nvarchar(300), @b nvarchar(300)\r\nSet @a = @P1\r\nSet @b = @P2\r\n"));
    EXPECT_EQ(parameters[2].toObject().value(QStringLiteral("value")).toString(), hostile);
    EXPECT_EQ(parameters[3].toObject().value(QStringLiteral("value")).toString(), path);
    EXPECT_EQ(parameters[3].toObject().value(QStringLiteral("type")).toString(), QStringLiteral("nvarchar"));
}

// An empty text the user chose is an empty text on the server, never NULL;
// NULL stays NULL, and the parameters beside them keep their values.
TEST_F(DatabaseLayer, EmptyTextsArriveEmptyAndNullsArriveNull)
{
    DbQuery query;
    query.setConnectionString(sa());
    query.setSqlLines({QStringLiteral("SELECT ISNULL(:Empty, N'<null>') AS e, ISNULL(:Missing, N'<null>') AS m, "
                                      "ISNULL(:Given, N'<null>') AS g, LEN(:Empty) AS l")});
    query.parameterByName(QStringLiteral("Empty")) = {QStringLiteral("Empty"), QString(), false, 50};
    query.parameterByName(QStringLiteral("Missing")) = {QStringLiteral("Missing"), QStringLiteral("x"), true, 50};
    query.parameterByName(QStringLiteral("Given")) = {QStringLiteral("Given"), QStringLiteral("تارنل"), false, 50};
    query.open();
    ASSERT_FALSE(query.eof());
    EXPECT_EQ(query.fieldByName(QStringLiteral("e")), QString());
    EXPECT_EQ(query.fieldByName(QStringLiteral("m")), QStringLiteral("<null>"));
    EXPECT_EQ(query.fieldByName(QStringLiteral("g")), QStringLiteral("تارنل"));
    EXPECT_EQ(query.fieldByName(QStringLiteral("l")), QStringLiteral("0"));
}

TEST_F(DatabaseLayer, ProgressArrivesWhileTheStatementRuns)
{
    DbQuery query;
    query.setConnectionString(sa());
    query.setSqlLines({QStringLiteral("EXEC sqlemu_test_progress @seconds = 1")});
    QList<std::pair<int, qint64>> events;
    QElapsedTimer timer;
    query.OnFetchProgress = [&](int progress, int maximum) {
        EXPECT_EQ(maximum, 100);
        events.append({progress, timer.elapsed()});
    };
    timer.start();
    query.execSQL();
    const qint64 total = timer.elapsed();
    ASSERT_EQ(events.size(), 10);
    EXPECT_EQ(events.first().first, 10);
    EXPECT_EQ(events.last().first, 100);
    EXPECT_LT(events.first().second, total / 2) << "the first event came only at the end";
}

TEST_F(DatabaseLayer, SyntaxErrorsRaiseTheServersMessage)
{
    DbQuery query;
    query.setConnectionString(sa());
    query.setSqlLines({QStringLiteral("SELEC name FROM master.dbo.sysdatabases")});
    try {
        query.open();
        FAIL();
    } catch (const DatabaseError &e) {
        EXPECT_GE(e.severity(), 11);
        EXPECT_GT(e.number(), 0);
    }
    EXPECT_FALSE(query.isOpen());
}

// ConnectFromIni reads InitPrg.ini beside the executable, which CTest lets
// only one test write at a time.
class ConnectFromIniTest : public DatabaseLayer {
protected:
    QString path = settingsFilePath(QStringLiteral("InitPrg.ini"));
    void SetUp() override { QFile::remove(path); }
    void TearDown() override { QFile::remove(path); }
    void write(const QString &type, const QString &password = kSaPassword)
    {
        QFile::remove(path);
        ProfileFile file(path);
        file.writeString(QStringLiteral("DataBase"), QStringLiteral("Server"),
                         QStringLiteral("127.0.0.1,%1").arg(s_server->port()));
        file.writeString(QStringLiteral("DataBase"), QStringLiteral("DataBaseName"), QStringLiteral("master"));
        if (!type.isNull())
            file.writeString(QStringLiteral("DataBase"), QStringLiteral("Type"), type);
        file.writeString(QStringLiteral("DataBase"), QStringLiteral("User"), QStringLiteral("sa"));
        file.writeString(QStringLiteral("DataBase"), QStringLiteral("Pass"), password);
    }
};

TEST_F(ConnectFromIniTest, MissingFileLeavesTheConnectionAlone)
{
    DbConnection connection;
    connection.setConnectionString(sa());
    connection.open();
    EXPECT_FALSE(ConnectFromIni(connection, QStringLiteral("DataBase"), QStringLiteral("InitPrg.ini")));
    EXPECT_TRUE(connection.connected());
    EXPECT_EQ(connection.connectionString(), sa());
}

TEST_F(ConnectFromIniTest, TypeSpellings)
{
    TDMMain module;
    for (const char *type : {"SQL", "sql", "Sql"}) {
        write(QString::fromLatin1(type));
        EXPECT_TRUE(ConnectFromIni(module.ADOConnection1, QStringLiteral("DataBase"), QStringLiteral("InitPrg.ini")))
            << type;
    }
    write(QStringLiteral("SQL"), QStringLiteral("wrong"));
    EXPECT_FALSE(ConnectFromIni(module.ADOConnection1, QStringLiteral("DataBase"), QStringLiteral("InitPrg.ini")));
    write(QStringLiteral("ODBC"));
    EXPECT_FALSE(ConnectFromIni(module.ADOConnection1, QStringLiteral("DataBase"), QStringLiteral("InitPrg.ini")));
    EXPECT_TRUE(module.ADOConnection1.connectionString().isEmpty());
    // An absent type, "WIN" and "win" mean Windows authentication: without a
    // Kerberos ticket here the login cannot work, and the failure is false.
    for (const QString &type : {QString(), QStringLiteral("WIN"), QStringLiteral("win")}) {
        write(type);
        EXPECT_FALSE(ConnectFromIni(module.ADOConnection1, QStringLiteral("DataBase"), QStringLiteral("InitPrg.ini")));
        EXPECT_TRUE(module.ADOConnection1.connectionString().contains(QStringLiteral("Integrated Security=SSPI")));
    }
}

TEST_F(ConnectFromIniTest, KeysMissingFromTheFileTakeTheirDefaults)
{
    // No User (sa), no DataBaseName (the login's default database).
    ProfileFile file(path);
    file.writeString(QStringLiteral("DataBase"), QStringLiteral("Server"),
                     QStringLiteral("127.0.0.1,%1").arg(s_server->port()));
    file.writeString(QStringLiteral("DataBase"), QStringLiteral("Type"), QStringLiteral("SQL"));
    file.writeString(QStringLiteral("DataBase"), QStringLiteral("Pass"), kSaPassword);
    TDMMain module;
    EXPECT_TRUE(ConnectFromIni(module.ADOConnection1, QStringLiteral("DataBase"), QStringLiteral("InitPrg.ini")));
    const QString used = module.ADOConnection1.connectionString();
    EXPECT_TRUE(used.contains(QStringLiteral(";User ID=sa;Initial Catalog=;Data Source=127.0.0.1,")))
        << used.toStdString();
}

// Windows authentication is Kerberos: a throw-away realm, a ticket for the
// user, and the emulator holding the service key.
class WindowsAuthentication : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const int port = freeLoopbackPort(SOCK_STREAM);
        s_realm = new KerberosRealm({port, 1433});
        ASSERT_TRUE(s_realm->start()) << s_realm->error();
        s_realm->applyToThisProcess();
        s_server = new SqlemuProcess(s_realm->serverOptions(port));
        ASSERT_TRUE(s_server->start()) << s_server->error();
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        delete s_realm;
    }
    static KerberosRealm *s_realm;
    static SqlemuProcess *s_server;
};
KerberosRealm *WindowsAuthentication::s_realm = nullptr;
SqlemuProcess *WindowsAuthentication::s_server = nullptr;

TEST_F(WindowsAuthentication, IntegratedTemplatesLogIn)
{
    for (const QString &host : {QStringLiteral("127.0.0.1"), QStringLiteral("localhost")}) {
        DbConnection connection;
        connection.setConnectionString(BuildConnectionString(QStringLiteral("%1,%2").arg(host).arg(s_server->port()),
                                                             QStringLiteral("WIN"), QString(), QString(),
                                                             QStringLiteral("master")));
        EXPECT_NO_THROW(connection.open()) << host.toStdString();
    }
}

TEST_F(WindowsAuthentication, ServerLevelTemplatesLogIn)
{
    QTemporaryDir dir;
    ProfileFile file(dir.filePath(QStringLiteral("InitPrg.ini")));
    file.writeString(QStringLiteral("DataBase"), QStringLiteral("Server"),
                     QStringLiteral("127.0.0.1,%1").arg(s_server->port()));
    file.writeString(QStringLiteral("DataBase"), QStringLiteral("Type"), QStringLiteral("WIN"));
    for (const QString &text : {BuildMasterConnectionString(file), buildRestoreConnectionString(file)}) {
        DbConnection connection;
        connection.setConnectionString(text);
        EXPECT_NO_THROW(connection.open()) << text.toStdString();
    }
}

TEST_F(WindowsAuthentication, NoTicketGivesAClearReason)
{
    const QByteArray cache = qgetenv("KRB5CCNAME");
    qputenv("KRB5CCNAME", "FILE:/nonexistent/ccache");
    DbConnection connection;
    connection.setConnectionString(BuildConnectionString(QStringLiteral("127.0.0.1,%1").arg(s_server->port()),
                                                         QStringLiteral("WIN"), QString(), QString(), QString()));
    try {
        connection.open();
        ADD_FAILURE() << "logged in without a ticket";
    } catch (const DatabaseError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("Kerberos"))) << e.message().toStdString();
    }
    qputenv("KRB5CCNAME", cache);
}

TEST_F(WindowsAuthentication, TheLocalDefaultInstanceAnswersTheFixedString)
{
    if (!loopbackPortIsFree(1433, SOCK_STREAM))
        GTEST_FAIL() << "TCP 1433 is in use on this machine: stop the server holding it and test again";
    SqlemuProcess local(s_realm->serverOptions(1433));
    ASSERT_TRUE(local.start()) << local.error();
    DbQuery list;
    list.setConnectionString(kLocalMasterConnectionString);
    list.setSqlLines({QStringLiteral("Select name, filename from master.dbo.sysdatabases "),
                      QStringLiteral("Where 1=1"), QString()});
    list.open();
    QStringList names;
    for (list.first(); !list.eof(); list.next())
        names.append(list.fieldByName(QStringLiteral("name")));
    EXPECT_EQ(names,
              (QStringList{QStringLiteral("master"), QStringLiteral("tempdb"), QStringLiteral("model"),
                           QStringLiteral("msdb")}));
}

// A named instance is found through the SQL Server Browser on UDP 1434, as
// with a real server.
TEST(NamedInstance, IsFoundThroughTheBrowser)
{
    if (!loopbackPortIsFree(1434, SOCK_DGRAM))
        GTEST_FAIL() << "UDP 1434 is in use on this machine: stop the browser holding it and test again";
    SqlemuOptions options;
    options.saPassword = kSaPassword.toStdString();
    options.instances = {{"MOVAN", 0}};
    options.browser = true;
    options.browserPort = 1434;
    SqlemuProcess server(options);
    ASSERT_TRUE(server.start()) << server.error();
    DbConnection connection;
    connection.setConnectionString(BuildConnectionString(QStringLiteral("127.0.0.1\\MOVAN"), QStringLiteral("SQL"),
                                                         QStringLiteral("sa"), kSaPassword, QStringLiteral("master")));
    EXPECT_NO_THROW(connection.open());
    connection.setConnectionString(BuildConnectionString(QStringLiteral("127.0.0.1\\NOSUCH"), QStringLiteral("SQL"),
                                                         QStringLiteral("sa"), kSaPassword, QStringLiteral("master")));
    EXPECT_THROW(connection.open(), DatabaseError);
}

} // namespace
