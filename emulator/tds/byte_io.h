#pragma once

// Bounds-checked little/big-endian reading and writing of wire data. Every
// read past the end throws MalformedInput, so parsers stay straight-line and
// a hostile length can never walk outside the buffer.

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace sqlemu::tds {

using Bytes = std::vector<std::uint8_t>;

class MalformedInput : public std::runtime_error {
public:
    explicit MalformedInput(const std::string &what)
        : std::runtime_error(what)
    {}
};

class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> data)
        : m_data(data)
    {}

    std::size_t position() const { return m_pos; }
    std::size_t remaining() const { return m_data.size() - m_pos; }
    bool atEnd() const { return m_pos == m_data.size(); }
    void seek(std::size_t pos);
    void skip(std::size_t count);

    std::uint8_t u8();
    std::uint16_t u16le();
    std::uint16_t u16be();
    std::uint32_t u32le();
    std::uint32_t u32be();
    std::uint64_t u64le();
    std::span<const std::uint8_t> bytes(std::size_t count);
    // count UTF-16 code units, returned as UTF-8.
    std::string utf16(std::size_t units);
    std::string bVarChar() { return utf16(u8()); }
    std::string usVarChar() { return utf16(u16le()); }

private:
    void require(std::size_t count) const;

    std::span<const std::uint8_t> m_data;
    std::size_t m_pos = 0;
};

class ByteWriter {
public:
    const Bytes &data() const { return m_data; }
    Bytes take() { return std::move(m_data); }
    std::size_t size() const { return m_data.size(); }
    void clear() { m_data.clear(); }

    void u8(std::uint8_t v) { m_data.push_back(v); }
    void u16le(std::uint16_t v);
    void u16be(std::uint16_t v);
    void u32le(std::uint32_t v);
    void u32be(std::uint32_t v);
    void u64le(std::uint64_t v);
    void bytes(std::span<const std::uint8_t> b) { m_data.insert(m_data.end(), b.begin(), b.end()); }
    // UTF-8 in, UTF-16LE out, without a length.
    void utf16(const std::string &utf8);
    // B_VARCHAR / US_VARCHAR: length in UTF-16 units, cut to what the prefix can hold.
    void bVarChar(const std::string &utf8);
    void usVarChar(const std::string &utf8);
    void patchU16le(std::size_t at, std::uint16_t v);
    void patchU32le(std::size_t at, std::uint32_t v);

private:
    Bytes m_data;
};

} // namespace sqlemu::tds
