#pragma once

// Reader of the RIFF AVI container for the animation control. Plain C++ with
// no Qt, so that it can be fuzzed on its own. It trusts none of the counts and
// sizes in the headers: frames are the video chunks actually present, every
// size is checked against the bytes at hand, and the frame geometry is bounded.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace movan {

namespace avi {

enum class Compression : std::uint32_t {
    Rgb = 0, // BI_RGB: 8-bit with palette, 16-bit 5-5-5, 24 and 32-bit
    Rle8 = 1, // BI_RLE8: run-length coded 8-bit, later frames are deltas
    Bitfields = 3, // BI_BITFIELDS: 16 or 32-bit with explicit channel masks
};

// Where one frame's bytes lie in the buffer that was read.
struct FrameRef {
    std::size_t offset = 0;
    std::size_t size = 0;
};

struct Clip {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool topDown = false; // rows stored top row first (negative DIB height)
    std::uint16_t bitCount = 0;
    Compression compression = Compression::Rgb;
    std::vector<std::uint32_t> palette; // 0xFFRRGGBB, 256 entries for 8-bit clips
    std::uint32_t redMask = 0, greenMask = 0, blueMask = 0;
    std::uint32_t microSecondsPerFrame = 0;
    std::vector<FrameRef> frames;
};

enum class ReadStatus { Ok, Truncated, Malformed, Unsupported };

struct ReadResult {
    ReadStatus status = ReadStatus::Malformed;
    std::string problem; // for a person reading a log or a test failure
    Clip clip;
};

// Limits that keep a hostile header from asking for absurd amounts of memory.
inline constexpr std::uint32_t kMaxFrameSide = 8192;
inline constexpr std::uint64_t kMaxFramePixels = std::uint64_t{16} * 1024 * 1024;
inline constexpr std::size_t kMaxFrames = 1u << 20;

// Parses a whole file held in memory. The frame references point into data,
// which must outlive their use.
ReadResult readAvi(const std::uint8_t *data, std::size_t size);

} // namespace avi

} // namespace movan
