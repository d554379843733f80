#include "tds/tls_channel.h"

#include <climits>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

namespace sqlemu::tds {

TlsChannel::TlsChannel(const TlsContext &context)
{
    m_ssl = SSL_new(context.native());
    m_in = BIO_new(BIO_s_mem());
    m_out = BIO_new(BIO_s_mem());
    if (!m_ssl || !m_in || !m_out) {
        BIO_free(m_in);
        BIO_free(m_out);
        SSL_free(m_ssl);
        throw TlsError(tlsLibraryError("cannot start TLS"));
    }
    // An empty memory buffer means "wait for more", not end of stream.
    BIO_set_mem_eof_return(m_in, -1);
    SSL_set_bio(m_ssl, m_in, m_out);
    SSL_set_accept_state(m_ssl);
}

TlsChannel::~TlsChannel()
{
    SSL_free(m_ssl);
}

void TlsChannel::feed(std::span<const std::uint8_t> in)
{
    while (!in.empty()) {
        const int n = BIO_write(m_in, in.data(), static_cast<int>(std::min<std::size_t>(in.size(), INT_MAX)));
        if (n <= 0)
            throw TlsError("out of memory for TLS records");
        in = in.subspan(static_cast<std::size_t>(n));
    }
}

void TlsChannel::drain(Bytes &out)
{
    std::uint8_t buffer[16384];
    int n;
    while ((n = BIO_read(m_out, buffer, sizeof buffer)) > 0)
        out.insert(out.end(), buffer, buffer + n);
}

TlsChannel::Step TlsChannel::handshake(std::span<const std::uint8_t> in, Bytes &out)
{
    feed(in);
    ERR_clear_error();
    const int result = SSL_do_handshake(m_ssl);
    drain(out);
    if (result == 1)
        return Step::Done;
    if (SSL_get_error(m_ssl, result) == SSL_ERROR_WANT_READ)
        return Step::NeedMore;
    throw TlsError(tlsLibraryError("TLS handshake failed"));
}

bool TlsChannel::decrypt(std::span<const std::uint8_t> in, Bytes &plain)
{
    feed(in);
    std::uint8_t buffer[16384];
    while (true) {
        ERR_clear_error();
        const int n = SSL_read(m_ssl, buffer, sizeof buffer);
        if (n > 0) {
            plain.insert(plain.end(), buffer, buffer + n);
            continue;
        }
        switch (SSL_get_error(m_ssl, n)) {
        case SSL_ERROR_WANT_READ:
            return true;
        case SSL_ERROR_ZERO_RETURN:
            return false;
        default:
            throw TlsError(tlsLibraryError("a TLS record did not decrypt"));
        }
    }
}

Bytes TlsChannel::encrypt(std::span<const std::uint8_t> plain)
{
    Bytes out;
    while (!plain.empty()) {
        ERR_clear_error();
        const int n = SSL_write(m_ssl, plain.data(), static_cast<int>(std::min<std::size_t>(plain.size(), 1 << 20)));
        if (n <= 0)
            throw TlsError(tlsLibraryError("cannot encrypt"));
        plain = plain.subspan(static_cast<std::size_t>(n));
        drain(out);
    }
    return out;
}

Bytes TlsChannel::takeUnread()
{
    Bytes rest;
    std::uint8_t buffer[16384];
    int n;
    while ((n = BIO_read(m_in, buffer, sizeof buffer)) > 0)
        rest.insert(rest.end(), buffer, buffer + n);
    return rest;
}

std::string TlsChannel::description() const
{
    return std::string(SSL_get_version(m_ssl)) + " " + SSL_get_cipher_name(m_ssl);
}

} // namespace sqlemu::tds
