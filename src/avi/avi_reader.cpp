#include "avi/avi_reader.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace movan {

namespace avi {
namespace {

using FourCC = std::uint32_t;

constexpr FourCC fourCC(const char (&s)[5])
{
    return std::uint32_t(std::uint8_t(s[0])) | std::uint32_t(std::uint8_t(s[1])) << 8
        | std::uint32_t(std::uint8_t(s[2])) << 16 | std::uint32_t(std::uint8_t(s[3])) << 24;
}

std::uint32_t u32(const std::uint8_t *p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

std::uint16_t u16(const std::uint8_t *p)
{
    return std::uint16_t(p[0] | p[1] << 8);
}

struct Chunk {
    FourCC id = 0;
    std::size_t offset = 0; // of the data, past the 8-byte header
    std::size_t size = 0;
    bool cut = false; // the stated size ran past the end and was shortened
};

// Walks the chunks of one RIFF list body [begin, end).
class ChunkWalker {
public:
    ChunkWalker(const std::uint8_t *data, std::size_t begin, std::size_t end)
        : m_data(data)
        , m_pos(begin)
        , m_end(end)
    {}

    std::optional<Chunk> next()
    {
        if (m_end - m_pos < 8)
            return std::nullopt;
        Chunk chunk;
        chunk.id = u32(m_data + m_pos);
        const std::uint32_t stated = u32(m_data + m_pos + 4);
        chunk.offset = m_pos + 8;
        const std::size_t available = m_end - chunk.offset;
        if (stated > available) {
            chunk.size = available;
            chunk.cut = true;
            m_pos = m_end;
        } else {
            chunk.size = stated;
            const std::size_t padded = std::size_t(stated) + (stated & 1u);
            m_pos = std::min(m_end, chunk.offset + padded);
        }
        return chunk;
    }

private:
    const std::uint8_t *m_data;
    std::size_t m_pos;
    std::size_t m_end;
};

struct VideoStream {
    bool found = false;
    int index = -1;
    std::uint32_t scale = 0;
    std::uint32_t rate = 0;
    bool haveFormat = false;
};

class Parser {
public:
    Parser(const std::uint8_t *data, std::size_t size)
        : m_data(data)
        , m_size(size)
    {}

    ReadResult run()
    {
        if (m_size < 12 || u32(m_data) != fourCC("RIFF") || u32(m_data + 8) != fourCC("AVI "))
            return fail(ReadStatus::Malformed, "not a RIFF AVI file");
        const std::size_t riffEnd = std::min<std::size_t>(m_size, std::size_t(8) + u32(m_data + 4));
        if (riffEnd < 12)
            return fail(ReadStatus::Malformed, "RIFF size too small");
        ChunkWalker top(m_data, 12, riffEnd);
        bool sawHeaders = false;
        while (auto chunk = top.next()) {
            if (!isList(*chunk))
                continue;
            const FourCC type = u32(m_data + chunk->offset);
            const std::size_t bodyBegin = chunk->offset + 4, bodyEnd = chunk->offset + chunk->size;
            if (type == fourCC("hdrl")) {
                if (chunk->cut)
                    return fail(ReadStatus::Truncated, "header list cut short");
                if (!parseHeaderList(bodyBegin, bodyEnd))
                    return m_result;
                sawHeaders = true;
            } else if (type == fourCC("movi")) {
                if (!sawHeaders)
                    return fail(ReadStatus::Malformed, "frames before the headers");
                collectFrames(bodyBegin, bodyEnd, 0);
            }
        }
        if (!sawHeaders)
            return fail(ReadStatus::Malformed, "no header list");
        if (m_result.clip.frames.empty())
            return fail(ReadStatus::Truncated, "no video frames");
        m_result.status = ReadStatus::Ok;
        return std::move(m_result);
    }

private:
    bool isList(const Chunk &chunk) const
    {
        return (chunk.id == fourCC("LIST") || chunk.id == fourCC("RIFF")) && chunk.size >= 4;
    }

    ReadResult fail(ReadStatus status, const char *problem)
    {
        m_result.status = status;
        m_result.problem = problem;
        m_result.clip.frames.clear();
        return m_result;
    }

    bool parseHeaderList(std::size_t begin, std::size_t end)
    {
        ChunkWalker walker(m_data, begin, end);
        std::uint32_t mainMicroSeconds = 0;
        int streamIndex = 0;
        while (auto chunk = walker.next()) {
            if (chunk->id == fourCC("avih")) {
                if (chunk->size < 4) {
                    fail(ReadStatus::Malformed, "main header too short");
                    return false;
                }
                mainMicroSeconds = u32(m_data + chunk->offset);
            } else if (isList(*chunk) && u32(m_data + chunk->offset) == fourCC("strl")) {
                if (!m_video.found && !parseStreamList(chunk->offset + 4, chunk->offset + chunk->size, streamIndex))
                    return false;
                ++streamIndex;
            }
        }
        if (!m_video.found) {
            fail(ReadStatus::Unsupported, "no video stream");
            return false;
        }
        if (!m_video.haveFormat) {
            fail(ReadStatus::Malformed, "video stream without a format");
            return false;
        }
        Clip &clip = m_result.clip;
        if (m_video.rate != 0 && m_video.scale != 0) {
            const std::uint64_t us = std::uint64_t(m_video.scale) * 1000000u / m_video.rate;
            clip.microSecondsPerFrame = std::uint32_t(std::min<std::uint64_t>(us, 0xFFFFFFFFu));
        } else {
            clip.microSecondsPerFrame = mainMicroSeconds;
        }
        return true;
    }

    bool parseStreamList(std::size_t begin, std::size_t end, int index)
    {
        ChunkWalker walker(m_data, begin, end);
        bool isVideo = false;
        std::uint32_t scale = 0, rate = 0;
        std::optional<Chunk> format;
        while (auto chunk = walker.next()) {
            if (chunk->id == fourCC("strh") && chunk->size >= 28) {
                isVideo = u32(m_data + chunk->offset) == fourCC("vids");
                scale = u32(m_data + chunk->offset + 20);
                rate = u32(m_data + chunk->offset + 24);
            } else if (chunk->id == fourCC("strf")) {
                format = chunk;
            }
        }
        if (!isVideo)
            return true; // another kind of stream; its chunks are skipped
        m_video.found = true;
        m_video.index = index;
        m_video.scale = scale;
        m_video.rate = rate;
        if (!format)
            return true;
        m_video.haveFormat = true;
        return parseFormat(*format);
    }

    bool parseFormat(const Chunk &chunk)
    {
        if (chunk.size < 40) {
            fail(ReadStatus::Malformed, "bitmap header too short");
            return false;
        }
        const std::uint8_t *p = m_data + chunk.offset;
        const std::uint32_t headerSize = u32(p);
        const auto width = std::int32_t(u32(p + 4));
        const auto height = std::int32_t(u32(p + 8));
        const std::uint16_t bitCount = u16(p + 14);
        const std::uint32_t compression = u32(p + 16);
        const std::uint32_t colorsUsed = u32(p + 32);
        if (headerSize < 40 || headerSize > chunk.size) {
            fail(ReadStatus::Malformed, "bad bitmap header size");
            return false;
        }
        if (width <= 0 || height == 0 || height == INT32_MIN) {
            fail(ReadStatus::Malformed, "bad frame size");
            return false;
        }
        Clip &clip = m_result.clip;
        clip.width = std::uint32_t(width);
        clip.height = std::uint32_t(height < 0 ? -height : height);
        clip.topDown = height < 0;
        clip.bitCount = bitCount;
        if (clip.width > kMaxFrameSide || clip.height > kMaxFrameSide
            || std::uint64_t(clip.width) * clip.height > kMaxFramePixels) {
            fail(ReadStatus::Unsupported, "frame too large");
            return false;
        }
        switch (compression) {
        case 0:
            if (bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32) {
                fail(ReadStatus::Unsupported, "unsupported bit depth");
                return false;
            }
            clip.compression = Compression::Rgb;
            break;
        case 1:
            if (bitCount != 8 || clip.topDown) {
                fail(ReadStatus::Unsupported, "RLE8 needs a bottom-up 8-bit frame");
                return false;
            }
            clip.compression = Compression::Rle8;
            break;
        case 3: {
            if (bitCount != 16 && bitCount != 32) {
                fail(ReadStatus::Unsupported, "bit fields need 16 or 32 bits");
                return false;
            }
            // The masks follow a 40-byte header or sit inside a larger one.
            if (chunk.size < 52) {
                fail(ReadStatus::Malformed, "bit field masks missing");
                return false;
            }
            clip.compression = Compression::Bitfields;
            clip.redMask = u32(p + 40);
            clip.greenMask = u32(p + 44);
            clip.blueMask = u32(p + 48);
            if (!clip.redMask || !clip.greenMask || !clip.blueMask) {
                fail(ReadStatus::Malformed, "empty bit field mask");
                return false;
            }
            break;
        }
        default:
            fail(ReadStatus::Unsupported, "unsupported compression");
            return false;
        }
        if (bitCount == 8) {
            const std::size_t paletteOffset = headerSize;
            std::size_t entries = colorsUsed == 0 || colorsUsed > 256 ? 256 : colorsUsed;
            entries = std::min(entries, (chunk.size - paletteOffset) / 4);
            if (entries == 0) {
                fail(ReadStatus::Malformed, "8-bit frame without a palette");
                return false;
            }
            clip.palette.assign(256, 0xFF000000u);
            for (std::size_t i = 0; i < entries; ++i) {
                const std::uint8_t *q = p + paletteOffset + 4 * i;
                clip.palette[i] = 0xFF000000u | std::uint32_t(q[2]) << 16 | std::uint32_t(q[1]) << 8 | q[0];
            }
        }
        return true;
    }

    bool isFrameChunk(FourCC id) const
    {
        const int index = m_video.index;
        if (index < 0 || index > 99)
            return false;
        const char tens = char('0' + index / 10), ones = char('0' + index % 10);
        return (id & 0xFFFFu) == (std::uint32_t(std::uint8_t(tens)) | std::uint32_t(std::uint8_t(ones)) << 8)
            && ((id >> 16) == (fourCC("00db") >> 16) || (id >> 16) == (fourCC("00dc") >> 16));
    }

    void collectFrames(std::size_t begin, std::size_t end, int depth)
    {
        ChunkWalker walker(m_data, begin, end);
        while (auto chunk = walker.next()) {
            if (m_result.clip.frames.size() >= kMaxFrames)
                return;
            if (isList(*chunk)) {
                if (depth < 4)
                    collectFrames(chunk->offset + 4, chunk->offset + chunk->size, depth + 1);
                continue;
            }
            // A last frame cut short by the end of the file is dropped.
            if (isFrameChunk(chunk->id) && !chunk->cut)
                m_result.clip.frames.push_back({chunk->offset, chunk->size});
        }
    }

    const std::uint8_t *m_data;
    std::size_t m_size;
    VideoStream m_video;
    ReadResult m_result;
};

} // namespace

ReadResult readAvi(const std::uint8_t *data, std::size_t size)
{
    if (!data)
        size = 0;
    static constexpr std::uint8_t kNoBytes = 0;
    return Parser(data ? data : &kNoBytes, size).run();
}

} // namespace avi

} // namespace movan
