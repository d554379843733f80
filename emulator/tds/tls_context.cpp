#include "tds/tls_context.h"

#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace sqlemu::tds {

namespace {

template <typename T, void (*Free)(T *)> struct Deleter {
    void operator()(T *p) const { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertificatePtr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using NumberPtr = std::unique_ptr<BIGNUM, Deleter<BIGNUM, BN_free>>;

std::string subjectLine(X509 *certificate)
{
    char buffer[512] = {};
    if (certificate)
        X509_NAME_oneline(X509_get_subject_name(certificate), buffer, sizeof buffer);
    return buffer;
}

} // namespace

std::string tlsLibraryError(const std::string &fallback)
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return fallback;
    char buffer[256];
    ERR_error_string_n(code, buffer, sizeof buffer);
    return fallback + ": " + buffer;
}

TlsContext::TlsContext()
{
    m_context = SSL_CTX_new(TLS_server_method());
    if (!m_context)
        throw TlsError(tlsLibraryError("cannot set up TLS"));
    // TDS 7 carries the handshake inside PRELOGIN packets, where SQL Server
    // speaks TLS 1.2; clients drop TLS after a login-only exchange, so the
    // server must send nothing after its handshake they are not waiting for:
    // no session tickets, no renegotiation.
    SSL_CTX_set_min_proto_version(m_context, TLS1_2_VERSION);
    SSL_CTX_set_max_proto_version(m_context, TLS1_2_VERSION);
    SSL_CTX_set_options(m_context, SSL_OP_NO_TICKET | SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE);
    SSL_CTX_set_session_cache_mode(m_context, SSL_SESS_CACHE_OFF);
}

TlsContext::~TlsContext()
{
    SSL_CTX_free(m_context);
}

std::unique_ptr<TlsContext> TlsContext::fromFiles(const std::string &certificateFile, const std::string &keyFile)
{
    std::unique_ptr<TlsContext> context(new TlsContext);
    if (SSL_CTX_use_certificate_chain_file(context->m_context, certificateFile.c_str()) != 1)
        throw TlsError(tlsLibraryError("cannot load the certificate " + certificateFile));
    if (SSL_CTX_use_PrivateKey_file(context->m_context, keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
        throw TlsError(tlsLibraryError("cannot load the key " + keyFile));
    if (SSL_CTX_check_private_key(context->m_context) != 1)
        throw TlsError(
            tlsLibraryError("the key " + keyFile + " does not belong to the certificate " + certificateFile));
    context->m_subject = subjectLine(SSL_CTX_get0_certificate(context->m_context));
    return context;
}

std::unique_ptr<TlsContext> TlsContext::selfSigned(const std::string &commonName)
{
    std::unique_ptr<TlsContext> context(new TlsContext);
    KeyPtr key(EVP_EC_gen("P-256"));
    CertificatePtr certificate(X509_new());
    NumberPtr serial(BN_new());
    if (!key || !certificate || !serial)
        throw TlsError(tlsLibraryError("cannot make a key"));
    bool ok = X509_set_version(certificate.get(), 2) == 1
        && BN_rand(serial.get(), 64, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) == 1
        && BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(certificate.get())) != nullptr
        && X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -24L * 3600) != nullptr
        && X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 365L * 24 * 3600) != nullptr
        && X509_set_pubkey(certificate.get(), key.get()) == 1;
    X509_NAME *name = X509_get_subject_name(certificate.get());
    ok = ok
        && X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                      reinterpret_cast<const unsigned char *>(commonName.c_str()), -1, -1, 0)
            == 1
        && X509_set_issuer_name(certificate.get(), name) == 1
        && X509_sign(certificate.get(), key.get(), EVP_sha256()) > 0
        && SSL_CTX_use_certificate(context->m_context, certificate.get()) == 1
        && SSL_CTX_use_PrivateKey(context->m_context, key.get()) == 1;
    if (!ok)
        throw TlsError(tlsLibraryError("cannot make a self-signed certificate"));
    context->m_subject = subjectLine(certificate.get());
    return context;
}

} // namespace sqlemu::tds
