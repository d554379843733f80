#include "tds/byte_io.h"

#include "tds/text_codec.h"

namespace sqlemu::tds {

void ByteReader::require(std::size_t count) const
{
    if (count > remaining())
        throw MalformedInput("field runs past the end of the data");
}

void ByteReader::seek(std::size_t pos)
{
    if (pos > m_data.size())
        throw MalformedInput("offset outside the data");
    m_pos = pos;
}

void ByteReader::skip(std::size_t count)
{
    require(count);
    m_pos += count;
}

std::uint8_t ByteReader::u8()
{
    require(1);
    return m_data[m_pos++];
}

std::uint16_t ByteReader::u16le()
{
    require(2);
    std::uint16_t v = m_data[m_pos] | (m_data[m_pos + 1] << 8);
    m_pos += 2;
    return v;
}

std::uint16_t ByteReader::u16be()
{
    require(2);
    std::uint16_t v = (m_data[m_pos] << 8) | m_data[m_pos + 1];
    m_pos += 2;
    return v;
}

std::uint32_t ByteReader::u32le()
{
    require(4);
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | m_data[m_pos + i];
    m_pos += 4;
    return v;
}

std::uint32_t ByteReader::u32be()
{
    require(4);
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v = (v << 8) | m_data[m_pos + i];
    m_pos += 4;
    return v;
}

std::uint64_t ByteReader::u64le()
{
    std::uint64_t low = u32le();
    std::uint64_t high = u32le();
    return low | (high << 32);
}

std::span<const std::uint8_t> ByteReader::bytes(std::size_t count)
{
    require(count);
    auto out = m_data.subspan(m_pos, count);
    m_pos += count;
    return out;
}

std::string ByteReader::utf16(std::size_t units)
{
    if (units > remaining() / 2)
        throw MalformedInput("text runs past the end of the data");
    return utf16leToUtf8(bytes(units * 2));
}

void ByteWriter::u16le(std::uint16_t v)
{
    m_data.push_back(v & 0xFF);
    m_data.push_back(v >> 8);
}

void ByteWriter::u16be(std::uint16_t v)
{
    m_data.push_back(v >> 8);
    m_data.push_back(v & 0xFF);
}

void ByteWriter::u32le(std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        m_data.push_back((v >> (8 * i)) & 0xFF);
}

void ByteWriter::u32be(std::uint32_t v)
{
    for (int i = 3; i >= 0; --i)
        m_data.push_back((v >> (8 * i)) & 0xFF);
}

void ByteWriter::u64le(std::uint64_t v)
{
    u32le(static_cast<std::uint32_t>(v));
    u32le(static_cast<std::uint32_t>(v >> 32));
}

void ByteWriter::utf16(const std::string &utf8)
{
    bytes(utf8ToUtf16le(utf8));
}

void ByteWriter::bVarChar(const std::string &utf8)
{
    std::u16string text = utf8ToUtf16(utf8);
    if (text.size() > 0xFF)
        text.resize(0xFF);
    u8(static_cast<std::uint8_t>(text.size()));
    for (char16_t c : text)
        u16le(c);
}

void ByteWriter::usVarChar(const std::string &utf8)
{
    std::u16string text = utf8ToUtf16(utf8);
    if (text.size() > 0xFFFF)
        text.resize(0xFFFF);
    u16le(static_cast<std::uint16_t>(text.size()));
    for (char16_t c : text)
        u16le(c);
}

void ByteWriter::patchU16le(std::size_t at, std::uint16_t v)
{
    m_data.at(at) = v & 0xFF;
    m_data.at(at + 1) = v >> 8;
}

void ByteWriter::patchU32le(std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        m_data.at(at + i) = (v >> (8 * i)) & 0xFF;
}

} // namespace sqlemu::tds
