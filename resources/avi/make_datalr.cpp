// Writes the busy clip DataLR.avi: a sheet of data travelling from one
// database to another, run-length coded (RLE8). Usage: make_datalr OUTPUT
#include "avi_writer.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>

namespace {

constexpr int kWidth = 240;
constexpr int kHeight = 48;
constexpr int kFrames = 20;
constexpr std::uint32_t kMicroSecondsPerFrame = 60000;

enum Colour : std::uint8_t { Background, Outline, Body, Top, Paper, Lines, Trail };

const std::vector<std::uint32_t> kPalette = {
    0xD4D0C8, // background: the first pixel, blended away by a transparent control
    0x404040, 0x4678BE, 0x8CB4E6, 0xFFFFFF, 0x5A6EA0, 0xE6962A,
};

// Palette indices, top row first while drawing.
class Canvas {
public:
    Canvas()
        : m_pixels(std::size_t(kWidth) * kHeight, Background)
    {}

    void set(int x, int y, std::uint8_t c)
    {
        if (x >= 0 && x < kWidth && y >= 0 && y < kHeight)
            m_pixels[std::size_t(y) * kWidth + std::size_t(x)] = c;
    }

    void rect(int x, int y, int w, int h, std::uint8_t fill, std::uint8_t border)
    {
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i)
                set(x + i, y + j, (i == 0 || j == 0 || i == w - 1 || j == h - 1) ? border : fill);
    }

    void ellipse(int cx, int cy, int rx, int ry, std::uint8_t fill, std::uint8_t border)
    {
        for (int y = -ry; y <= ry; ++y)
            for (int x = -rx; x <= rx; ++x) {
                const double d = double(x * x) / (rx * rx) + double(y * y) / (ry * ry);
                if (d <= 1.0)
                    set(cx + x, cy + y, d > 0.7 ? border : fill);
            }
    }

    void database(int x, int y)
    {
        rect(x, y + 4, 36, 30, Body, Outline);
        ellipse(x + 17, y + 34, 17, 4, Body, Outline);
        rect(x + 1, y + 4, 34, 30, Body, Body);
        ellipse(x + 17, y + 4, 17, 4, Top, Outline);
    }

    void sheet(int x, int y)
    {
        rect(x, y, 14, 18, Paper, Outline);
        for (int line = y + 4; line < y + 16; line += 3)
            for (int i = x + 3; i < x + 11; ++i)
                set(i, line, Lines);
    }

    // The picture bottom row first, as a bottom-up bitmap stores it.
    std::vector<std::uint8_t> bottomUp() const
    {
        std::vector<std::uint8_t> out;
        out.reserve(m_pixels.size());
        for (int y = kHeight - 1; y >= 0; --y)
            out.insert(out.end(), m_pixels.begin() + std::ptrdiff_t(y) * kWidth,
                       m_pixels.begin() + std::ptrdiff_t(y + 1) * kWidth);
        return out;
    }

private:
    std::vector<std::uint8_t> m_pixels;
};

aviwriter::Bytes frame(int index)
{
    Canvas canvas;
    canvas.database(6, 6);
    canvas.database(kWidth - 42, 6);
    const double t = double(index) / kFrames;
    const int x = 44 + int(std::lround(t * (kWidth - 44 - 58)));
    const int y = 18 - int(std::lround(14 * std::sin(std::numbers::pi * t)));
    for (int dot = 48; dot < x - 2; dot += 8)
        canvas.rect(dot, 36, 3, 3, Trail, Trail);
    canvas.sheet(x, y);
    return aviwriter::encodeRle8(canvas.bottomUp(), kWidth, kHeight);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_datalr OUTPUT\n");
        return 2;
    }
    aviwriter::Format format;
    format.width = kWidth;
    format.height = kHeight;
    format.bitCount = 8;
    format.compression = 1;
    format.palette = kPalette;
    format.microSecondsPerFrame = kMicroSecondsPerFrame;
    std::vector<aviwriter::Bytes> frames;
    for (int i = 0; i < kFrames; ++i)
        frames.push_back(frame(i));
    const aviwriter::Bytes clip = aviwriter::buildAvi(format, frames);
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(clip.data()), std::streamsize(clip.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "make_datalr: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
