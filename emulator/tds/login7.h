#pragma once

// LOGIN7: what the client asks for at login. Offsets are checked against the
// packet, the password is decoded, and the SSPI token of an integrated login
// is handed out as it came.

#include "tds/byte_io.h"

#include <cstdint>
#include <span>
#include <string>

namespace sqlemu::tds {

struct Login7Request {
    std::uint32_t tdsVersion = 0; // as the client wrote it, e.g. 0x74000004
    std::uint32_t packetSize = 0; // 0: keep the server's
    std::uint32_t clientPid = 0;
    std::uint8_t optionFlags1 = 0;
    std::uint8_t optionFlags2 = 0;
    std::uint8_t typeFlags = 0;
    std::uint8_t optionFlags3 = 0;
    std::uint32_t clientLcid = 0;
    std::string hostName;
    std::string userName;
    std::string password;
    std::string appName;
    std::string serverName;
    std::string libraryName;
    std::string language;
    std::string database;
    Bytes sspi;

    bool integratedSecurity() const { return (optionFlags2 & 0x80) != 0; }
    // fDatabase: a failure to use the initial database fails the login.
    bool initialDatabaseFatal() const { return (optionFlags1 & 0x40) != 0; }
};

// Throws MalformedInput.
Login7Request parseLogin7(std::span<const std::uint8_t> payload);

// The LOGIN7 password scrambling: swap nibbles, XOR 0xA5 (and back).
std::string decodeLoginPassword(std::span<const std::uint8_t> scrambled);
Bytes encodeLoginPassword(const std::string &utf8);

// TDS versions as LOGIN7 and LOGINACK carry them.
namespace TdsVersion {
constexpr std::uint32_t V7_0 = 0x70000000;
constexpr std::uint32_t V7_1 = 0x71000001;
constexpr std::uint32_t V7_2 = 0x72090002;
constexpr std::uint32_t V7_3A = 0x730A0003;
constexpr std::uint32_t V7_3B = 0x730B0003;
constexpr std::uint32_t V7_4 = 0x74000004;
} // namespace TdsVersion

// The version to acknowledge: the client's, no newer than the server offers,
// and always one that clients know.
std::uint32_t negotiateTdsVersion(std::uint32_t client, std::uint32_t serverMax);

} // namespace sqlemu::tds
