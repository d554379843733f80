#pragma once

// PRELOGIN: the client's options in, the server's answer out. The answer
// always says encryption is not supported (clients then log in in clear text)
// and always carries MARS, without which FreeTDS falls back to TDS 7.1.

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

Bytes buildPreLoginResponse(const ProductVersion &version, bool instanceAccepted = true);

} // namespace sqlemu::tds
