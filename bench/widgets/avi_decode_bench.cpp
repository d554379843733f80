// How fast the busy animation's clips are read and decoded. A frame must
// decode in a small fraction of its display interval (tens of milliseconds)
// so that playing it on the user-interface thread costs nothing noticeable.
#include "avi/avi_frame_decoder.h"
#include "avi/avi_reader.h"
#include "resources/avi/avi_writer.h"
#include "widgets/busy/busy_layout.h"

#include <benchmark/benchmark.h>

using namespace movan;

namespace {

constexpr int kWidth = 272;
constexpr int kHeight = 60;

std::vector<std::uint8_t> movingFigure(int frame)
{
    std::vector<std::uint8_t> pixels(std::size_t(kWidth) * kHeight, 0);
    for (int y = 20; y < 40; ++y)
        for (int x = frame * 4; x < frame * 4 + 16 && x < kWidth; ++x)
            pixels[std::size_t(y) * kWidth + std::size_t(x)] = std::uint8_t(1 + (x + y) % 5);
    return pixels;
}

aviwriter::Bytes rle8Clip(int frames)
{
    aviwriter::Format f;
    f.width = kWidth;
    f.height = kHeight;
    f.compression = 1;
    f.palette = {0xC0C0C0, 0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    std::vector<aviwriter::Bytes> chunks;
    for (int i = 0; i < frames; ++i)
        chunks.push_back(aviwriter::encodeRle8(movingFigure(i % 60), kWidth, kHeight));
    return aviwriter::buildAvi(f, chunks);
}

aviwriter::Bytes rgb24Clip(int frames)
{
    aviwriter::Format f;
    f.width = kWidth;
    f.height = kHeight;
    f.bitCount = 24;
    const std::size_t stride = (std::size_t(kWidth) * 3 + 3) & ~std::size_t(3);
    std::vector<aviwriter::Bytes> chunks(std::size_t(frames), aviwriter::Bytes(stride * kHeight, 0x80));
    return aviwriter::buildAvi(f, chunks, "00db");
}

void BM_ReadContainer(benchmark::State &state)
{
    const aviwriter::Bytes file = rle8Clip(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(avi::readAvi(file.data(), file.size()));
    state.SetItemsProcessed(std::int64_t(state.iterations()) * state.range(0)); // frames found
}
BENCHMARK(BM_ReadContainer)->Arg(20)->Arg(1000);

void decodeLoop(benchmark::State &state, const aviwriter::Bytes &file)
{
    const avi::ReadResult result = avi::readAvi(file.data(), file.size());
    avi::FrameDecoder decoder(result.clip);
    std::size_t next = 0;
    for (auto _ : state) {
        const avi::FrameRef &frame = result.clip.frames[next];
        benchmark::DoNotOptimize(decoder.decode(file.data() + frame.offset, frame.size));
        next = (next + 1) % result.clip.frames.size();
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()));
}

void BM_DecodeRle8Frame(benchmark::State &state)
{
    decodeLoop(state, rle8Clip(60));
}
BENCHMARK(BM_DecodeRle8Frame);

void BM_DecodeRgb24Frame(benchmark::State &state)
{
    decodeLoop(state, rgb24Clip(10));
}
BENCHMARK(BM_DecodeRgb24Frame);

void BM_StackedArrangement(benchmark::State &state)
{
    BusyLayout::Input input;
    input.hasCaption = true;
    input.captionWidth = 80;
    input.aviShown = true;
    input.aviSize = QSize(240, 48);
    input.message1 = {true, QSize(500, 14), [](int width) { return 14 * ((500 + width - 1) / width); }};
    input.message2 = {true, QSize(120, 14), [](int) { return 14; }};
    input.progressShown = true;
    input.cancelShown = true;
    for (auto _ : state)
        benchmark::DoNotOptimize(BusyLayout::SizeToContentTop(input, 0, 1280));
}
BENCHMARK(BM_StackedArrangement);

} // namespace

BENCHMARK_MAIN();
