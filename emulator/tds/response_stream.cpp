#include "tds/response_stream.h"

namespace sqlemu::tds {

void ResponseStream::send(std::span<const std::uint8_t> payload, bool last)
{
    Bytes packets = packetize(PacketType::TabularResult, payload, m_packetSize, m_spid, m_packetId, last);
    m_started = true;
    m_output(packets);
}

void ResponseStream::sendFullPackets()
{
    const std::size_t room = m_packetSize - kHeaderSize;
    const Bytes &data = m_tokens.data();
    if (data.size() <= room)
        return;
    // Keep at least one byte back so the message's last packet is never empty.
    std::size_t full = ((data.size() - 1) / room) * room;
    send(std::span(data).first(full), false);
    Bytes rest(data.begin() + full, data.end());
    m_tokens.clear();
    m_tokens.bytes(rest);
}

void ResponseStream::flush()
{
    if (m_tokens.size() == 0)
        return;
    send(m_tokens.data(), false);
    m_tokens.clear();
}

void ResponseStream::finish()
{
    send(m_tokens.data(), true);
    m_tokens.clear();
    m_packetId = 0;
    m_started = false;
}

} // namespace sqlemu::tds
