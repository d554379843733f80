// The login never travels in clear text: the database layer against sqlemu
// as a server that encrypts when asked, one that forces encryption, and one
// that cannot encrypt, with a tap on the loopback connection that records
// every byte each way (and can rewrite the server's PRELOGIN answer, as
// someone in the path could).
#include "db/database.h"
#include "platform/freetds_session.h"
#include "platform/profile_file.h"
#include "settings/connection_templates.h"
#include "settings/data_module.h"
#include "settings/settings_file.h"

#include "support/child_process.h"
#include "support/kerberos_realm.h"
#include "support/sqlemu_process.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <poll.h>
#include <set>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace movan;

namespace {

using Bytes = std::vector<unsigned char>;

const QString kPassword = QStringLiteral("Tarnel-Secret-رمز");
const QString kQuery = QStringLiteral("Select name, filename from master.dbo.sysdatabases");

Bytes utf16(const QString &text)
{
    Bytes out;
    for (QChar c : text) {
        out.push_back(static_cast<unsigned char>(c.unicode() & 0xFF));
        out.push_back(static_cast<unsigned char>(c.unicode() >> 8));
    }
    return out;
}

// The password as LOGIN7 carries it: UTF-16, nibbles swapped, XOR 0xA5.
Bytes scrambled(const QString &password)
{
    Bytes out = utf16(password);
    for (unsigned char &b : out)
        b = static_cast<unsigned char>(((b << 4) | (b >> 4)) ^ 0xA5);
    return out;
}

bool contains(const Bytes &haystack, const Bytes &needle)
{
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

// What the client sent as clear TDS packets, up to the first bytes that are
// not one (TLS records): the packet types in order.
std::vector<int> clearPacketTypes(const Bytes &toServer)
{
    static const std::set<int> clientTypes = {0x01, 0x03, 0x06, 0x0E, 0x10, 0x11, 0x12};
    std::vector<int> types;
    for (std::size_t at = 0; at + 8 <= toServer.size();) {
        const std::size_t length = (toServer[at + 2] << 8) | toServer[at + 3];
        if (!clientTypes.count(toServer[at]) || length < 8 || at + length > toServer.size())
            break;
        types.push_back(toServer[at]);
        at += length;
    }
    return types;
}

// PRELOGIN's ENCRYPTION value in the first packet of a stream.
int encryptionOption(const Bytes &stream)
{
    for (std::size_t at = 8; at + 5 <= stream.size() && stream[at] != 0xFF; at += 5) {
        const std::size_t offset = 8 + ((stream[at + 1] << 8) | stream[at + 2]);
        if (stream[at] == 0x01 && offset < stream.size())
            return stream[offset];
    }
    return -1;
}

// A relay on a loopback port in front of the server. Each connection's bytes
// are kept per direction; rewrite, when set, may change the server's first
// packet (the PRELOGIN answer) before the client sees it.
class Tap {
public:
    struct Connection {
        Bytes toServer;
        Bytes toClient;
    };

    explicit Tap(int serverPort)
        : m_serverPort(serverPort)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = loopbackAddress(0);
        socklen_t size = sizeof address;
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(m_listener, 16);
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &size);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { run(); });
    }
    ~Tap()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_listener);
    }

    int port() const { return m_port; }
    std::function<void(Bytes &firstServerPacket)> rewrite;
    std::vector<Connection> connections()
    {
        std::lock_guard lock(m_mutex);
        return m_connections;
    }

private:
    void run()
    {
        std::vector<std::thread> relays;
        while (!m_stop) {
            pollfd p{m_listener, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address = loopbackAddress(m_serverPort);
            ::connect(server, reinterpret_cast<sockaddr *>(&address), sizeof address);
            std::size_t index;
            {
                std::lock_guard lock(m_mutex);
                index = m_connections.size();
                m_connections.emplace_back();
            }
            relays.emplace_back([this, client, server, index] { relay(client, server, index); });
        }
        for (auto &t : relays)
            t.join();
    }

    void relay(int client, int server, std::size_t index)
    {
        Bytes held; // the server's first packet, until it is whole
        bool firstDone = !rewrite;
        unsigned char buffer[65536];
        pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        while (!m_stop) {
            if (::poll(fds, 2, 50) <= 0)
                continue;
            bool closed = false;
            for (int side = 0; side < 2; ++side) {
                if (!(fds[side].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                const ssize_t n = ::recv(fds[side].fd, buffer, sizeof buffer, 0);
                if (n <= 0) {
                    closed = true;
                    break;
                }
                Bytes chunk(buffer, buffer + n);
                {
                    std::lock_guard lock(m_mutex);
                    Bytes &log = side == 0 ? m_connections[index].toServer : m_connections[index].toClient;
                    log.insert(log.end(), chunk.begin(), chunk.end());
                }
                if (side == 1 && !firstDone) {
                    held.insert(held.end(), chunk.begin(), chunk.end());
                    if (held.size() < 8 || held.size() < std::size_t((held[2] << 8) | held[3]))
                        continue;
                    rewrite(held);
                    chunk = held;
                    firstDone = true;
                }
                const int to = side == 0 ? server : client;
                ::send(to, chunk.data(), chunk.size(), MSG_NOSIGNAL);
            }
            if (closed)
                break;
        }
        ::close(client);
        ::close(server);
    }

    int m_serverPort;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<Connection> m_connections;
    std::thread m_thread;
};

SqlemuOptions serverIn(const std::string &encryption)
{
    SqlemuOptions options;
    options.saPassword = kPassword.toStdString();
    options.extraArguments = {"--encryption", encryption};
    return options;
}

QString saThrough(int port)
{
    return BuildConnectionString(QStringLiteral("127.0.0.1,%1").arg(port), QStringLiteral("SQL"), QStringLiteral("sa"),
                                 kPassword, QStringLiteral("master"));
}

QStringList databaseNames(DbConnection &connection)
{
    DbQuery list;
    list.setConnection(&connection);
    list.setSqlText(kQuery);
    list.open();
    QStringList names;
    for (list.first(); !list.eof(); list.next())
        names.append(list.fieldByName(QStringLiteral("name")));
    return names;
}

// tsql through the tap with FreeTDS's encryption level set as a client
// configuration may set it; its output.
std::string tsqlWithEncryption(const std::string &level, int port, QTemporaryDir &dir)
{
    const QString conf = dir.filePath(QString::fromStdString(level + ".conf"));
    QFile file(conf);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("[global]\n\tencryption = ") + QByteArray::fromStdString(level) + "\n");
    file.close();
    ChildOptions options;
    options.arguments
        = {"tsql", "-H", "127.0.0.1", "-p", std::to_string(port), "-U", "sa", "-P", kPassword.toStdString()};
    options.environment = {{"FREETDSCONF", conf.toStdString()}};
    options.pipeInput = true;
    options.mergeErrors = true;
    Child child = startChild(options);
    const std::string input = kQuery.toStdString() + "\ngo\nexit\n";
    EXPECT_EQ(::write(child.input, input.data(), input.size()), ssize_t(input.size()));
    ::close(child.input);
    const std::string output = readUntil(child.output, "\x04never", std::chrono::seconds(20));
    ::close(child.output);
    waitForChild(child.pid, std::chrono::seconds(5));
    return output;
}

class EncryptedLogin : public ::testing::Test {
protected:
    static void SetUpTestSuite() { FreeTdsSession::initializeLibrary(); }
};

TEST_F(EncryptedLogin, ServersThatCanEncryptGetTheLoginAndTheWorkEncrypted)
{
    for (const std::string mode : {"available", "forced"}) {
        SCOPED_TRACE(mode);
        SqlemuProcess server(serverIn(mode));
        ASSERT_TRUE(server.start()) << server.error();
        Tap tap(server.port());
        DbConnection connection;
        connection.setConnectionString(saThrough(tap.port()));
        ASSERT_NO_THROW(connection.open());
        EXPECT_EQ(databaseNames(connection).first(), QStringLiteral("master"));
        connection.close();

        const auto seen = tap.connections();
        ASSERT_EQ(seen.size(), 1u);
        const Tap::Connection &c = seen.front();
        EXPECT_EQ(encryptionOption(c.toServer), 1) << "the client asks for encryption";
        // PRELOGIN, then the handshake wrapped in PRELOGIN packets, then only
        // TLS records: no LOGIN7, no batch in clear text.
        for (int type : clearPacketTypes(c.toServer))
            EXPECT_EQ(type, 0x12);
        EXPECT_FALSE(contains(c.toServer, scrambled(kPassword)));
        EXPECT_FALSE(contains(c.toServer, utf16(kPassword)));
        EXPECT_FALSE(contains(c.toServer, utf16(QStringLiteral("sysdatabases"))));
        EXPECT_FALSE(contains(c.toClient, utf16(QStringLiteral("tempdb"))));
    }
}

TEST_F(EncryptedLogin, AClientAskingOnlyForItsLoginGetsLoginOnlyEncryption)
{
    // What a real server does for clients that ask less than the program:
    // "request" encrypts the login alone, "off" nothing. The second case also
    // shows that the tap does see a login in clear text when there is one.
    SqlemuProcess server(serverIn("available"));
    ASSERT_TRUE(server.start()) << server.error();
    Tap tap(server.port());
    QTemporaryDir dir;
    EXPECT_NE(tsqlWithEncryption("request", tap.port(), dir).find("tempdb"), std::string::npos);
    EXPECT_NE(tsqlWithEncryption("off", tap.port(), dir).find("tempdb"), std::string::npos);

    const auto seen = tap.connections();
    ASSERT_EQ(seen.size(), 2u);
    const Tap::Connection &loginOnly = seen[0];
    EXPECT_EQ(encryptionOption(loginOnly.toServer), 0);
    EXPECT_EQ(encryptionOption(loginOnly.toClient), 0);
    EXPECT_FALSE(contains(loginOnly.toServer, scrambled(kPassword)));
    EXPECT_TRUE(contains(loginOnly.toServer, utf16(QStringLiteral("sysdatabases"))));
    EXPECT_TRUE(contains(loginOnly.toClient, utf16(QStringLiteral("tempdb"))));

    const Tap::Connection &clear = seen[1];
    EXPECT_EQ(encryptionOption(clear.toClient), 2);
    const auto types = clearPacketTypes(clear.toServer);
    EXPECT_NE(std::find(types.begin(), types.end(), 0x10), types.end());
    EXPECT_TRUE(contains(clear.toServer, scrambled(kPassword)));
}

TEST_F(EncryptedLogin, AServerThatCannotEncryptIsRefusedBeforeAnyLogin)
{
    SqlemuProcess server(serverIn("not-supported"));
    ASSERT_TRUE(server.start()) << server.error();
    Tap tap(server.port());

    // Through the settings file, as the setup window connects: false, and
    // the file is left as it was.
    QTemporaryDir dir;
    const QString ini = settingsFilePath(QStringLiteral("InitPrg.ini"));
    QFile::remove(ini);
    {
        ProfileFile file(ini);
        file.writeString(QStringLiteral("DataBase"), QStringLiteral("Server"),
                         QStringLiteral("127.0.0.1,%1").arg(tap.port()));
        file.writeString(QStringLiteral("DataBase"), QStringLiteral("Type"), QStringLiteral("SQL"));
        file.writeString(QStringLiteral("DataBase"), QStringLiteral("User"), QStringLiteral("sa"));
        file.writeString(QStringLiteral("DataBase"), QStringLiteral("Pass"), kPassword);
    }
    QFile before(ini);
    ASSERT_TRUE(before.open(QIODevice::ReadOnly));
    const QByteArray settings = before.readAll();
    before.close();

    TDMMain module;
    EXPECT_FALSE(ConnectFromIni(module.ADOConnection1, QStringLiteral("DataBase"), QStringLiteral("InitPrg.ini")));
    EXPECT_FALSE(module.ADOConnection1.connected());

    DbConnection connection;
    connection.setConnectionString(saThrough(tap.port()));
    try {
        connection.open();
        ADD_FAILURE() << "logged in to a server that cannot encrypt";
    } catch (const DatabaseError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("رمزنگاری"))) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(QStringLiteral("127.0.0.1:%1").arg(tap.port())));
    }
    EXPECT_FALSE(connection.connected());

    const auto seen = tap.connections();
    ASSERT_GE(seen.size(), 1u);
    for (const Tap::Connection &c : seen) {
        for (int type : clearPacketTypes(c.toServer))
            EXPECT_EQ(type, 0x12) << "only PRELOGIN reaches the server";
        EXPECT_FALSE(contains(c.toServer, scrambled(kPassword)));
        EXPECT_FALSE(contains(c.toServer, utf16(QStringLiteral("sa"))));
    }
    QFile after(ini);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), settings);
    after.close();
    QFile::remove(ini);
    // The server itself is untouched and serves a client that accepts clear
    // text.
    EXPECT_NE(tsqlWithEncryption("off", server.port(), dir).find("tempdb"), std::string::npos);
}

TEST_F(EncryptedLogin, APreLoginAnswerRewrittenInTransitIsRefused)
{
    SqlemuProcess server(serverIn("available"));
    ASSERT_TRUE(server.start()) << server.error();
    Tap tap(server.port());
    tap.rewrite = [](Bytes &answer) {
        for (std::size_t at = 8; at + 5 <= answer.size() && answer[at] != 0xFF; at += 5) {
            if (answer[at] == 0x01)
                answer[8 + ((answer[at + 1] << 8) | answer[at + 2])] = 0x02; // "not supported"
        }
    };
    DbConnection connection;
    connection.setConnectionString(saThrough(tap.port()));
    EXPECT_THROW(connection.open(), DatabaseError);
    for (const Tap::Connection &c : tap.connections()) {
        for (int type : clearPacketTypes(c.toServer))
            EXPECT_EQ(type, 0x12);
        EXPECT_FALSE(contains(c.toServer, scrambled(kPassword)));
    }
    EXPECT_TRUE(server.traceLines().empty());
}

TEST_F(EncryptedLogin, TheServerUsesTheCertificateItIsGiven)
{
    QTemporaryDir dir;
    const std::string cert = dir.filePath(QStringLiteral("cert.pem")).toStdString();
    const std::string key = dir.filePath(QStringLiteral("key.pem")).toStdString();
    const std::string otherKey = dir.filePath(QStringLiteral("other.pem")).toStdString();
    for (const std::string &k : {key, otherKey}) {
        // openssl req, its chatter silenced.
        ChildOptions make;
        make.arguments = {"sh", "-c", "exec \"$@\" >/dev/null 2>&1", "sh", "openssl", "req", "-x509", "-nodes"};
        const std::vector<std::string> request = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
                                                  "-days",   "2",  "-subj",    "/CN=tarnel-test-server",
                                                  "-keyout", k,    "-out",     k == key ? cert : k + ".crt"};
        make.arguments.insert(make.arguments.end(), request.begin(), request.end());
        const Child child = startChild(make);
        ASSERT_EQ(waitForChild(child.pid, std::chrono::seconds(30)), 0);
    }
    SqlemuOptions options = serverIn("forced");
    options.extraArguments.insert(options.extraArguments.end(), {"--tls-cert", cert, "--tls-key", key});
    SqlemuProcess server(options);
    ASSERT_TRUE(server.start()) << server.error();
    EXPECT_NE(server.standardError().find("CN=tarnel-test-server"), std::string::npos) << server.standardError();
    DbConnection connection;
    connection.setConnectionString(saThrough(server.port()));
    EXPECT_NO_THROW(connection.open());

    // A key that is not the certificate's stops the server before it serves.
    options.extraArguments.back() = otherKey;
    SqlemuProcess mismatched(options);
    EXPECT_FALSE(mismatched.start());
    EXPECT_NE(mismatched.standardError().find("cannot load the key " + otherKey), std::string::npos)
        << mismatched.standardError();
}

TEST_F(EncryptedLogin, WindowsAuthenticationWorksOverForcedEncryption)
{
    const int port = freeLoopbackPort(SOCK_STREAM);
    KerberosRealm realm({port});
    ASSERT_TRUE(realm.start()) << realm.error();
    realm.applyToThisProcess();
    SqlemuOptions options = realm.serverOptions(port);
    options.extraArguments = {"--force-encryption"};
    SqlemuProcess server(options);
    ASSERT_TRUE(server.start()) << server.error();
    DbConnection connection;
    connection.setConnectionString(BuildConnectionString(QStringLiteral("127.0.0.1,%1").arg(port),
                                                         QStringLiteral("WIN"), QString(), QString(),
                                                         QStringLiteral("master")));
    ASSERT_NO_THROW(connection.open());
    EXPECT_EQ(databaseNames(connection).size(), 4);
    EXPECT_NE(server.standardError().find("encrypted connection, TLS"), std::string::npos) << server.standardError();
}

} // namespace
