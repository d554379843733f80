#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sqlemu {

// Little-endian fields of the emulator's own file headers (database files,
// backup media). The reader never reads past its buffer: a short or
// damaged header makes it fail(), it never crashes.
class RecordWriter {
public:
    void u8(std::uint8_t v) { m_bytes.push_back(v); }
    void u16(std::uint16_t v) { put(v, 2); }
    void u32(std::uint32_t v) { put(v, 4); }
    void u64(std::uint64_t v) { put(v, 8); }
    void i64(std::int64_t v) { put(static_cast<std::uint64_t>(v), 8); }
    void raw(const void *data, std::size_t size)
    {
        const auto *p = static_cast<const std::uint8_t *>(data);
        m_bytes.insert(m_bytes.end(), p, p + size);
    }
    // A text of at most 65535 bytes, length first.
    void text(std::string_view v)
    {
        const auto n = v.size() > 0xFFFF ? std::size_t{0xFFFF} : v.size();
        u16(static_cast<std::uint16_t>(n));
        raw(v.data(), n);
    }
    std::vector<std::uint8_t> &bytes() { return m_bytes; }
    std::size_t size() const { return m_bytes.size(); }

private:
    void put(std::uint64_t v, int count)
    {
        for (int i = 0; i < count; ++i)
            m_bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    std::vector<std::uint8_t> m_bytes;
};

class RecordReader {
public:
    RecordReader(const void *data, std::size_t size)
        : m_data(static_cast<const std::uint8_t *>(data))
        , m_size(size)
    {}

    std::uint8_t u8() { return static_cast<std::uint8_t>(get(1)); }
    std::uint16_t u16() { return static_cast<std::uint16_t>(get(2)); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(get(4)); }
    std::uint64_t u64() { return get(8); }
    std::int64_t i64() { return static_cast<std::int64_t>(get(8)); }
    void raw(void *out, std::size_t size)
    {
        if (!take(size)) {
            std::memset(out, 0, size);
            return;
        }
        std::memcpy(out, m_data + m_position - size, size);
    }
    std::string text()
    {
        const std::size_t n = u16();
        if (!take(n))
            return {};
        return std::string(reinterpret_cast<const char *>(m_data + m_position - n), n);
    }
    std::size_t position() const { return m_position; }
    bool failed() const { return m_failed; }

private:
    bool take(std::size_t n)
    {
        if (m_failed || n > m_size - m_position) {
            m_failed = true;
            return false;
        }
        m_position += n;
        return true;
    }
    std::uint64_t get(int count)
    {
        if (!take(static_cast<std::size_t>(count)))
            return 0;
        std::uint64_t v = 0;
        for (int i = 0; i < count; ++i)
            v |= static_cast<std::uint64_t>(m_data[m_position - count + i]) << (8 * i);
        return v;
    }
    const std::uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_position = 0;
    bool m_failed = false;
};

} // namespace sqlemu
