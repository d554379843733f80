// Feeds arbitrary bytes to the TDS packet assembler, split into reads as the
// first byte says, and every message it yields to the parser of its type
// under each TDS version. MalformedInput and a refused request are the
// expected refusals; anything else (a crash, a sanitizer report, another
// exception) is a fault.

#include "tds/client_request.h"
#include "tds/login7.h"
#include "tds/packet.h"
#include "tds/prelogin.h"
#include "tds/type_codec.h"

#include <cstddef>
#include <cstdint>
#include <span>

using namespace sqlemu::tds;

namespace {

void parseMessage(const Message &message)
{
    for (std::uint32_t version : {TdsVersion::V7_1, TdsVersion::V7_4}) {
        try {
            switch (static_cast<PacketType>(message.type)) {
            case PacketType::PreLogin:
                parsePreLogin(message.payload);
                break;
            case PacketType::Login7:
                parseLogin7(message.payload);
                break;
            case PacketType::SqlBatch:
                parseSqlBatch(message.payload, version);
                break;
            case PacketType::Rpc:
                parseRpcRequest(message.payload, version);
                break;
            case PacketType::TransactionManager:
                parseTransactionManagerRequest(message.payload, version);
                break;
            default:
                break;
            }
        } catch (const MalformedInput &) {
        } catch (const RefusedRequest &) {}
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t chunk = 1 + data[0] % 64;
    std::span<const std::uint8_t> input(data + 1, size - 1);

    MessageAssembler assembler(1 << 20);
    assembler.setMaxPacketSize(data[0] & 0x80 ? kDefaultPacketSize : kMaxPacketSize);
    for (std::size_t at = 0; at < input.size(); at += chunk) {
        assembler.append(input.subspan(at, std::min(chunk, input.size() - at)));
        Message message;
        MessageAssembler::Result result;
        while ((result = assembler.next(message)) == MessageAssembler::Result::Message)
            parseMessage(message);
        if (result == MessageAssembler::Result::Malformed)
            break;
    }

    // The payload alone, as each parser would see a whole message.
    for (std::uint8_t type : {0x01, 0x03, 0x10, 0x12})
        parseMessage(Message{type, 0, false, Bytes(input.begin(), input.end())});

    // A parameter's TYPE_INFO and value on their own.
    try {
        ByteReader reader(input);
        TypeInfo type = readTypeInfo(reader);
        readValue(reader, type);
    } catch (const MalformedInput &) {
    } catch (const UnknownParameterType &) {} // answered with 8009 by the session
    return 0;
}
