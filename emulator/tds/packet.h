#pragma once

// TDS packet framing as pure functions over bytes: a frame is complete,
// incomplete (wait for more bytes) or malformed (drop the connection).

#include "tds/byte_io.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace sqlemu::tds {

enum class PacketType : std::uint8_t {
    SqlBatch = 0x01,
    PreTds7Login = 0x02,
    Rpc = 0x03,
    TabularResult = 0x04,
    Attention = 0x06,
    BulkLoad = 0x07,
    FedAuthToken = 0x08,
    TransactionManager = 0x0E,
    Login7 = 0x10,
    Sspi = 0x11,
    PreLogin = 0x12,
};

namespace PacketStatus {
constexpr std::uint8_t Normal = 0x00;
constexpr std::uint8_t EndOfMessage = 0x01;
constexpr std::uint8_t Ignore = 0x02;
constexpr std::uint8_t ResetConnection = 0x08;
constexpr std::uint8_t ResetConnectionSkipTran = 0x10;
} // namespace PacketStatus

constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kMinPacketSize = 512;
constexpr std::size_t kMaxPacketSize = 32767;
constexpr std::size_t kDefaultPacketSize = 4096;

struct PacketHeader {
    std::uint8_t type = 0;
    std::uint8_t status = 0;
    std::uint16_t length = 0;
    std::uint16_t spid = 0;
    std::uint8_t packetId = 0;
    std::uint8_t window = 0;
};

enum class FrameStatus { Complete, Incomplete, Malformed };

struct Frame {
    FrameStatus status = FrameStatus::Incomplete;
    std::size_t size = 0; // bytes of the whole packet when complete
    PacketHeader header;
    std::span<const std::uint8_t> payload;
};

// Looks at the start of data for one packet no longer than maxLength.
Frame parseFrame(std::span<const std::uint8_t> data, std::size_t maxLength = kMaxPacketSize);

bool isKnownClientPacketType(std::uint8_t type);

// Splits a message into packets of at most packetSize bytes; EOM only on the
// last one when last is true (a flushed part of a longer response is not).
Bytes packetize(PacketType type, std::span<const std::uint8_t> payload, std::size_t packetSize, std::uint16_t spid,
                std::uint8_t &packetId, bool last = true);

// A whole client message: the payloads of its packets joined.
struct Message {
    std::uint8_t type = 0;
    std::uint8_t firstStatus = 0; // status of the first packet (reset-connection flags)
    bool ignored = false; // the client cancelled it while sending
    Bytes payload;
    // The server had no memory to hold it: its payload was dropped as it
    // came, and the request is answered with an error instead.
    bool refused = false;
};

// Collects bytes as they arrive from the socket, in any split, and hands out
// whole messages.
class MessageAssembler {
public:
    enum class Result { Message, NeedMore, Malformed };

    explicit MessageAssembler(std::size_t maxMessageSize = std::size_t{64} * 1024 * 1024)
        : m_maxMessage(maxMessageSize)
    {}

    void append(std::span<const std::uint8_t> bytes) { m_buffer.insert(m_buffer.end(), bytes.begin(), bytes.end()); }
    // Clients may send packets as large as the size they asked for at login.
    void setMaxPacketSize(std::size_t size) { m_maxPacket = size; }
    void setMaxMessageSize(std::size_t size) { m_maxMessage = size; }
    // Asked before a message's payload grows to a size; false drops the
    // message's payload from there on and hands it out marked refused.
    void setAdmission(std::function<bool(std::size_t)> admit) { m_admit = std::move(admit); }
    Result next(Message &out);
    const std::string &error() const { return m_error; }
    bool hasBufferedBytes() const { return !m_buffer.empty(); }

private:
    Bytes m_buffer;
    Message m_partial;
    std::size_t m_partialSize = 0; // bytes of the message so far, kept or dropped
    bool m_inMessage = false;
    std::function<bool(std::size_t)> m_admit;
    std::size_t m_maxPacket = kMaxPacketSize;
    std::size_t m_maxMessage;
    std::string m_error;
};

} // namespace sqlemu::tds
