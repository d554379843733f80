#pragma once

// Turns the frames of an AVI clip into 32-bit pixels (0xFFRRGGBB, top row
// first). Plain C++ with no Qt, fuzzed together with the reader. Every write
// is bounds-checked: a frame that claims more pixels than the picture has is
// clipped, and one that is too short to hold its picture is refused.

#include "avi/avi_reader.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace movan {

namespace avi {

class FrameDecoder {
public:
    explicit FrameDecoder(const Clip &clip);

    // Applies one frame to the picture. RLE8 frames only paint what they
    // name, on top of the previous picture; an empty frame repeats it.
    // Returns false when the frame's bytes cannot be decoded; the picture is
    // then whatever was decoded before the fault.
    bool decode(const std::uint8_t *data, std::size_t size);

    // Back to the state before the first frame, for the next round of a loop.
    void reset();

    const std::vector<std::uint32_t> &pixels() const { return m_pixels; }
    std::uint32_t width() const { return m_width; }
    std::uint32_t height() const { return m_height; }

private:
    bool decodeRgb(const std::uint8_t *data, std::size_t size);
    bool decodeRle8(const std::uint8_t *data, std::size_t size);
    std::uint32_t paletteColor(std::uint8_t index) const;
    std::uint32_t maskedColor(std::uint32_t value) const;
    void put(std::uint32_t x, std::uint32_t storedRow, std::uint32_t color);

    std::uint32_t m_width;
    std::uint32_t m_height;
    bool m_topDown;
    std::uint16_t m_bitCount;
    Compression m_compression;
    std::vector<std::uint32_t> m_palette;
    std::uint32_t m_masks[3];
    std::vector<std::uint32_t> m_pixels;
};

} // namespace avi

} // namespace movan
