// sqlemu's encryption: the PRELOGIN answer to every kind of client, and a
// session driven over a socket pair by a TLS client made of memory buffers,
// which wraps its handshake in PRELOGIN packets as TDS 7 clients do.
#include "fake_engine.h"
#include "tds/command_line.h"
#include "tds/instance_context.h"
#include "tds/prelogin.h"
#include "tds/session.h"
#include "tds/tls_context.h"

#include "support/tds_wire_client.h"

#include <gtest/gtest.h>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace sqlemu;
using namespace sqlemu::tds;

namespace {

TEST(TdsEncryptionAnswer, FollowsTheServersSettingAndTheClientsWish)
{
    using E = EncryptionSetting;
    const std::optional<std::uint8_t> none;
    struct Case {
        E setting;
        std::optional<std::uint8_t> client;
        std::uint8_t answer;
        TlsScope scope;
    };
    const Case cases[] = {
        {E::NotSupported, Encryption::On, Encryption::NotSupported, TlsScope::None},
        {E::NotSupported, Encryption::Off, Encryption::NotSupported, TlsScope::None},
        {E::Available, Encryption::Off, Encryption::Off, TlsScope::LoginOnly},
        {E::Available, Encryption::On, Encryption::On, TlsScope::Full},
        {E::Available, Encryption::Required, Encryption::On, TlsScope::Full},
        {E::Available, 0x81, Encryption::On, TlsScope::Full}, // client-certificate bit set
        {E::Available, Encryption::NotSupported, Encryption::NotSupported, TlsScope::None},
        {E::Available, none, Encryption::NotSupported, TlsScope::None},
        {E::Forced, Encryption::Off, Encryption::Required, TlsScope::Full},
        {E::Forced, Encryption::On, Encryption::On, TlsScope::Full},
        {E::Forced, Encryption::NotSupported, Encryption::Required, TlsScope::Full},
        {E::Forced, none, Encryption::Required, TlsScope::Full},
    };
    for (const Case &c : cases) {
        const EncryptionChoice choice = chooseEncryption(c.client, c.setting);
        EXPECT_EQ(choice.answer, c.answer) << int(c.setting) << " " << int(c.client.value_or(0xEE));
        EXPECT_EQ(choice.scope, c.scope) << int(c.setting) << " " << int(c.client.value_or(0xEE));
    }
    const PreLoginRequest answer = parsePreLogin(buildPreLoginResponse(ProductVersion{}, Encryption::Required));
    EXPECT_EQ(answer.encryption, Encryption::Required);
}

// A TLS client over memory buffers; it trusts any certificate, as FreeTDS
// does by default.
class MemoryTlsClient {
public:
    MemoryTlsClient()
    {
        m_context = SSL_CTX_new(TLS_client_method());
        SSL_CTX_set_verify(m_context, SSL_VERIFY_NONE, nullptr);
        m_ssl = SSL_new(m_context);
        m_in = BIO_new(BIO_s_mem());
        m_out = BIO_new(BIO_s_mem());
        BIO_set_mem_eof_return(m_in, -1);
        SSL_set_bio(m_ssl, m_in, m_out);
        SSL_set_connect_state(m_ssl);
    }
    ~MemoryTlsClient()
    {
        SSL_free(m_ssl);
        SSL_CTX_free(m_context);
    }
    // True once the handshake is done; out gets what goes to the server.
    bool step(const Bytes &in, Bytes &out)
    {
        if (!in.empty())
            BIO_write(m_in, in.data(), static_cast<int>(in.size()));
        const int r = SSL_do_handshake(m_ssl);
        drain(out);
        if (r != 1 && SSL_get_error(m_ssl, r) != SSL_ERROR_WANT_READ)
            throw std::runtime_error("client handshake failed");
        return r == 1;
    }
    Bytes seal(const Bytes &plain)
    {
        SSL_write(m_ssl, plain.data(), static_cast<int>(plain.size()));
        Bytes out;
        drain(out);
        return out;
    }
    Bytes open(const Bytes &records)
    {
        BIO_write(m_in, records.data(), static_cast<int>(records.size()));
        Bytes plain;
        unsigned char buffer[16384];
        int n;
        while ((n = SSL_read(m_ssl, buffer, sizeof buffer)) > 0)
            plain.insert(plain.end(), buffer, buffer + n);
        return plain;
    }
    std::string version() const { return SSL_get_version(m_ssl); }

private:
    void drain(Bytes &out)
    {
        unsigned char buffer[16384];
        int n;
        while ((n = BIO_read(m_out, buffer, sizeof buffer)) > 0)
            out.insert(out.end(), buffer, buffer + n);
    }
    SSL_CTX *m_context = nullptr;
    SSL *m_ssl = nullptr;
    BIO *m_in = nullptr;
    BIO *m_out = nullptr;
};

class TdsTlsSession : public ::testing::Test {
protected:
    void start(EncryptionSetting setting)
    {
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        client = fds[0];
        server = fds[1];
        // A server that answers otherwise than expected fails the test, not hangs it.
        const timeval patience{5, 0};
        ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
        tls = TlsContext::selfSigned("SSL_Self_Signed_Fallback");
        instance.engine = &engine;
        instance.config.serverName = "VM";
        instance.policy = LoginPolicy{
            {{"sa", SqlLogin{"pw", ServerRole::SysAdmin}}}, nullptr, *ServerVersion::fromName("16.0"), "VM"};
        instance.encryption = setting;
        instance.tls = tls.get();
        thread = std::thread([this] { Session(server, instance).run(); });
    }
    void TearDown() override
    {
        ::shutdown(client, SHUT_RDWR);
        if (thread.joinable())
            thread.join();
        ::close(client);
        ::close(server);
    }

    void send(const Bytes &bytes) { ASSERT_EQ(::write(client, bytes.data(), bytes.size()), ssize_t(bytes.size())); }
    Bytes readSome()
    {
        unsigned char buffer[65536];
        const ssize_t n = ::read(client, buffer, sizeof buffer);
        return n > 0 ? Bytes(buffer, buffer + n) : Bytes{};
    }
    bool readExactly(std::uint8_t *to, std::size_t n)
    {
        while (n > 0) {
            const ssize_t got = ::read(client, to, n);
            if (got <= 0)
                return false;
            to += got;
            n -= static_cast<std::size_t>(got);
        }
        return true;
    }
    Bytes readPacket()
    {
        Bytes p(8);
        if (!readExactly(p.data(), 8))
            return {};
        p.resize((p[2] << 8) | p[3]);
        if (p.size() < 8)
            return {};
        return readExactly(p.data() + 8, p.size() - 8) ? p : Bytes{};
    }
    // PRELOGIN with that ENCRYPTION value; the server's answer to it.
    std::uint8_t preLogin(std::uint8_t encryption)
    {
        Bytes payload = sqlemu::test::preLogin();
        payload[27] = encryption; // after five option entries and VERSION
        send(sqlemu::test::message(0x12, payload));
        const Bytes answer = readPacket();
        EXPECT_EQ(answer.at(0), 0x04);
        return *parsePreLogin(std::span(answer).subspan(8)).encryption;
    }
    // The handshake in PRELOGIN packets both ways.
    void handshake()
    {
        Bytes in;
        while (true) {
            Bytes out;
            const bool done = tlsClient.step(in, out);
            if (!out.empty())
                send(sqlemu::test::packet(0x12, out));
            if (done)
                return;
            const Bytes p = readPacket();
            ASSERT_FALSE(p.empty()) << "the server closed during the handshake";
            EXPECT_EQ(p[0], 0x12) << "handshake records travel in PRELOGIN packets";
            in.assign(p.begin() + 8, p.end());
        }
    }
    // Reads records until a whole TDS message has been decrypted.
    Bytes readSealedMessage()
    {
        Bytes plain;
        while (true) {
            for (std::size_t at = 0; at + 8 <= plain.size();) {
                const std::size_t length = (plain[at + 2] << 8) | plain[at + 3];
                if (at + length > plain.size())
                    break;
                if (plain[at + 1] & 0x01)
                    return plain;
                at += length;
            }
            const Bytes records = readSome();
            if (records.empty())
                return {};
            const Bytes more = tlsClient.open(records);
            plain.insert(plain.end(), more.begin(), more.end());
        }
    }
    bool serverClosed()
    {
        std::uint8_t b;
        return ::read(client, &b, 1) == 0;
    }
    Bytes loginMessage()
    {
        sqlemu::test::LoginFields f;
        f.password = "pw";
        return sqlemu::test::message(0x10, sqlemu::test::login7(f));
    }

    sqlemu::test::FakeEngine engine;
    InstanceContext instance;
    std::unique_ptr<TlsContext> tls;
    MemoryTlsClient tlsClient;
    int client = -1;
    int server = -1;
    std::thread thread;
};

TEST_F(TdsTlsSession, AClientAskingForEncryptionGetsEverythingEncrypted)
{
    start(EncryptionSetting::Available);
    ASSERT_EQ(preLogin(Encryption::On), Encryption::On);
    handshake();
    EXPECT_EQ(tlsClient.version(), "TLSv1.2");
    send(tlsClient.seal(loginMessage()));
    const auto login = sqlemu::test::readResponse(readSealedMessage());
    ASSERT_NE(login.find(0xAD), nullptr);
    send(tlsClient.seal(sqlemu::test::message(0x01, sqlemu::test::sqlBatch("select 1"))));
    const Bytes sealed = readSome();
    EXPECT_NE(sealed.at(0), 0x04) << "results leave as TLS records, not as clear packets";
    EXPECT_EQ(sqlemu::test::readResponse(tlsClient.open(sealed)).ids(), (std::vector<std::uint8_t>{0x81, 0xD1, 0xFD}));
}

TEST_F(TdsTlsSession, LoginOnlyEncryptionAnswersTheLoginInClearText)
{
    start(EncryptionSetting::Available);
    ASSERT_EQ(preLogin(Encryption::Off), Encryption::Off);
    handshake();
    send(tlsClient.seal(loginMessage()));
    Bytes answer;
    for (Bytes p = readPacket(); !p.empty(); p = readPacket()) {
        answer.insert(answer.end(), p.begin(), p.end());
        if (p[1] & 0x01)
            break;
    }
    ASSERT_NE(sqlemu::test::readResponse(answer).find(0xAD), nullptr);
    send(sqlemu::test::message(0x01, sqlemu::test::sqlBatch("select 1")));
    EXPECT_EQ(readPacket().at(0), 0x04);
}

TEST_F(TdsTlsSession, ForcedEncryptionClosesAClearLoginUnread)
{
    start(EncryptionSetting::Forced);
    ASSERT_EQ(preLogin(Encryption::NotSupported), Encryption::Required);
    send(loginMessage());
    EXPECT_TRUE(serverClosed());
    EXPECT_TRUE(engine.batches.empty());
}

TEST_F(TdsTlsSession, ARecordAlteredOnTheWayEndsTheConnection)
{
    start(EncryptionSetting::Forced);
    ASSERT_EQ(preLogin(Encryption::Off), Encryption::Required);
    handshake();
    Bytes sealed = tlsClient.seal(loginMessage());
    sealed.back() ^= 0x01;
    send(sealed);
    EXPECT_TRUE(serverClosed());
}

TEST(TdsCommandLine, EncryptionIsAvailableUnlessToldOtherwise)
{
    EXPECT_EQ(parseCommandLine({"--data-dir", "d"}).encryption, "available");
    EXPECT_EQ(parseCommandLine({"--data-dir", "d", "--force-encryption"}).encryption, "forced");
    EXPECT_EQ(parseCommandLine({"--data-dir", "d", "--encryption=not-supported"}).encryption, "not-supported");
    const ServerOptions files = parseCommandLine({"--data-dir", "d", "--tls-cert", "c.pem", "--tls-key", "k.pem"});
    EXPECT_EQ(files.tlsCertificate, "c.pem");
    EXPECT_EQ(files.tlsKey, "k.pem");
}

} // namespace
