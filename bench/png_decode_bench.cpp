// The PNG reader and its inflater against zlib and libpng on the same data.
//   build/bench/png_decode_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
// Two large images are generated: a "photographic" one (smooth shading with
// sensor-like grain, RGB) and a synthetic one (flat areas, gradients and
// hard edges, RGBA). Set VELMORA_BENCH_PHOTO to a PNG file to use a real
// photograph instead of the generated one.

#include "codecs/cpngparser.h"
#include "codecs/inflate.h"
#include "codecs/inflate_stream.h"
#include "dib/c32bppdib.h"
#include "platform/imaging/cgdiplus.h"
#include "platform/system/environment.h"
#include "platform/zlib/zlib_binding.h"
#include "sample_images.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <libdeflate.h>
#include <png.h>
#include <random>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Encoded {
    Bytes png;
    Bytes idat; // the zlib stream, all IDATs joined
    std::size_t inflatedSize = 0;
};

Encoded withIdat(Bytes png) {
    Encoded e;
    std::size_t pos = 8;
    std::uint32_t width = 0, height = 0;
    unsigned bits = 0;
    while (pos + 12 <= png.size()) {
        const std::uint32_t len =
            (png[pos] << 24) | (png[pos + 1] << 16) | (png[pos + 2] << 8) | png[pos + 3];
        const std::string type(png.begin() + pos + 4, png.begin() + pos + 8);
        const std::uint8_t* d = png.data() + pos + 8;
        if (type == "IHDR") {
            width = (d[0] << 24) | (d[1] << 16) | (d[2] << 8) | d[3];
            height = (d[4] << 24) | (d[5] << 16) | (d[6] << 8) | d[7];
            const unsigned ch = d[9] == 6 ? 4 : d[9] == 2 ? 3 : d[9] == 4 ? 2 : 1;
            bits = d[8] * ch;
        }
        if (type == "IDAT") e.idat.insert(e.idat.end(), d, d + len);
        pos += len + 12;
    }
    e.inflatedSize = (static_cast<std::size_t>(width) * bits / 8 + 1) * height;
    e.png = std::move(png);
    return e;
}

const Encoded& photo() {
    static const Encoded e = [] {
        if (const char* path = std::getenv("VELMORA_BENCH_PHOTO")) {
            std::ifstream in(path, std::ios::binary);
            return withIdat(Bytes(std::istreambuf_iterator<char>(in), {}));
        }
        const int w = 4000, h = 3000;
        return withIdat(benchimages::encodePng(benchimages::photoPixels(w, h), w, h, 3));
    }();
    return e;
}

const Encoded& synthetic() {
    static const Encoded e = [] {
        const int w = 3000, h = 2000;
        Bytes px(static_cast<std::size_t>(w) * h * 4);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                std::uint8_t* p = &px[(static_cast<std::size_t>(y) * w + x) * 4];
                const bool box = ((x / 150) + (y / 100)) % 3 == 0;
                p[0] = box ? 30 : static_cast<std::uint8_t>(x * 255 / w);
                p[1] = box ? 144 : static_cast<std::uint8_t>(y * 255 / h);
                p[2] = static_cast<std::uint8_t>(((x ^ y) >> 4) & 0xFF);
                const int dx = x - w / 2, dy = y - h / 2;
                p[3] = dx * dx + dy * dy < 700 * 700 ? 255 : (box ? 0 : 128);
            }
        return withIdat(benchimages::encodePng(px, w, h, 4));
    }();
    return e;
}

const Encoded& image(int which) {
    return which == 0 ? photo() : synthetic();
}
const char* imageName(int which) {
    return which == 0 ? "photo" : "synthetic";
}

void BM_InflateOwn(benchmark::State& state) {
    const Encoded& e = image(static_cast<int>(state.range(0)));
    Bytes out(e.inflatedSize);
    {
        // Measure only a decode that gives zlib's answer.
        Bytes ref(e.inflatedSize);
        uLongf n = ref.size();
        const int rc = uncompress(ref.data(), &n, e.idat.data(), e.idat.size());
        const auto r = codecs::InflateZlib(e.idat, out);
        if (rc != Z_OK || !r || *r != n || out != ref) {
            state.SkipWithError(r ? "output differs from zlib's"
                                  : std::string(codecs::ErrorText(r.error())).c_str());
            return;
        }
    }
    for (auto _ : state) {
        auto r = codecs::InflateZlib(e.idat, out);
        if (!r) state.SkipWithError("inflate failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel(imageName(static_cast<int>(state.range(0))));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * e.inflatedSize));
}

// The windowed inflater as the PNG reader uses it without zlib: the data in
// IDAT-sized pieces, the output handed on a stretch at a time.
void BM_InflateOwnStream(benchmark::State& state) {
    const Encoded& e = image(static_cast<int>(state.range(0)));
    class Pieces final : public codecs::InflateInput {
    public:
        explicit Pieces(const Bytes& data) : data_(data) {}
        bool next(std::span<const std::uint8_t>& piece) override {
            const std::size_t n = std::min<std::size_t>(8192, data_.size() - at_);
            piece = std::span(data_).subspan(at_, n);
            at_ += n;
            return true;
        }

    private:
        const Bytes& data_;
        std::size_t at_ = 0;
    };
    class Count final : public codecs::InflateOutput {
    public:
        bool take(std::span<const std::uint8_t> bytes) override {
            benchmark::DoNotOptimize(bytes.data());
            total += bytes.size();
            return true;
        }
        std::size_t total = 0;
    };
    for (auto _ : state) {
        Pieces input(e.idat);
        Count output;
        const auto r = codecs::InflateZlibStream(input, output);
        if (!r || output.total != e.inflatedSize) state.SkipWithError("inflate failed");
    }
    state.SetLabel(imageName(static_cast<int>(state.range(0))));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * e.inflatedSize));
}

void BM_InflateZlib(benchmark::State& state) {
    const Encoded& e = image(static_cast<int>(state.range(0)));
    Bytes out(e.inflatedSize);
    for (auto _ : state) {
        uLongf n = out.size();
        if (uncompress(out.data(), &n, e.idat.data(), e.idat.size()) != Z_OK)
            state.SkipWithError("uncompress failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel(imageName(static_cast<int>(state.range(0))));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * e.inflatedSize));
}

// libdeflate decodes a whole buffer at once, as ours does: the fastest
// inflater we know of, and so the one to keep up with.
void BM_InflateLibdeflate(benchmark::State& state) {
    const Encoded& e = image(static_cast<int>(state.range(0)));
    Bytes out(e.inflatedSize);
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    for (auto _ : state) {
        std::size_t n = 0;
        if (libdeflate_zlib_decompress(d, e.idat.data(), e.idat.size(), out.data(), out.size(),
                                       &n) != LIBDEFLATE_SUCCESS)
            state.SkipWithError("libdeflate failed");
        benchmark::DoNotOptimize(out.data());
    }
    libdeflate_free_decompressor(d);
    state.SetLabel(imageName(static_cast<int>(state.range(0))));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * e.inflatedSize));
}

void decodeWithReader(benchmark::State& state, bool withZlib) {
    const Encoded& e = image(static_cast<int>(state.range(0)));
    platform::ScopedEnvironment env;
    env->imagingLibraryNames = {};
    env->zlibLibraryNames =
        withZlib ? platform::Environment::DefaultZlibLibraryNames() : std::vector<std::string>{};
    c32bppDIB surface;
    for (auto _ : state) {
        cPNGparser reader;
        reader.LoadStream(e.png, surface, 0, static_cast<std::int32_t>(e.png.size()), 0);
        if (surface.Handle() == 0) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(surface.BitsPointer());
    }
    state.SetLabel(imageName(static_cast<int>(state.range(0))));
}

void BM_DecodeOwnInflater(benchmark::State& state) {
    decodeWithReader(state, false);
}
void BM_DecodeZlib(benchmark::State& state) {
    decodeWithReader(state, true);
}

// libpng to 8-bit RGBA rows: the same work up to premultiplication. Every
// load makes a new image, so the output is a new buffer each time (range 1
// = 1); with range 1 = 0 one buffer is reused, which spares libpng the
// allocation and page faults our reader pays for its surface.
void BM_DecodeLibpng(benchmark::State& state) {
    const Encoded& e = image(static_cast<int>(state.range(0)));
    const bool fresh = state.range(1) != 0;
    Bytes pixels;
    for (auto _ : state) {
        if (fresh) Bytes().swap(pixels);
        struct Source {
            const Bytes* data;
            std::size_t pos;
        } src{&e.png, 0};
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_set_read_fn(png, &src, [](png_structp p, png_bytep out, png_size_t n) {
            auto* s = static_cast<Source*>(png_get_io_ptr(p));
            std::memcpy(out, s->data->data() + s->pos, n);
            s->pos += n;
        });
        png_read_info(png, info);
        png_set_expand(png);
        png_set_strip_16(png);
        png_set_gray_to_rgb(png);
        png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
        png_read_update_info(png, info);
        const auto w = png_get_image_width(png, info);
        const auto h = png_get_image_height(png, info);
        pixels.resize(static_cast<std::size_t>(w) * h * 4);
        for (png_uint_32 y = 0; y < h; ++y)
            png_read_row(png, pixels.data() + static_cast<std::size_t>(y) * w * 4, nullptr);
        png_destroy_read_struct(&png, &info, nullptr);
        benchmark::DoNotOptimize(pixels.data());
    }
    state.SetLabel(std::string(imageName(static_cast<int>(state.range(0)))) +
                   (fresh ? " fresh output" : " reused output"));
}

BENCHMARK(BM_InflateOwn)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InflateOwnStream)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InflateZlib)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InflateLibdeflate)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeOwnInflater)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeZlib)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeLibpng)->ArgsProduct({{0, 1}, {1, 0}})->Unit(benchmark::kMillisecond);

} // namespace
