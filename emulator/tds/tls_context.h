#pragma once

// The server side of TLS, shared by every connection of the process: the
// certificate and key an administrator gave, or a self-signed pair made at
// start, as SQL Server makes one when it has none.

#include <memory>
#include <stdexcept>
#include <string>

struct ssl_ctx_st;

namespace sqlemu::tds {

class TlsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TlsContext {
public:
    ~TlsContext();
    TlsContext(const TlsContext &) = delete;
    TlsContext &operator=(const TlsContext &) = delete;

    // A PEM certificate (its chain may follow it in the file) and its PEM key.
    // Throws TlsError naming what did not load.
    static std::unique_ptr<TlsContext> fromFiles(const std::string &certificateFile, const std::string &keyFile);
    // A fresh self-signed certificate for commonName, valid from yesterday
    // for a year. Throws TlsError.
    static std::unique_ptr<TlsContext> selfSigned(const std::string &commonName);

    ssl_ctx_st *native() const { return m_context; }
    // The subject of the certificate in use, one line, for the server's log.
    const std::string &subject() const { return m_subject; }

private:
    TlsContext();
    ssl_ctx_st *m_context = nullptr;
    std::string m_subject;
};

// The newest error of the TLS library as a line of text; clears its queue.
std::string tlsLibraryError(const std::string &fallback);

} // namespace sqlemu::tds
