#pragma once

// Writes small AVI files: the build uses it to make the busy clip, the tests
// to make clips of every frame format. Plain C++, header only.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace aviwriter {

using Bytes = std::vector<std::uint8_t>;

struct Format {
    std::int32_t width = 0;
    std::int32_t height = 0; // negative: rows stored top first
    std::uint16_t bitCount = 8;
    std::uint32_t compression = 0; // 0 BI_RGB, 1 BI_RLE8, 3 BI_BITFIELDS
    std::vector<std::uint32_t> palette; // 0x00RRGGBB, for 8-bit clips
    std::uint32_t masks[3] = {0, 0, 0}; // for BI_BITFIELDS
    std::uint32_t microSecondsPerFrame = 100000;
};

inline void put32(Bytes &out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(std::uint8_t(v >> (8 * i)));
}

inline void put16(Bytes &out, std::uint16_t v)
{
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}

inline void putId(Bytes &out, const char *id)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(std::uint8_t(id[i]));
}

inline Bytes chunk(const char *id, const Bytes &body)
{
    Bytes out;
    putId(out, id);
    put32(out, std::uint32_t(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() & 1u)
        out.push_back(0);
    return out;
}

inline Bytes list(const char *type, const Bytes &body, const char *listId = "LIST")
{
    Bytes inner;
    putId(inner, type);
    inner.insert(inner.end(), body.begin(), body.end());
    return chunk(listId, inner);
}

inline void append(Bytes &out, const Bytes &more)
{
    out.insert(out.end(), more.begin(), more.end());
}

inline Bytes bitmapInfo(const Format &f)
{
    Bytes out;
    put32(out, 40);
    put32(out, std::uint32_t(f.width));
    put32(out, std::uint32_t(f.height));
    put16(out, 1);
    put16(out, f.bitCount);
    put32(out, f.compression);
    put32(out, 0); // image size
    put32(out, 0);
    put32(out, 0);
    put32(out, std::uint32_t(f.palette.size()));
    put32(out, 0);
    if (f.compression == 3)
        for (std::uint32_t mask : f.masks)
            put32(out, mask);
    for (std::uint32_t rgb : f.palette) {
        out.push_back(std::uint8_t(rgb));
        out.push_back(std::uint8_t(rgb >> 8));
        out.push_back(std::uint8_t(rgb >> 16));
        out.push_back(0);
    }
    return out;
}

// A whole clip with one video stream whose frames are the given chunk bodies.
inline Bytes buildAvi(const Format &f, const std::vector<Bytes> &frames, const char *frameId = "00dc")
{
    const auto height = std::uint32_t(f.height < 0 ? -f.height : f.height);
    Bytes avih;
    put32(avih, f.microSecondsPerFrame);
    put32(avih, 0);
    put32(avih, 0);
    put32(avih, 0x10); // has an index
    put32(avih, std::uint32_t(frames.size()));
    put32(avih, 0);
    put32(avih, 1);
    put32(avih, 0);
    put32(avih, std::uint32_t(f.width));
    put32(avih, height);
    for (int i = 0; i < 4; ++i)
        put32(avih, 0);

    Bytes strh;
    putId(strh, "vids");
    putId(strh, f.compression == 1 ? "mrle" : "DIB ");
    put32(strh, 0);
    put32(strh, 0);
    put32(strh, 0);
    put32(strh, f.microSecondsPerFrame); // scale / rate = seconds per frame
    put32(strh, 1000000);
    put32(strh, 0);
    put32(strh, std::uint32_t(frames.size()));
    put32(strh, 0);
    put32(strh, 0xFFFFFFFFu);
    put32(strh, 0);
    put16(strh, 0);
    put16(strh, 0);
    put16(strh, std::uint16_t(f.width));
    put16(strh, std::uint16_t(height));

    Bytes strl = chunk("strh", strh);
    append(strl, chunk("strf", bitmapInfo(f)));
    Bytes hdrl = chunk("avih", avih);
    append(hdrl, list("strl", strl));

    Bytes movi, idx1;
    std::uint32_t offset = 4;
    for (const Bytes &frame : frames) {
        const Bytes c = chunk(frameId, frame);
        putId(idx1, frameId);
        put32(idx1, 0x10);
        put32(idx1, offset);
        put32(idx1, std::uint32_t(frame.size()));
        offset += std::uint32_t(c.size());
        append(movi, c);
    }
    Bytes body = list("hdrl", hdrl);
    append(body, list("movi", movi));
    append(body, chunk("idx1", idx1));
    return list("AVI ", body, "RIFF");
}

// Run-length codes one picture of palette indices given bottom row first.
// Every picture is complete, so each frame can be shown on its own.
inline Bytes encodeRle8(const std::vector<std::uint8_t> &indices, int width, int height)
{
    Bytes out;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t *row = indices.data() + std::size_t(y) * std::size_t(width);
        int x = 0;
        while (x < width) {
            int run = 1;
            while (x + run < width && run < 255 && row[x + run] == row[x])
                ++run;
            if (run >= 3 || width - x < 3) {
                out.push_back(std::uint8_t(run));
                out.push_back(row[x]);
                x += run;
                continue;
            }
            // Literal stretch up to the next run of three.
            int literal = 0;
            while (x + literal < width && literal < 255) {
                const int at = x + literal;
                if (at + 2 < width && row[at] == row[at + 1] && row[at] == row[at + 2])
                    break;
                ++literal;
            }
            if (literal < 3) {
                for (int i = 0; i < literal; ++i) {
                    out.push_back(1);
                    out.push_back(row[x + i]);
                }
            } else {
                out.push_back(0);
                out.push_back(std::uint8_t(literal));
                out.insert(out.end(), row + x, row + x + literal);
                if (literal & 1)
                    out.push_back(0);
            }
            x += literal;
        }
        out.push_back(0);
        out.push_back(y + 1 == height ? 1 : 0); // end of line, or of picture
    }
    return out;
}

} // namespace aviwriter
