#include "tds/packet.h"

#include <algorithm>

namespace sqlemu::tds {

Frame parseFrame(std::span<const std::uint8_t> data, std::size_t maxLength)
{
    Frame frame;
    if (data.size() < kHeaderSize)
        return frame;
    frame.header.type = data[0];
    frame.header.status = data[1];
    frame.header.length = static_cast<std::uint16_t>((data[2] << 8) | data[3]);
    frame.header.spid = static_cast<std::uint16_t>((data[4] << 8) | data[5]);
    frame.header.packetId = data[6];
    frame.header.window = data[7];
    if (frame.header.length < kHeaderSize || frame.header.length > maxLength || frame.header.length > kMaxPacketSize
        || !isKnownClientPacketType(frame.header.type)) {
        frame.status = FrameStatus::Malformed;
        return frame;
    }
    if (data.size() < frame.header.length)
        return frame;
    frame.status = FrameStatus::Complete;
    frame.size = frame.header.length;
    frame.payload = data.subspan(kHeaderSize, frame.header.length - kHeaderSize);
    return frame;
}

bool isKnownClientPacketType(std::uint8_t type)
{
    switch (static_cast<PacketType>(type)) {
    case PacketType::SqlBatch:
    case PacketType::Rpc:
    case PacketType::Attention:
    case PacketType::BulkLoad:
    case PacketType::FedAuthToken:
    case PacketType::TransactionManager:
    case PacketType::Login7:
    case PacketType::Sspi:
    case PacketType::PreLogin:
        return true;
    default:
        return false;
    }
}

Bytes packetize(PacketType type, std::span<const std::uint8_t> payload, std::size_t packetSize, std::uint16_t spid,
                std::uint8_t &packetId, bool last)
{
    packetSize = std::clamp(packetSize, kMinPacketSize, kMaxPacketSize);
    const std::size_t room = packetSize - kHeaderSize;
    Bytes out;
    out.reserve(payload.size() + (payload.size() / room + 1) * kHeaderSize);
    std::size_t offset = 0;
    do {
        std::size_t chunk = std::min(room, payload.size() - offset);
        bool final = last && offset + chunk == payload.size();
        std::size_t length = chunk + kHeaderSize;
        out.push_back(static_cast<std::uint8_t>(type));
        out.push_back(final ? PacketStatus::EndOfMessage : PacketStatus::Normal);
        out.push_back(static_cast<std::uint8_t>(length >> 8));
        out.push_back(static_cast<std::uint8_t>(length & 0xFF));
        out.push_back(static_cast<std::uint8_t>(spid >> 8));
        out.push_back(static_cast<std::uint8_t>(spid & 0xFF));
        out.push_back(++packetId);
        out.push_back(0);
        out.insert(out.end(), payload.begin() + offset, payload.begin() + offset + chunk);
        offset += chunk;
    } while (offset < payload.size());
    return out;
}

MessageAssembler::Result MessageAssembler::next(Message &out)
{
    std::size_t consumed = 0;
    Result result = Result::NeedMore;
    while (true) {
        Frame frame = parseFrame(std::span(m_buffer).subspan(consumed), m_maxPacket);
        if (frame.status == FrameStatus::Incomplete)
            break;
        if (frame.status == FrameStatus::Malformed) {
            m_error = "malformed packet header";
            result = Result::Malformed;
            break;
        }
        const PacketHeader &h = frame.header;
        if (m_inMessage && h.type != m_partial.type && h.type != static_cast<std::uint8_t>(PacketType::Attention)) {
            m_error = "packet of another type inside a message";
            result = Result::Malformed;
            break;
        }
        if (m_inMessage && h.type == static_cast<std::uint8_t>(PacketType::Attention)) {
            // A cancel between the packets of a request ends that request.
            m_partial = Message{};
            m_inMessage = false;
        }
        if (!m_inMessage) {
            m_partial = Message{};
            m_partialSize = 0;
            m_partial.type = h.type;
            m_partial.firstStatus = h.status;
            m_inMessage = true;
        }
        if (m_partialSize + frame.payload.size() > m_maxMessage) {
            m_error = "message too large";
            result = Result::Malformed;
            break;
        }
        m_partialSize += frame.payload.size();
        if (!m_partial.refused && m_admit && !m_admit(m_partialSize)) {
            m_partial.refused = true;
            Bytes().swap(m_partial.payload);
        }
        if (!m_partial.refused)
            m_partial.payload.insert(m_partial.payload.end(), frame.payload.begin(), frame.payload.end());
        consumed += frame.size;
        if (h.status & PacketStatus::EndOfMessage) {
            m_partial.ignored = (h.status & PacketStatus::Ignore) != 0;
            out = std::move(m_partial);
            m_partial = Message{};
            m_inMessage = false;
            result = Result::Message;
            break;
        }
    }
    m_buffer.erase(m_buffer.begin(), m_buffer.begin() + consumed);
    return result;
}

} // namespace sqlemu::tds
