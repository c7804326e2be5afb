// Everything our PNG writer makes, read back by libpng: each pixel must
// come out as the surface held it, colour un-premultiplied (c x 255 / a,
// truncated) where alpha is partial, any colour where alpha is 0, and the
// alpha ignored (255) when the surface's Alpha flag is off.
//
// Input: width - 1, height - 1 (each modulo 64), a mode byte, then pixel
// bytes used cyclically. Mode bit 0: the Alpha flag; bit 1: keep the bytes
// as they are (possibly not premultiplied, which the writer must refuse);
// bits 2-3: 0 any colour, 1 few colours, 2 grey, 3 grey or transparent.

#include "codecs/cpngwriter.h"
#include "dib/c32bppdib.h"
#include "fuzz/differential.h"

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <png.h>
#include <span>
#include <string>
#include <vector>

namespace {

struct Reference {
    std::string error;
    std::span<const std::uint8_t> input;
    std::size_t position = 0;
    std::uint32_t width = 0, height = 0;
    std::vector<std::uint8_t> rgba;
    std::vector<png_bytep> rows;
};

void onError(png_structp png, png_const_charp message) {
    static_cast<Reference*>(png_get_error_ptr(png))->error = message;
    png_longjmp(png, 1);
}

// A warning about what we wrote is a fault of ours as well.
void onWarning(png_structp png, png_const_charp message) {
    onError(png, message);
}

void onRead(png_structp png, png_bytep out, png_size_t size) {
    auto* ref = static_cast<Reference*>(png_get_io_ptr(png));
    if (ref->input.size() - ref->position < size) png_error(png, "read past the end");
    std::memcpy(out, ref->input.data() + ref->position, size);
    ref->position += size;
}

// Only trivially destructible locals here: libpng leaves by longjmp.
bool decodeLibpng(Reference& ref) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &ref, onError, onWarning);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &ref, onRead);
    png_read_info(png, info);
    ref.width = png_get_image_width(png, info);
    ref.height = png_get_image_height(png, info);
    png_set_expand(png); // palette and key colours to alpha
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != std::size_t{ref.width} * 4)
        png_error(png, "unexpected row size");
    ref.rgba.assign(std::size_t{ref.width} * ref.height * 4, 0);
    ref.rows.resize(ref.height);
    for (std::uint32_t y = 0; y < ref.height; ++y)
        ref.rows[y] = ref.rgba.data() + std::size_t{y} * ref.width * 4;
    png_read_image(png, ref.rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const int width = 1 + data[0] % 64;
    const int height = 1 + data[1] % 64;
    const std::uint8_t mode = data[2];
    const bool alphaFlag = mode & 1;
    const bool raw = mode & 2;
    const int palette = (mode >> 2) & 3;
    const std::uint8_t* bytes = data + 3;
    const std::size_t count = size - 3;

    c32bppDIB s;
    if (!s.InitializeDIB(width, height)) return 0;
    s.Alpha(alphaFlag);
    std::uint8_t* p = s.BitsPointer();
    for (std::size_t i = 0; i < static_cast<std::size_t>(width) * height; ++i, p += 4) {
        auto at = [&](std::size_t k) -> std::uint8_t {
            return count ? bytes[(i * 4 + k) % count] : 0;
        };
        std::uint8_t b = at(0), g = at(1), r = at(2), a = at(3);
        if (palette == 1) {
            b &= 0xC0, g &= 0xC0, r &= 0x80, a = a & 1 ? 255 : a & 0x80;
        } else if (palette >= 2) {
            g = r = b;
            if (palette == 3) a = (a & 3) == 0 ? 0 : 255;
        }
        if (!raw) {
            b = static_cast<std::uint8_t>(b * a / 255);
            g = static_cast<std::uint8_t>(g * a / 255);
            r = static_cast<std::uint8_t>(r * a / 255);
        }
        p[0] = b, p[1] = g, p[2] = r, p[3] = a;
    }

    std::vector<std::uint8_t> png;
    cPNGwriter writer;
    if (!writer.SavePNG(s, png)) {
        if (raw && writer.lastError() == PngWriteError::NotPremultiplied) return 0;
        fuzzdiff::Disagree("the writer refuses a valid surface (%s)",
                           std::string(ErrorText(writer.lastError())).c_str());
    }
    Reference ref;
    ref.input = png;
    if (!decodeLibpng(ref))
        fuzzdiff::Disagree("libpng refuses what we wrote: %s", ref.error.c_str());
    if (ref.width != static_cast<std::uint32_t>(width) ||
        ref.height != static_cast<std::uint32_t>(height))
        fuzzdiff::Disagree("size: wrote %d x %d, libpng reads %u x %u", width, height, ref.width,
                           ref.height);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* src = s.row(y);
        const std::uint8_t* got = ref.rows[static_cast<std::size_t>(y)];
        for (int x = 0; x < width; ++x, src += 4, got += 4) {
            const std::uint8_t a = alphaFlag ? src[3] : 255;
            if (a == 0) {
                if (got[3] != 0)
                    fuzzdiff::Disagree("pixel (%d, %d): alpha 0 reads %u", x, y, got[3]);
                continue;
            }
            const std::uint8_t want[4] = {static_cast<std::uint8_t>(src[2] * 255 / a),
                                          static_cast<std::uint8_t>(src[1] * 255 / a),
                                          static_cast<std::uint8_t>(src[0] * 255 / a), a};
            if (std::memcmp(want, got, 4) != 0)
                fuzzdiff::Disagree("pixel (%d, %d): gave %u %u %u %u, libpng reads %u %u %u %u "
                                   "(red, green, blue, alpha)",
                                   x, y, want[0], want[1], want[2], want[3], got[0], got[1], got[2],
                                   got[3]);
        }
    }
    return 0;
}
