#include "tds/prelogin.h"

#include <vector>

namespace sqlemu::tds {

PreLoginRequest parsePreLogin(std::span<const std::uint8_t> payload)
{
    PreLoginRequest request;
    ByteReader options(payload);
    for (int count = 0;; ++count) {
        if (count > 64)
            throw MalformedInput("too many PRELOGIN options");
        std::uint8_t token = options.u8();
        if (token == PreLoginOption::Terminator)
            break;
        std::uint16_t offset = options.u16be();
        std::uint16_t length = options.u16be();
        if (offset > payload.size() || length > payload.size() - offset)
            throw MalformedInput("PRELOGIN option outside the packet");
        auto data = payload.subspan(offset, length);
        switch (token) {
        case PreLoginOption::Encryption:
            if (!data.empty())
                request.encryption = data[0];
            break;
        case PreLoginOption::InstOpt:
            for (auto b : data) {
                if (b == 0)
                    break;
                request.instance += static_cast<char>(b);
            }
            break;
        case PreLoginOption::Mars:
            request.mars = !data.empty() && data[0] != 0;
            break;
        default:
            break;
        }
    }
    return request;
}

EncryptionChoice chooseEncryption(std::optional<std::uint8_t> client, EncryptionSetting setting)
{
    if (setting == EncryptionSetting::NotSupported)
        return {Encryption::NotSupported, TlsScope::None};
    // The high bit asks for a client certificate, which this server does not
    // take; the rest is the client's wish.
    const std::uint8_t wish = client ? static_cast<std::uint8_t>(*client & 0x7F) : Encryption::NotSupported;
    if (setting == EncryptionSetting::Forced) {
        const bool clientAsked = wish == Encryption::On || wish == Encryption::Required;
        return {clientAsked ? Encryption::On : Encryption::Required, TlsScope::Full};
    }
    switch (wish) {
    case Encryption::Off:
        return {Encryption::Off, TlsScope::LoginOnly};
    case Encryption::On:
    case Encryption::Required:
        return {Encryption::On, TlsScope::Full};
    default:
        return {Encryption::NotSupported, TlsScope::None};
    }
}

Bytes buildPreLoginResponse(const ProductVersion &version, std::uint8_t encryption, bool instanceAccepted)
{
    struct Option {
        std::uint8_t token;
        std::vector<std::uint8_t> data;
    };
    const std::vector<Option> options = {
        {PreLoginOption::Version,
         {version.major, version.minor, static_cast<std::uint8_t>(version.build >> 8),
          static_cast<std::uint8_t>(version.build & 0xFF), 0, 0}},
        {PreLoginOption::Encryption, {encryption}},
        {PreLoginOption::InstOpt, {static_cast<std::uint8_t>(instanceAccepted ? 0 : 1)}},
        {PreLoginOption::ThreadId, {}},
        {PreLoginOption::Mars, {0}},
    };
    ByteWriter out;
    std::uint16_t offset = static_cast<std::uint16_t>(options.size() * 5 + 1);
    for (const auto &option : options) {
        out.u8(option.token);
        out.u16be(offset);
        out.u16be(static_cast<std::uint16_t>(option.data.size()));
        offset += static_cast<std::uint16_t>(option.data.size());
    }
    out.u8(PreLoginOption::Terminator);
    for (const auto &option : options)
        out.bytes(option.data);
    return out.take();
}

} // namespace sqlemu::tds
