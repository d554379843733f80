#include "avi/avi_frame_decoder.h"

#include <algorithm>
#include <bit>

namespace movan {

namespace avi {
namespace {

// Scales a channel value of `bits` bits to 8 bits.
std::uint32_t expandChannel(std::uint32_t value, int bits)
{
    if (bits <= 0)
        return 0;
    if (bits >= 8)
        return value >> (bits - 8);
    std::uint32_t out = 0;
    int filled = 0;
    while (filled < 8) {
        out = (out << bits) | value;
        filled += bits;
    }
    return out >> (filled - 8);
}

std::uint32_t extract(std::uint32_t value, std::uint32_t mask)
{
    if (!mask)
        return 0;
    const int shift = std::countr_zero(mask);
    const int bits = std::popcount(mask >> shift);
    return expandChannel((value & mask) >> shift, std::min(bits, 32));
}

} // namespace

FrameDecoder::FrameDecoder(const Clip &clip)
    : m_width(clip.width)
    , m_height(clip.height)
    , m_topDown(clip.topDown)
    , m_bitCount(clip.bitCount)
    , m_compression(clip.compression)
    , m_palette(clip.palette)
    , m_masks{clip.redMask, clip.greenMask, clip.blueMask}
{
    if (m_palette.size() < 256)
        m_palette.resize(256, 0xFF000000u);
    if (m_compression == Compression::Rgb && m_bitCount == 16) {
        m_masks[0] = 0x7C00;
        m_masks[1] = 0x03E0;
        m_masks[2] = 0x001F;
    } else if (m_compression == Compression::Rgb && m_bitCount == 32) {
        m_masks[0] = 0x00FF0000;
        m_masks[1] = 0x0000FF00;
        m_masks[2] = 0x000000FF;
    }
    reset();
}

void FrameDecoder::reset()
{
    m_pixels.assign(std::size_t(m_width) * m_height, m_palette[0]);
}

std::uint32_t FrameDecoder::paletteColor(std::uint8_t index) const
{
    return m_palette[index];
}

std::uint32_t FrameDecoder::maskedColor(std::uint32_t value) const
{
    return 0xFF000000u | extract(value, m_masks[0]) << 16 | extract(value, m_masks[1]) << 8
        | extract(value, m_masks[2]);
}

void FrameDecoder::put(std::uint32_t x, std::uint32_t storedRow, std::uint32_t color)
{
    if (x >= m_width || storedRow >= m_height)
        return;
    const std::uint32_t row = m_topDown ? storedRow : m_height - 1 - storedRow;
    m_pixels[std::size_t(row) * m_width + x] = color;
}

bool FrameDecoder::decode(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return true; // a dropped frame: the picture stays
    if (!data)
        return false;
    if (m_compression == Compression::Rle8)
        return decodeRle8(data, size);
    return decodeRgb(data, size);
}

bool FrameDecoder::decodeRgb(const std::uint8_t *data, std::size_t size)
{
    const std::size_t bytesPerPixel = m_bitCount / 8;
    const std::size_t rowBytes = std::size_t(m_width) * bytesPerPixel;
    const std::size_t stride = (rowBytes + 3) & ~std::size_t(3);
    // The last row need not carry its padding.
    if (size < stride * (m_height - 1) + rowBytes)
        return false;
    for (std::uint32_t y = 0; y < m_height; ++y) {
        const std::uint8_t *row = data + stride * y;
        for (std::uint32_t x = 0; x < m_width; ++x) {
            const std::uint8_t *p = row + x * bytesPerPixel;
            std::uint32_t color;
            switch (m_bitCount) {
            case 8:
                color = paletteColor(p[0]);
                break;
            case 16:
                color = maskedColor(std::uint32_t(p[0] | p[1] << 8));
                break;
            case 24:
                color = 0xFF000000u | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
                break;
            default:
                color = maskedColor(std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16
                                    | std::uint32_t(p[3]) << 24);
                break;
            }
            put(x, y, color);
        }
    }
    return true;
}

bool FrameDecoder::decodeRle8(const std::uint8_t *data, std::size_t size)
{
    std::size_t pos = 0;
    std::uint32_t x = 0, y = 0;
    while (pos + 2 <= size) {
        const std::uint8_t count = data[pos], value = data[pos + 1];
        pos += 2;
        if (count > 0) {
            const std::uint32_t color = paletteColor(value);
            for (std::uint32_t i = 0; i < count; ++i)
                put(x + i, y, color);
            x += count;
            continue;
        }
        switch (value) {
        case 0: // end of line
            x = 0;
            ++y;
            break;
        case 1: // end of picture
            return true;
        case 2: // move right and up (rows are stored bottom first)
            if (pos + 2 > size)
                return false;
            x += data[pos];
            y += data[pos + 1];
            pos += 2;
            break;
        default: { // a run of literal indices, padded to an even length
            const std::size_t literal = value;
            if (pos + literal > size)
                return false;
            for (std::size_t i = 0; i < literal; ++i)
                put(x + std::uint32_t(i), y, paletteColor(data[pos + i]));
            x += value;
            pos += literal + (literal & 1u);
            break;
        }
        }
        if (y >= m_height)
            return true; // everything further down lies outside the picture
    }
    return true;
}

} // namespace avi

} // namespace movan
