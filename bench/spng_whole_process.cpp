// The libspng yardstick for whole-process PNG decoding: the same output as
// `velmora-image convert IN.png OUT.bgra` (rows bottom first, premultiplied
// blue, green, red, alpha), decoded row by row from the file with libspng.
//
//   spng_whole_process IN.png OUT.bgra

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <spng.h>
#include <vector>

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
struct ContextFreer {
    void operator()(spng_ctx* c) const { spng_ctx_free(c); }
};

int decode(const char* in, const char* out) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(in, "rb"));
    std::unique_ptr<spng_ctx, ContextFreer> ctx(spng_ctx_new(0));
    if (!file || !ctx || spng_set_png_file(ctx.get(), file.get()) != 0) return 1;
    spng_ihdr ihdr{};
    if (spng_get_ihdr(ctx.get(), &ihdr) != 0) return 1;
    const std::size_t stride = std::size_t{ihdr.width} * 4;
    std::size_t rowBytes = 0;
    if (spng_decoded_image_size(ctx.get(), SPNG_FMT_RGBA8, &rowBytes) != 0) return 1;
    rowBytes /= ihdr.height;
    auto pixels = std::make_unique_for_overwrite<std::uint8_t[]>(stride * ihdr.height);
    std::vector<std::uint8_t> row(rowBytes);
    if (spng_decode_image(ctx.get(), nullptr, 0, SPNG_FMT_RGBA8,
                          SPNG_DECODE_TRNS | SPNG_DECODE_PROGRESSIVE) != 0)
        return 1;
    spng_row_info info{};
    int rc = 0;
    do {
        if (spng_get_row_info(ctx.get(), &info) != 0) break;
        rc = spng_decode_row(ctx.get(), row.data(), row.size());
        if (rc != 0 && rc != SPNG_EOI) return 1;
        // Bottom row first, as a bottom-up DIB section holds it; RGBA to
        // premultiplied BGRA with a truncating division.
        std::uint8_t* d = pixels.get() + stride * (ihdr.height - 1 - info.row_num);
        for (std::size_t x = 0; x < stride; x += 4) {
            const unsigned a = row[x + 3];
            d[x] = static_cast<std::uint8_t>(row[x + 2] * a / 255);
            d[x + 1] = static_cast<std::uint8_t>(row[x + 1] * a / 255);
            d[x + 2] = static_cast<std::uint8_t>(row[x] * a / 255);
            d[x + 3] = static_cast<std::uint8_t>(a);
        }
    } while (rc == 0);
    std::ofstream o(out, std::ios::binary);
    o.write(reinterpret_cast<const char*>(pixels.get()),
            static_cast<std::streamsize>(stride * ihdr.height));
    return o ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3) return decode(argv[1], argv[2]);
    std::cerr << "usage: spng_whole_process IN.png OUT.bgra\n";
    return 2;
}
