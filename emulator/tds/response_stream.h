#pragma once

// The server's side of one response message: tokens are appended, full
// packets go out as soon as they fill, flush() sends what is there in a packet
// of its own without ending the message, finish() ends it.

#include "tds/byte_io.h"
#include "tds/packet.h"

#include <cstdint>
#include <functional>
#include <span>

namespace sqlemu::tds {

class ResponseStream {
public:
    using Output = std::function<void(std::span<const std::uint8_t>)>;

    ResponseStream(Output output, std::size_t packetSize, std::uint16_t spid)
        : m_output(std::move(output))
        , m_packetSize(packetSize)
        , m_spid(spid)
    {}

    ByteWriter &tokens() { return m_tokens; }
    // Sends the full packets that the appended tokens made.
    void sendFullPackets();
    void flush();
    void finish();
    bool started() const { return m_started; }
    void setPacketSize(std::size_t size) { m_packetSize = size; }
    void setSpid(std::uint16_t spid) { m_spid = spid; }

private:
    void send(std::span<const std::uint8_t> payload, bool last);

    Output m_output;
    std::size_t m_packetSize;
    std::uint16_t m_spid;
    std::uint8_t m_packetId = 0;
    bool m_started = false;
    ByteWriter m_tokens;
};

} // namespace sqlemu::tds
