#include "tds/login7.h"

#include "tds/text_codec.h"

#include <algorithm>
#include <array>

namespace sqlemu::tds {

namespace {

constexpr std::size_t kMaxLogin7 = 128 * 1024 - 1;

std::uint8_t swapNibbles(std::uint8_t b)
{
    return static_cast<std::uint8_t>((b << 4) | (b >> 4));
}

// A variable field: offset and length in characters, from the start of LOGIN7.
std::span<const std::uint8_t> field(std::span<const std::uint8_t> payload, std::size_t offset, std::size_t byteLength)
{
    if (byteLength == 0)
        return {};
    if (offset > payload.size() || byteLength > payload.size() - offset)
        throw MalformedInput("LOGIN7 field outside the packet");
    return payload.subspan(offset, byteLength);
}

} // namespace

Login7Request parseLogin7(std::span<const std::uint8_t> payload)
{
    ByteReader r(payload);
    std::uint32_t length = r.u32le();
    if (length > payload.size() || length > kMaxLogin7 || length < 86)
        throw MalformedInput("LOGIN7 length does not match the packet");
    payload = payload.first(length);
    Login7Request login;
    login.tdsVersion = r.u32le();
    login.packetSize = r.u32le();
    r.skip(4); // client program version
    login.clientPid = r.u32le();
    r.skip(4); // connection id
    login.optionFlags1 = r.u8();
    login.optionFlags2 = r.u8();
    login.typeFlags = r.u8();
    login.optionFlags3 = r.u8();
    r.skip(4); // time zone
    login.clientLcid = r.u32le();

    std::array<std::pair<std::uint16_t, std::uint16_t>, 9> fields{};
    for (auto &f : fields) {
        f.first = r.u16le();
        f.second = r.u16le();
    }
    auto text = [&](int index) {
        // Lengths count UTF-16 units.
        return utf16leToUtf8(field(payload, fields[index].first, std::size_t(fields[index].second) * 2));
    };
    login.hostName = text(0);
    login.userName = text(1);
    login.password = decodeLoginPassword(field(payload, fields[2].first, std::size_t(fields[2].second) * 2));
    login.appName = text(3);
    login.serverName = text(4);
    login.libraryName = text(6);
    login.language = text(7);
    login.database = text(8);

    r.skip(6); // client id (MAC address)
    std::uint16_t sspiOffset = r.u16le();
    std::uint32_t sspiLength = r.u16le();
    r.skip(4); // attach db file
    if (length >= 94 && login.tdsVersion >= TdsVersion::V7_2 && r.remaining() >= 8) {
        r.skip(4); // change password
        std::uint32_t longLength = r.u32le();
        if (sspiLength == 0xFFFF)
            sspiLength = longLength;
    }
    auto sspi = field(payload, sspiOffset, sspiLength);
    login.sspi.assign(sspi.begin(), sspi.end());
    return login;
}

std::string decodeLoginPassword(std::span<const std::uint8_t> scrambled)
{
    Bytes plain(scrambled.size());
    std::transform(scrambled.begin(), scrambled.end(), plain.begin(),
                   [](std::uint8_t b) { return swapNibbles(static_cast<std::uint8_t>(b ^ 0xA5)); });
    return utf16leToUtf8(plain);
}

Bytes encodeLoginPassword(const std::string &utf8)
{
    Bytes bytes = utf8ToUtf16le(utf8);
    for (auto &b : bytes)
        b = static_cast<std::uint8_t>(swapNibbles(b) ^ 0xA5);
    return bytes;
}

std::uint32_t negotiateTdsVersion(std::uint32_t client, std::uint32_t serverMax)
{
    // Clients write the version little-endian, but the values compare as
    // 0x7X... in both; anything unknown is treated as the nearest older one.
    static constexpr std::array<std::uint32_t, 6> known = {TdsVersion::V7_0,  TdsVersion::V7_1,  TdsVersion::V7_2,
                                                           TdsVersion::V7_3A, TdsVersion::V7_3B, TdsVersion::V7_4};
    std::uint32_t chosen = TdsVersion::V7_1;
    for (auto v : known) {
        if (v <= client && v <= serverMax)
            chosen = v;
    }
    return chosen;
}

} // namespace sqlemu::tds
