#include "avi/avi_frame_decoder.h"

#include <gtest/gtest.h>

using namespace movan;

namespace {

using Pixels = std::vector<std::uint32_t>;
using Bytes = std::vector<std::uint8_t>;

avi::Clip clipOf(std::uint32_t width, std::uint32_t height, std::uint16_t bits,
                 avi::Compression compression = avi::Compression::Rgb)
{
    avi::Clip clip;
    clip.width = width;
    clip.height = height;
    clip.bitCount = bits;
    clip.compression = compression;
    if (bits == 8) {
        clip.palette.assign(256, 0xFF000000u);
        clip.palette[1] = 0xFFFF0000u;
        clip.palette[2] = 0xFF00FF00u;
        clip.palette[3] = 0xFF0000FFu;
    }
    return clip;
}

constexpr std::uint32_t K = 0xFF000000u, R = 0xFFFF0000u, G = 0xFF00FF00u, B = 0xFF0000FFu;

Pixels decoded(const avi::Clip &clip, const Bytes &frame)
{
    avi::FrameDecoder decoder(clip);
    EXPECT_TRUE(decoder.decode(frame.data(), frame.size()));
    return decoder.pixels();
}

} // namespace

TEST(AviFrameDecoder, UncompressedFormatsGiveTheSameColours)
{
    // Two rows of two pixels, bottom row first: red green / blue black.
    const Pixels expected = {B, K, R, G};
    EXPECT_EQ(decoded(clipOf(2, 2, 8), {1, 2, 0, 0, 3, 0, 0, 0}), expected);
    EXPECT_EQ(decoded(clipOf(2, 2, 16), {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0x00, 0x00}), expected);
    EXPECT_EQ(decoded(clipOf(2, 2, 24), {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 0, 0}), expected);
    EXPECT_EQ(decoded(clipOf(2, 2, 32), {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 0, 0, 0, 0}), expected);
    avi::Clip bitfields = clipOf(2, 2, 16, avi::Compression::Bitfields);
    bitfields.redMask = 0xF800;
    bitfields.greenMask = 0x07E0;
    bitfields.blueMask = 0x001F;
    EXPECT_EQ(decoded(bitfields, {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0x00, 0x00}), expected);
    avi::Clip topDown = clipOf(2, 2, 8);
    topDown.topDown = true;
    EXPECT_EQ(decoded(topDown, {3, 0, 0, 0, 1, 2, 0, 0}), expected);
}

TEST(AviFrameDecoder, ShortUncompressedFrameIsRefusedAndEmptyOneRepeats)
{
    avi::FrameDecoder decoder(clipOf(2, 2, 24));
    const Bytes frame = {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 0, 0, 0};
    ASSERT_TRUE(decoder.decode(frame.data(), frame.size())); // the last row needs no padding
    const Pixels before = decoder.pixels();
    EXPECT_TRUE(decoder.decode(nullptr, 0));
    EXPECT_EQ(decoder.pixels(), before);
    EXPECT_FALSE(decoder.decode(frame.data(), frame.size() - 1));
}

TEST(AviFrameDecoder, Rle8RunsLiteralsMovesAndLineEnds)
{
    const avi::Clip clip = clipOf(4, 2, 8, avi::Compression::Rle8);
    avi::FrameDecoder decoder(clip);
    // Bottom row: two red, then a literal blue green; end of line; top row:
    // move right by 1, one blue; end of picture.
    const Bytes key = {2, 1, 0, 3, 3, 2, 3, 0, 0, 0, 0, 2, 1, 0, 1, 3, 0, 1};
    ASSERT_TRUE(decoder.decode(key.data(), key.size()));
    EXPECT_EQ(decoder.pixels(), (Pixels{K, B, K, K, R, R, B, G}));
    // A delta frame paints over the last picture.
    const Bytes delta = {0, 2, 3, 0, 1, 2, 0, 1};
    ASSERT_TRUE(decoder.decode(delta.data(), delta.size()));
    EXPECT_EQ(decoder.pixels(), (Pixels{K, B, K, K, R, R, B, G}));
    const Bytes paint = {0, 2, 3, 1, 1, 2, 0, 1};
    ASSERT_TRUE(decoder.decode(paint.data(), paint.size()));
    EXPECT_EQ(decoder.pixels(), (Pixels{K, B, K, G, R, R, B, G}));
    decoder.reset();
    EXPECT_EQ(decoder.pixels(), Pixels(8, K));
}

TEST(AviFrameDecoder, Rle8BeyondThePictureIsClippedAndCutCommandsRefused)
{
    const avi::Clip clip = clipOf(3, 2, 8, avi::Compression::Rle8);
    avi::FrameDecoder decoder(clip);
    // Runs far past the right edge and rows past the top write nothing outside.
    const Bytes wide = {255, 1, 255, 2, 0, 0, 0, 2, 200, 200, 5, 3, 0, 0, 0, 0, 0, 0, 4, 1};
    EXPECT_TRUE(decoder.decode(wide.data(), wide.size()));
    EXPECT_EQ(decoder.pixels(), (Pixels{K, K, K, R, R, R}));
    const Bytes cutLiteral = {0, 9, 1, 2};
    EXPECT_FALSE(decoder.decode(cutLiteral.data(), cutLiteral.size()));
    const Bytes cutMove = {0, 2, 1};
    EXPECT_FALSE(decoder.decode(cutMove.data(), cutMove.size()));
}
