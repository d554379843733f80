#pragma once

// One connection's TLS, over bytes rather than a socket: TDS 7 carries the
// handshake inside PRELOGIN packets and only then sends records on their own,
// so the session moves the bytes and this object only transforms them.

#include "tds/byte_io.h"
#include "tds/tls_context.h"

#include <span>

struct ssl_st;
struct bio_st;

namespace sqlemu::tds {

class TlsChannel {
public:
    // Throws TlsError.
    explicit TlsChannel(const TlsContext &context);
    ~TlsChannel();
    TlsChannel(const TlsChannel &) = delete;
    TlsChannel &operator=(const TlsChannel &) = delete;

    enum class Step { NeedMore, Done };
    // Takes the client's handshake bytes and appends what goes back to it to
    // out. Throws TlsError when the handshake fails (out then holds the
    // alert, if any).
    Step handshake(std::span<const std::uint8_t> in, Bytes &out);
    // Takes records from the client and appends their plain text to plain;
    // an incomplete record waits for the next call. False once the client
    // closed TLS. Throws TlsError for a record that does not decrypt.
    bool decrypt(std::span<const std::uint8_t> in, Bytes &plain);
    // The records that carry plain to the client.
    Bytes encrypt(std::span<const std::uint8_t> plain);
    // Bytes taken in that no record has used yet, handed back when the
    // connection leaves TLS.
    Bytes takeUnread();
    // "TLSv1.2 ECDHE-ECDSA-AES256-GCM-SHA384", for the server's log.
    std::string description() const;

private:
    void feed(std::span<const std::uint8_t> in);
    void drain(Bytes &out);

    ssl_st *m_ssl = nullptr;
    bio_st *m_in = nullptr; // owned by m_ssl
    bio_st *m_out = nullptr; // owned by m_ssl
};

} // namespace sqlemu::tds
