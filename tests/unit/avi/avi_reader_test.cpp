#include "avi/avi_frame_decoder.h"
#include "avi/avi_reader.h"
#include "resources/avi/avi_writer.h"

#include <gtest/gtest.h>

using namespace movan;

using aviwriter::Bytes;

namespace {

avi::ReadResult read(const Bytes &file)
{
    return avi::readAvi(file.data(), file.size());
}

aviwriter::Format paletteFormat(int width, int height)
{
    aviwriter::Format f;
    f.width = width;
    f.height = height;
    f.bitCount = 8;
    f.palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    return f;
}

Bytes frameOf(std::size_t size, std::uint8_t fill = 1)
{
    return Bytes(size, fill);
}

void putU32(Bytes &file, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        file[at + i] = std::uint8_t(value >> (8 * i));
}

std::size_t find(const Bytes &file, const char *id)
{
    for (std::size_t i = 0; i + 4 <= file.size(); ++i)
        if (std::memcmp(file.data() + i, id, 4) == 0)
            return i;
    return std::string::npos;
}

} // namespace

TEST(AviReader, ReadsTheFormatOfEveryPlayableKind)
{
    struct Case {
        std::uint16_t bits;
        std::uint32_t compression;
        std::int32_t height;
    };
    for (const Case c : {Case{8, 0, 4}, Case{16, 0, 4}, Case{24, 0, -4}, Case{32, 0, 4}, Case{8, 1, 4}, Case{16, 3, 4},
                         Case{32, 3, 4}}) {
        aviwriter::Format f = paletteFormat(5, c.height);
        f.bitCount = c.bits;
        f.compression = c.compression;
        if (c.bits != 8)
            f.palette.clear();
        if (c.compression == 3) {
            f.masks[0] = c.bits == 16 ? 0xF800 : 0xFF0000;
            f.masks[1] = c.bits == 16 ? 0x07E0 : 0x00FF00;
            f.masks[2] = c.bits == 16 ? 0x001F : 0x0000FF;
        }
        f.microSecondsPerFrame = 50000;
        const auto result = read(aviwriter::buildAvi(f, {frameOf(64), frameOf(64), frameOf(64)}));
        SCOPED_TRACE(testing::Message() << c.bits << " bits, compression " << c.compression);
        ASSERT_EQ(result.status, avi::ReadStatus::Ok) << result.problem;
        EXPECT_EQ(result.clip.width, 5u);
        EXPECT_EQ(result.clip.height, 4u);
        EXPECT_EQ(result.clip.topDown, c.height < 0);
        EXPECT_EQ(result.clip.bitCount, c.bits);
        EXPECT_EQ(std::uint32_t(result.clip.compression), c.compression);
        EXPECT_EQ(result.clip.frames.size(), 3u);
        EXPECT_EQ(result.clip.microSecondsPerFrame, 50000u);
        if (c.bits == 8) {
            EXPECT_EQ(result.clip.palette.size(), 256u);
            EXPECT_EQ(result.clip.palette[1], 0xFFFF0000u);
            EXPECT_EQ(result.clip.palette[3], 0xFF0000FFu);
        }
    }
}

TEST(AviReader, FramesAreTheChunksPresentWhateverTheHeadersCount)
{
    Bytes file = aviwriter::buildAvi(paletteFormat(4, 2), {frameOf(8), frameOf(8)}, "00db");
    putU32(file, find(file, "avih") + 8 + 16, 0xFFFFFFFFu); // total frames
    putU32(file, find(file, "strh") + 8 + 32, 0x7FFFFFFFu); // stream length
    const auto result = read(file);
    ASSERT_EQ(result.status, avi::ReadStatus::Ok);
    EXPECT_EQ(result.clip.frames.size(), 2u);
}

TEST(AviReader, FramesInsideRecordListsAndBesideOtherStreamsAreFound)
{
    Bytes movi;
    aviwriter::append(movi, aviwriter::chunk("01wb", frameOf(3)));
    aviwriter::append(movi, aviwriter::list("rec ", aviwriter::chunk("00dc", frameOf(8))));
    aviwriter::append(movi, aviwriter::chunk("JUNK", frameOf(5)));
    aviwriter::append(movi, aviwriter::chunk("00db", frameOf(8)));
    Bytes file = aviwriter::buildAvi(paletteFormat(4, 2), {});
    const std::size_t moviAt = find(file, "movi");
    file.erase(file.begin() + std::ptrdiff_t(moviAt) - 8, file.begin() + std::ptrdiff_t(moviAt) + 4);
    Bytes body = aviwriter::list("movi", movi);
    file.insert(file.begin() + std::ptrdiff_t(moviAt) - 8, body.begin(), body.end());
    putU32(file, 4, std::uint32_t(file.size() - 8));
    const auto result = read(file);
    ASSERT_EQ(result.status, avi::ReadStatus::Ok) << result.problem;
    EXPECT_EQ(result.clip.frames.size(), 2u);
}

TEST(AviReader, RefusesWhatItCannotPlay)
{
    struct Case {
        const char *name;
        std::function<void(aviwriter::Format &)> change;
        avi::ReadStatus expected;
    };
    const Case cases[] = {
        {"4-bit", [](aviwriter::Format &f) { f.bitCount = 4; }, avi::ReadStatus::Unsupported},
        {"RLE4", [](aviwriter::Format &f) { f.compression = 2; }, avi::ReadStatus::Unsupported},
        {"codec", [](aviwriter::Format &f) { f.compression = 0x47504A4D; }, avi::ReadStatus::Unsupported},
        {"RLE8 at 24 bits",
         [](aviwriter::Format &f) {
             f.compression = 1;
             f.bitCount = 24;
         },
         avi::ReadStatus::Unsupported},
        {"huge picture",
         [](aviwriter::Format &f) {
             f.width = 100000;
             f.height = 100000;
         },
         avi::ReadStatus::Unsupported},
        {"zero width", [](aviwriter::Format &f) { f.width = 0; }, avi::ReadStatus::Malformed},
        {"negative width", [](aviwriter::Format &f) { f.width = -5; }, avi::ReadStatus::Malformed},
        {"no palette", [](aviwriter::Format &f) { f.palette.clear(); }, avi::ReadStatus::Malformed},
    };
    for (const Case &c : cases) {
        aviwriter::Format f = paletteFormat(4, 2);
        c.change(f);
        EXPECT_EQ(read(aviwriter::buildAvi(f, {frameOf(8)})).status, c.expected) << c.name;
    }
    EXPECT_EQ(read(aviwriter::buildAvi(paletteFormat(4, 2), {})).status, avi::ReadStatus::Truncated);
    EXPECT_EQ(read(Bytes{'R', 'I', 'F', 'F'}).status, avi::ReadStatus::Malformed);
    EXPECT_EQ(avi::readAvi(nullptr, 100).status, avi::ReadStatus::Malformed);
    Bytes wave = aviwriter::buildAvi(paletteFormat(4, 2), {frameOf(8)});
    std::memcpy(wave.data() + 8, "WAVE", 4);
    EXPECT_EQ(read(wave).status, avi::ReadStatus::Malformed);
}

TEST(AviReader, SizesThatLieAreHeldToTheBytesPresent)
{
    const Bytes good = aviwriter::buildAvi(paletteFormat(4, 2), {frameOf(8), frameOf(8), frameOf(8)});
    // A RIFF size far beyond the file is tolerated.
    Bytes riff = good;
    putU32(riff, 4, 0xFFFFFFF0u);
    EXPECT_EQ(read(riff).status, avi::ReadStatus::Ok);
    // A frame chunk claiming more bytes than the file has is dropped.
    Bytes frame = good;
    const std::size_t lastFrame = frame.size() - (8 + 3 * 16) - (8 + 8);
    ASSERT_EQ(std::memcmp(frame.data() + lastFrame, "00dc", 4), 0);
    putU32(frame, lastFrame + 4, 0x7FFFFFFFu);
    const auto cut = read(frame);
    ASSERT_EQ(cut.status, avi::ReadStatus::Ok);
    EXPECT_EQ(cut.clip.frames.size(), 2u);
    // A bitmap header claiming to be larger than its chunk.
    Bytes header = good;
    putU32(header, find(header, "strf") + 8, 4000);
    EXPECT_EQ(read(header).status, avi::ReadStatus::Malformed);
    // A header list claiming more than the file holds.
    Bytes hdrl = good;
    putU32(hdrl, find(hdrl, "hdrl") - 4, 0x7FFFFFFFu);
    EXPECT_NE(read(hdrl).status, avi::ReadStatus::Ok);
}

TEST(AviReader, EveryTruncationIsRefusedOrYieldsOnlyWholeFrames)
{
    aviwriter::Format f = paletteFormat(4, 2);
    f.compression = 1;
    const Bytes file = aviwriter::buildAvi(f, {frameOf(10), frameOf(12), frameOf(14)});
    for (std::size_t size = 0; size < file.size(); ++size) {
        const auto result = avi::readAvi(file.data(), size);
        if (result.status != avi::ReadStatus::Ok)
            continue;
        for (const avi::FrameRef &frame : result.clip.frames)
            ASSERT_LE(frame.offset + frame.size, size) << "cut at " << size;
    }
}
