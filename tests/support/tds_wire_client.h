#pragma once

// The client side of TDS for tests: builds the packets a client sends and
// reads back the tokens a server answers, independently of the server code
// (only the byte helpers are shared).

#include "engine_interface/engine.h"
#include "tds/byte_io.h"
#include "tds/login7.h"
#include "tds/text_codec.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sqlemu::test {

using sqlemu::tds::ByteReader;
using sqlemu::tds::Bytes;
using sqlemu::tds::ByteWriter;

inline Bytes packet(std::uint8_t type, const Bytes &payload, std::uint8_t status = 0x01)
{
    Bytes out = {type,
                 status,
                 static_cast<std::uint8_t>((payload.size() + 8) >> 8),
                 static_cast<std::uint8_t>((payload.size() + 8) & 0xFF),
                 0,
                 0,
                 1,
                 0};
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

// A message cut into packets of at most size bytes.
inline Bytes message(std::uint8_t type, const Bytes &payload, std::size_t size = 4096, std::uint8_t firstStatus = 0)
{
    Bytes out;
    std::size_t room = size - 8;
    std::size_t offset = 0;
    do {
        std::size_t chunk = std::min(room, payload.size() - offset);
        Bytes part(payload.begin() + offset, payload.begin() + offset + chunk);
        offset += chunk;
        Bytes p = packet(
            type, part,
            static_cast<std::uint8_t>((offset == payload.size() ? 0x01 : 0x00) | (offset == chunk ? firstStatus : 0)));
        out.insert(out.end(), p.begin(), p.end());
    } while (offset < payload.size());
    return out;
}

inline Bytes preLogin()
{
    // VERSION, ENCRYPTION = not supported (this client has no TLS), INSTOPT
    // "MSSQLServer", MARS = 0
    ByteWriter w;
    const std::string instance = "MSSQLServer";
    std::uint16_t offset = 4 * 5 + 1;
    auto option = [&](std::uint8_t token, std::uint16_t length) {
        w.u8(token);
        w.u16be(offset);
        w.u16be(length);
        offset += length;
    };
    option(0, 6);
    option(1, 1);
    option(2, static_cast<std::uint16_t>(instance.size() + 1));
    option(4, 1);
    w.u8(0xFF);
    for (int i = 0; i < 6; ++i)
        w.u8(0);
    w.u8(0x02);
    for (char c : instance)
        w.u8(static_cast<std::uint8_t>(c));
    w.u8(0);
    w.u8(0);
    return w.take();
}

struct LoginFields {
    std::uint32_t tdsVersion = 0x74000004;
    std::uint32_t packetSize = 4096;
    std::string host = "testhost";
    std::string user = "sa";
    std::string password;
    std::string app = "tests";
    std::string server = "localhost";
    std::string library = "DB-Library";
    std::string language;
    std::string database;
    Bytes sspi;
    bool integrated = false;
};

inline Bytes login7(const LoginFields &f)
{
    const bool wide = f.tdsVersion >= 0x72000000;
    const std::size_t fixed = wide ? 94 : 86;
    ByteWriter data;
    std::vector<std::pair<std::uint16_t, std::uint16_t>> offsets;
    auto text = [&](const std::string &s, bool scramble = false) {
        Bytes bytes = scramble ? sqlemu::tds::encodeLoginPassword(s) : sqlemu::tds::utf8ToUtf16le(s);
        offsets.emplace_back(static_cast<std::uint16_t>(fixed + data.size()),
                             static_cast<std::uint16_t>(bytes.size() / 2));
        data.bytes(bytes);
    };
    text(f.host);
    text(f.user);
    text(f.password, true);
    text(f.app);
    text(f.server);
    offsets.emplace_back(0, 0); // extension
    text(f.library);
    text(f.language);
    text(f.database);
    std::uint16_t sspiOffset = static_cast<std::uint16_t>(fixed + data.size());
    data.bytes(f.sspi);

    ByteWriter w;
    w.u32le(static_cast<std::uint32_t>(fixed + data.size()));
    w.u32le(f.tdsVersion);
    w.u32le(f.packetSize);
    w.u32le(7);
    w.u32le(1234);
    w.u32le(0);
    w.u8(0xE0);
    w.u8(f.integrated ? 0x83 : 0x03);
    w.u8(0);
    w.u8(0);
    w.u32le(0);
    w.u32le(0x409);
    for (auto [o, l] : offsets) {
        w.u16le(o);
        w.u16le(l);
    }
    for (int i = 0; i < 6; ++i)
        w.u8(0);
    w.u16le(sspiOffset);
    w.u16le(f.sspi.size() >= 0xFFFF ? 0xFFFF : static_cast<std::uint16_t>(f.sspi.size()));
    w.u16le(0);
    w.u16le(0);
    if (wide) {
        w.u16le(0);
        w.u16le(0);
        w.u32le(static_cast<std::uint32_t>(f.sspi.size()));
    }
    w.bytes(data.data());
    return w.take();
}

inline void allHeaders(ByteWriter &w)
{
    w.u32le(22);
    w.u32le(18);
    w.u16le(2);
    w.u64le(0);
    w.u32le(1);
}

inline Bytes sqlBatch(const std::string &text, bool withHeaders = true)
{
    ByteWriter w;
    if (withHeaders)
        allHeaders(w);
    w.utf16(text);
    return w.take();
}

// A transaction-manager request: 5 begins, 7 commits, 8 rolls back (with
// no name and no new transaction after it).
inline Bytes transactionRequest(std::uint16_t type)
{
    ByteWriter w;
    allHeaders(w);
    w.u16le(type);
    if (type == 5)
        w.u8(0); // the server's isolation level
    w.u8(0); // no name
    if (type == 7 || type == 8)
        w.u8(0); // no new transaction
    return w.take();
}

inline void nvarcharParam(ByteWriter &w, const std::string &name, const std::string &value)
{
    w.bVarChar(name);
    w.u8(0);
    Bytes bytes = sqlemu::tds::utf8ToUtf16le(value);
    w.u8(0xE7);
    w.u16le(8000);
    for (std::uint8_t b : {0x01, 0x04, 0xD0, 0x00, 0x00})
        w.u8(b);
    w.u16le(static_cast<std::uint16_t>(bytes.size()));
    w.bytes(bytes);
}

inline void intParam(ByteWriter &w, const std::string &name, std::int32_t value, bool output = false)
{
    w.bVarChar(name);
    w.u8(output ? 0x01 : 0x00);
    w.u8(0x26);
    w.u8(4);
    w.u8(4);
    w.u32le(static_cast<std::uint32_t>(value));
}

// What the server answered, token by token.
struct Token {
    std::uint8_t id = 0;
    std::uint16_t status = 0; // DONE*
    std::uint64_t rowCount = 0; // DONE*
    std::int32_t number = 0; // INFO/ERROR, RETURNSTATUS
    std::uint8_t state = 0;
    std::uint8_t severity = 0;
    std::string text; // INFO/ERROR text, ENVCHANGE new value
    std::string server;
    std::string procedure;
    std::int32_t line = 0;
    std::uint8_t envType = 0;
    Bytes newValue, oldValue; // ENVCHANGE of a transaction
    std::uint32_t tdsVersion = 0; // LOGINACK
    std::vector<std::string> values; // ROW, as text (nvarchar / int columns only)
};

struct Response {
    std::vector<Token> tokens;
    std::vector<std::uint8_t> packetStatuses;

    const Token *find(std::uint8_t id, std::size_t skip = 0) const
    {
        for (const auto &t : tokens) {
            if (t.id == id && skip-- == 0)
                return &t;
        }
        return nullptr;
    }
    std::vector<std::uint8_t> ids() const
    {
        std::vector<std::uint8_t> out;
        for (const auto &t : tokens)
            out.push_back(t.id);
        return out;
    }
};

// Joins the packets of one or more responses and walks their tokens.
// Understands the tokens sqlemu sends for nvarchar and int columns.
inline Response readResponse(const Bytes &packets)
{
    Response response;
    Bytes payload;
    for (std::size_t at = 0; at + 8 <= packets.size();) {
        std::size_t length = (packets[at + 2] << 8) | packets[at + 3];
        response.packetStatuses.push_back(packets[at + 1]);
        payload.insert(payload.end(), packets.begin() + at + 8, packets.begin() + at + length);
        at += length;
    }
    ByteReader r(payload);
    std::vector<std::uint8_t> columnTypes;
    while (!r.atEnd()) {
        Token t;
        t.id = r.u8();
        switch (t.id) {
        case 0xFD:
        case 0xFE:
        case 0xFF:
            t.status = r.u16le();
            r.u16le();
            t.rowCount = r.u64le();
            break;
        case 0xAA:
        case 0xAB: {
            r.u16le();
            t.number = static_cast<std::int32_t>(r.u32le());
            t.state = r.u8();
            t.severity = r.u8();
            t.text = r.usVarChar();
            t.server = r.bVarChar();
            t.procedure = r.bVarChar();
            t.line = static_cast<std::int32_t>(r.u32le());
            break;
        }
        case 0xE3: {
            std::uint16_t length = r.u16le();
            std::size_t end = r.position() + length;
            t.envType = r.u8();
            if (t.envType >= 8 && t.envType <= 10) {
                // A transaction's descriptor, as B_VARBYTE: new, then old.
                for (Bytes *value : {&t.newValue, &t.oldValue}) {
                    const auto bytes = r.bytes(r.u8());
                    value->assign(bytes.begin(), bytes.end());
                }
            } else if (t.envType != 7) {
                t.text = r.bVarChar();
            }
            r.seek(end);
            break;
        }
        case 0xAD: {
            std::uint16_t length = r.u16le();
            std::size_t end = r.position() + length;
            r.u8();
            t.tdsVersion = r.u32be();
            t.text = r.bVarChar();
            r.seek(end);
            break;
        }
        case 0xED:
            t.text = std::to_string(r.u16le());
            r.skip(std::stoul(t.text));
            break;
        case 0x79:
            t.number = static_cast<std::int32_t>(r.u32le());
            break;
        case 0xAC: {
            t.number = r.u16le(); // ordinal
            t.text = r.bVarChar();
            t.state = r.u8();
            r.u32le();
            r.u16le();
            std::uint8_t type = r.u8();
            if (type == 0x26) {
                r.u8();
                std::uint8_t n = r.u8();
                std::int64_t v = 0;
                for (int i = 0; i < n; ++i)
                    v |= static_cast<std::int64_t>(r.u8()) << (8 * i);
                t.values.push_back(n == 0 ? "NULL" : std::to_string(static_cast<std::int32_t>(v)));
            } else if (type == 0xE7) {
                r.u16le();
                r.skip(5);
                std::uint16_t n = r.u16le();
                t.values.push_back(n == 0xFFFF ? "NULL" : r.utf16(n / 2));
            } else {
                throw sqlemu::tds::MalformedInput("return value type the test reader does not know");
            }
            break;
        }
        case 0x81: {
            std::uint16_t count = r.u16le();
            columnTypes.clear();
            for (int i = 0; i < count; ++i) {
                r.u32le();
                r.u16le();
                std::uint8_t type = r.u8();
                columnTypes.push_back(type);
                if (type == 0xE7) {
                    r.u16le();
                    r.skip(5);
                } else if (type == 0x26) {
                    r.u8();
                }
                t.values.push_back(r.bVarChar());
            }
            break;
        }
        case 0xD1:
            for (std::uint8_t type : columnTypes) {
                if (type == 0xE7) {
                    std::uint16_t n = r.u16le();
                    t.values.push_back(n == 0xFFFF ? "NULL" : r.utf16(n / 2));
                } else if (type == 0x26) {
                    std::uint8_t n = r.u8();
                    std::int64_t v = 0;
                    for (int i = 0; i < n; ++i)
                        v |= static_cast<std::int64_t>(r.u8()) << (8 * i);
                    t.values.push_back(n == 0 ? "NULL" : std::to_string(static_cast<std::int32_t>(v)));
                }
            }
            break;
        default:
            throw sqlemu::tds::MalformedInput("token the test reader does not know: " + std::to_string(t.id));
        }
        response.tokens.push_back(t);
    }
    return response;
}

} // namespace sqlemu::test
