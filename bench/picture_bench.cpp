// Decoding speed of the picture services and the readers built on them.
//   build/bench/picture_bench --benchmark_min_time=1
#include "codecs/cbmpparser.h"
#include "codecs/cgifparser.h"
#include "codecs/cicoparser.h"
#include "dib/c32bppdib.h"
#include "platform/picture/bitmap_decoder.h"
#include "platform/picture/gif_decoder.h"
#include "tests/support/image_files.h"

#include <benchmark/benchmark.h>
#include <random>

using namespace testfiles;

namespace {

constexpr int kSide = 1024;

std::vector<std::uint8_t> noise(int count, int colours) {
    std::mt19937 rng(1);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(count));
    // Runs of a few pixels, like a drawing rather than pure noise.
    for (std::size_t i = 0; i < out.size();) {
        const auto v = static_cast<std::uint8_t>(rng() % static_cast<unsigned>(colours));
        for (unsigned n = rng() % 8 + 1; n > 0 && i < out.size(); --n)
            out[i++] = v;
    }
    return out;
}

Bytes bitmap(std::uint16_t bpp) {
    Bytes dib = infoHeader(kSide, kSide, bpp);
    if (bpp <= 8) putPalette(dib, std::vector<Rgb>(std::size_t{1} << bpp, Rgb{10, 20, 30}));
    return bmpFile(dib, noise(rowBytes(bpp, kSide) * kSide, 256));
}

void decodeFile(benchmark::State& state, const Bytes& file) {
    const auto parsed = platform::ParseBitmapFile(file);
    std::vector<std::uint8_t> rows(parsed->layout.pixelCount() * 4);
    for (auto _ : state) {
        static_cast<void>(platform::DecodeDib(parsed->layout, parsed->bits, rows));
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}

void BM_Bitmap8(benchmark::State& state) {
    decodeFile(state, bitmap(8));
}
void BM_Bitmap4(benchmark::State& state) {
    decodeFile(state, bitmap(4));
}
void BM_Bitmap24(benchmark::State& state) {
    decodeFile(state, bitmap(24));
}
void BM_Bitmap16(benchmark::State& state) {
    decodeFile(state, bitmap(16));
}

void BM_GifLzw(benchmark::State& state) {
    const Bytes file = gifFile(kSide, kSide, std::vector<Rgb>(256),
                               {frame(0, 0, kSide, kSide, noise(kSide * kSide, 256))});
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::DecodeGif(file).ok());
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}

void BM_GifReaderTransparent(benchmark::State& state) {
    GifFrame f = frame(0, 0, kSide, kSide, noise(kSide * kSide, 256));
    f.transparent = 0;
    const Bytes file = gifFile(kSide, kSide, std::vector<Rgb>(256), {f});
    c32bppDIB surface;
    for (auto _ : state)
        cGIFparser().LoadStream(file, surface, 0, 0);
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}

void BM_BmpReader32(benchmark::State& state) {
    const Bytes file = bitmap(32);
    c32bppDIB surface;
    for (auto _ : state)
        cBMPparser().LoadStream(file, surface, 0, 0);
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}

void BM_IcoReader256(benchmark::State& state) {
    const Bytes entry = bitmapEntry(
        256, 256, 32, {},
        [](int x, int y) { return static_cast<std::uint32_t>(x * y) | 0x80000000u; },
        [](int, int) { return false; });
    Bytes file = icoFile({IcoEntry{0, 0, 32, entry}});
    c32bppDIB surface;
    for (auto _ : state) {
        std::int32_t offset = 0, length = 0;
        cICOparser().LoadStream(file, 256, 256, &surface, offset, length, 32, 0);
    }
    state.SetItemsProcessed(state.iterations() * 256 * 256);
}

BENCHMARK(BM_Bitmap8);
BENCHMARK(BM_Bitmap4);
BENCHMARK(BM_Bitmap16);
BENCHMARK(BM_Bitmap24);
BENCHMARK(BM_GifLzw);
BENCHMARK(BM_GifReaderTransparent);
BENCHMARK(BM_BmpReader32);
BENCHMARK(BM_IcoReader256);

} // namespace
