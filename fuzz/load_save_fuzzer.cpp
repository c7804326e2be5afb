// Loads arbitrary bytes through the surface's loading entry point, which
// offers them to every reader present, then saves the image as PNG and as a
// bitmap file and reads both back. Any disagreement stops the run:
// - the kept source bytes are the input, and reloading them gives the same
//   pixels;
// - the PNG saves (a reader only ever leaves premultiplied pixels) and our
//   reader gives back what the writer's rules promise: opaque and clear
//   pixels exactly, partly transparent ones premultiplied again from the
//   straight colour in the file;
// - the bitmap file reads back as the bitmap reader's rules say.

#include "codecs/byte_reader.h"
#include "codecs/modparsers.h"
#include "dib/c32bppdib.h"
#include "platform/host/window_host.h"
#include "platform/imaging/cgdiplus.h"
#include "platform/system/environment.h"
#include "platform/zlib/zlib_binding.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace {

void require(bool condition) {
    if (!condition) __builtin_trap();
}

// Headers may ask for large images in a few bytes, and the PNG reader fills
// rows the data does not reach with zeros, so a tiny input can make a huge
// surface. Such images are valid but only cost time here (every one is
// deflated at level 9): skip inputs that ask for more than 2^19 pixels.
constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 19;

bool tooLarge(std::span<const std::uint8_t> data) {
    for (std::size_t i = 0; i + 12 <= data.size(); ++i) {
        if (data[i] != 'I' || data[i + 1] != 'H' || data[i + 2] != 'D' || data[i + 3] != 'R')
            continue;
        const std::uint64_t w = codecs::loadU32be(&data[i + 4]) & 0x7FFFFFFF;
        const std::uint64_t h = codecs::loadU32be(&data[i + 8]) & 0x7FFFFFFF;
        if (w * h > kMaxPixels) return true;
    }
    if (data.size() >= 26 && data[0] == 'B' && data[1] == 'M') {
        const auto w = static_cast<std::int32_t>(codecs::loadU32le(&data[18]));
        const auto h = static_cast<std::int32_t>(codecs::loadU32le(&data[22]));
        const std::uint64_t aw = w < 0 ? -std::int64_t{w} : w;
        const std::uint64_t ah = h < 0 ? -std::int64_t{h} : h;
        if (aw * ah > kMaxPixels) return true;
    }
    // A GIF's first image has a size of its own, which may dwarf the screen
    // it claims to sit on: every image descriptor counts.
    if (data.size() >= 6 && (data[0] | 0x20) == 'g' && (data[1] | 0x20) == 'i' &&
        (data[2] | 0x20) == 'f') {
        for (std::size_t i = 6; i + 9 <= data.size(); ++i) {
            if (data[i] != 0x2C) continue;
            const std::uint64_t w = codecs::loadU16le(&data[i + 5]);
            const std::uint64_t h = codecs::loadU16le(&data[i + 7]);
            if (w * h > kMaxPixels) return true;
        }
    }
    return false;
}

// The rare message box of a load (memory running out) is not a finding.
class SilentHost final : public platform::WindowHost {
public:
    int MessageBox(const std::string&, const std::string&, unsigned) override {
        return platform::IDOK;
    }
};

bool equalPixels(const c32bppDIB& a, const c32bppDIB& b) {
    return a.Width() == b.Width() && a.Height() == b.Height() &&
           std::equal(a.pixels().begin(), a.pixels().end(), b.pixels().begin());
}

// What the PNG writer keeps of a pixel, read back by our reader: the file
// holds colour x 255 / alpha (truncated), the reader multiplies it by alpha
// / 255 again (truncated).
void expectPngReload(const c32bppDIB& s, const c32bppDIB& back) {
    require(back.Handle() != 0 && back.Width() == s.Width() && back.Height() == s.Height());
    require(back.ImageType() == modParsers::itPNG);
    bool anyNotOpaque = false;
    const std::uint8_t* p = s.BitsPointer();
    const std::uint8_t* q = back.BitsPointer();
    const std::size_t count = s.pixels().size() / 4;
    for (std::size_t i = 0; i < count; ++i, p += 4, q += 4) {
        const unsigned a = s.Alpha() ? p[3] : 255;
        anyNotOpaque = anyNotOpaque || a != 255;
        std::uint8_t want[4] = {p[0], p[1], p[2], 255};
        if (a == 0) {
            std::fill_n(want, 4, 0);
        } else if (a != 255) {
            for (int c = 0; c < 3; ++c)
                want[c] = static_cast<std::uint8_t>(p[c] * 255 / a * a / 255);
            want[3] = static_cast<std::uint8_t>(a);
        }
        require(std::equal(want, want + 4, q));
    }
    // Transparency survives; an image without it never gains it.
    if (!s.Alpha() || anyNotOpaque) require(back.Alpha() == s.Alpha());
}

// 32 bits keep the pixels; the bitmap reader then finds alpha only when
// some pixels are opaque and some are not (otherwise every alpha becomes
// 255). 24 bits keep the colour, opaque.
void expectBitmapReload(const c32bppDIB& s, const c32bppDIB& back) {
    require(back.Handle() != 0 && back.Width() == s.Width() && back.Height() == s.Height());
    const std::size_t count = s.pixels().size() / 4;
    std::size_t opaque = 0;
    std::size_t clear = 0;
    for (std::size_t i = 0; i < count; ++i) {
        opaque += s.BitsPointer()[i * 4 + 3] == 255;
        clear += s.BitsPointer()[i * 4 + 3] == 0;
    }
    const bool keepsAlpha = s.Alpha() && opaque != count && clear != count;
    require(back.Alpha() == keepsAlpha);
    require(back.ImageType() ==
            (keepsAlpha ? modParsers::itBitmapPremultiplied : modParsers::itBitmap));
    const std::uint8_t* p = s.BitsPointer();
    const std::uint8_t* q = back.BitsPointer();
    for (std::size_t i = 0; i < count; ++i, p += 4, q += 4)
        require(p[0] == q[0] && p[1] == q[1] && p[2] == q[2] && q[3] == (keepsAlpha ? p[3] : 255));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    if (tooLarge(bytes)) return 0;
    static SilentHost host;
    static const bool once = [] {
        platform::ProcessEnvironment().imagingLibraryNames = {};
        platform::ProcessEnvironment().host = &host;
        return true;
    }();
    (void)once;

    // Loaded without zlib: our own inflater and no CRC checks, so mutated
    // bytes reach the pixels instead of stopping at a checksum.
    platform::ProcessEnvironment().zlibLibraryNames = {};
    c32bppDIB s;
    const bool loaded = s.LoadPicture_Stream(bytes, 0, 0, 0, 0, true);
    require(loaded == (s.Handle() != 0));
    if (!loaded) {
        require(s.originalFormatBytes().empty());
        return 0;
    }
    std::vector<std::uint8_t> kept;
    require(s.GetOrginalFormat(kept) &&
            std::equal(kept.begin(), kept.end(), bytes.begin(), bytes.end()));
    // Readers leave premultiplied pixels: no colour above its alpha.
    if (s.Alpha()) {
        const std::uint8_t* p = s.BitsPointer();
        for (std::size_t i = 0; i < s.pixels().size(); i += 4)
            require(p[i] <= p[i + 3] && p[i + 1] <= p[i + 3] && p[i + 2] <= p[i + 3]);
    }

    // Saved and read back with zlib, so the reload checks every CRC the
    // writer made.
    platform::ProcessEnvironment().zlibLibraryNames =
        platform::Environment::DefaultZlibLibraryNames();
    std::vector<std::uint8_t> png;
    require(s.SaveToStream_PNG(png));
    c32bppDIB fromPng;
    require(fromPng.LoadPicture_Stream(png));
    expectPngReload(s, fromPng);

    std::vector<std::uint8_t> bmp;
    require(s.SaveToStream(bmp));
    c32bppDIB fromBmp;
    const bool bmpLoaded = fromBmp.LoadPicture_Stream(bmp);
    require(bmpLoaded);
    expectBitmapReload(s, fromBmp);

    // The kept bytes give the same image again (and stay kept).
    platform::ProcessEnvironment().zlibLibraryNames = {};
    c32bppDIB again;
    again.setOriginalFormatBytes(std::move(kept));
    require(again.LoadPicture_FromOrignalFormat());
    require(equalPixels(s, again) && again.Alpha() == s.Alpha() &&
            again.ImageType() == s.ImageType());
    require(again.originalFormatBytes().size() == size);
    return 0;
}
