#pragma once

// PRELOGIN: the client's options in, the server's answer out. The answer
// settles encryption the way SQL Server does and always carries MARS, without
// which FreeTDS falls back to TDS 7.1.

#include "tds/byte_io.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace sqlemu::tds {

namespace PreLoginOption {
constexpr std::uint8_t Version = 0x00;
constexpr std::uint8_t Encryption = 0x01;
constexpr std::uint8_t InstOpt = 0x02;
constexpr std::uint8_t ThreadId = 0x03;
constexpr std::uint8_t Mars = 0x04;
constexpr std::uint8_t TraceId = 0x05;
constexpr std::uint8_t FedAuthRequired = 0x06;
constexpr std::uint8_t Terminator = 0xFF;
} // namespace PreLoginOption

namespace Encryption {
constexpr std::uint8_t Off = 0x00;
constexpr std::uint8_t On = 0x01;
constexpr std::uint8_t NotSupported = 0x02;
constexpr std::uint8_t Required = 0x03;
} // namespace Encryption

struct PreLoginRequest {
    std::optional<std::uint8_t> encryption;
    std::string instance; // INSTOPT, empty when not sent
    bool mars = false;
};

// Throws MalformedInput.
PreLoginRequest parsePreLogin(std::span<const std::uint8_t> payload);

struct ProductVersion {
    std::uint8_t major = 9;
    std::uint8_t minor = 0;
    std::uint16_t build = 1399;
};

// How this server is set up for encryption.
enum class EncryptionSetting {
    NotSupported, // no certificate: every client logs in in clear text
    Available, // a certificate; the client decides how much is encrypted
    Forced, // a certificate, and nothing travels in clear text
};

// What the connection does after the PRELOGIN answer.
enum class TlsScope {
    None, // clear text throughout
    LoginOnly, // TLS for the LOGIN7 message, clear text from the login response on
    Full, // TLS for everything after the handshake
};

struct EncryptionChoice {
    std::uint8_t answer = Encryption::NotSupported;
    TlsScope scope = TlsScope::None;
};

// The server's ENCRYPTION answer to the client's (none: the client sent no
// such option, as a client without TLS may). A server that forces encryption
// answers "required" even to a client that said it cannot encrypt, and then
// waits for a handshake all the same: a client that sends anything else is
// closed unheard.
EncryptionChoice chooseEncryption(std::optional<std::uint8_t> client, EncryptionSetting setting);

Bytes buildPreLoginResponse(const ProductVersion &version, std::uint8_t encryption = Encryption::NotSupported,
                            bool instanceAccepted = true);

} // namespace sqlemu::tds
