// WebP through libwebp: lossy and lossless, with or without alpha, decoded
// straight into the target rows (flipped by libwebp for bottom-up targets)
// and premultiplied here with the program's truncating rule.

#include "imaging/src/internal.h"
#include "imaging/src/runtime_library.h"

#include <memory>
#include <webp/decode.h>

namespace vimg {
namespace {

// The runtime name of libwebp.
constexpr const char* kWebpLibrary = "libwebp.so.7";

// The functions of libwebp the reader calls: the entries behind the
// header's inline WebPInitDecoderConfig and WebPGetFeatures among them.
struct WebpLibrary {
    RuntimeLibrary library;
    decltype(&::WebPGetDecoderVersion) WebPGetDecoderVersion = nullptr;
    decltype(&::WebPInitDecoderConfigInternal) WebPInitDecoderConfigInternal = nullptr;
    decltype(&::WebPGetFeaturesInternal) WebPGetFeaturesInternal = nullptr;
    decltype(&::WebPDecode) WebPDecode = nullptr;
    decltype(&::WebPFreeDecBuffer) WebPFreeDecBuffer = nullptr;

    explicit WebpLibrary(const char* soname) : library(soname) {}
};

struct OutputFree {
    const WebpLibrary& webp;
    WebPDecBuffer* buffer;
    ~OutputFree() { webp.WebPFreeDecBuffer(buffer); }
};

// A key frame spends at least a bit on each 16 x 16 macroblock: its luma
// and chroma modes are coded with fixed probabilities, none cheaper than
// about 0.8 bit.
//
// Lossless data has no such bound: with one-symbol prefix codes a pixel
// costs nothing, so 68 bytes make a canvas of 16383 x 16383, which libwebp
// decodes into a whole picture of its own besides ours (2 GB, seconds).
// Such a file cannot be told from a flat picture that large, so a canvas
// beyond kLosslessFreePixels needs a byte of data for every
// kLosslessPixelsPerByte pixels, which pictures with content have many
// times over.
constexpr std::uint64_t kLosslessFreePixels = std::uint64_t{1} << 22;
constexpr std::uint64_t kLosslessPixelsPerByte = 1024;

bool tooShort(const WebPBitstreamFeatures& f, std::size_t size) {
    const std::uint64_t width = static_cast<std::uint32_t>(f.width);
    const std::uint64_t height = static_cast<std::uint32_t>(f.height);
    if (f.format == 1) return std::uint64_t{size} * 8 < (width + 15) / 16 * ((height + 15) / 16);
    const std::uint64_t pixels = width * height;
    return pixels > kLosslessFreePixels && size < pixels / kLosslessPixelsPerByte;
}

Status decodeWith(const WebpLibrary& webp, std::span<const std::uint8_t> data,
                  const Allocator& allocator) {
    WebPDecoderConfig config;
    if (!webp.WebPInitDecoderConfigInternal(&config, WEBP_DECODER_ABI_VERSION))
        return VELMORA_IMAGING_INIT_FAILED;
    if (webp.WebPGetFeaturesInternal(data.data(), data.size(), &config.input,
                                     WEBP_DECODER_ABI_VERSION) != VP8_STATUS_OK)
        return refuse(VELMORA_IMAGING_DAMAGED, "WebP header unreadable");
    if (config.input.has_animation) return VELMORA_IMAGING_UNSUPPORTED;
    if (tooShort(config.input, data.size()))
        return refuse(VELMORA_IMAGING_DAMAGED, "WebP bitstream too short for the canvas");

    Pixels px;
    if (const Status made = allocator.make(config.input.width, config.input.height, px);
        made != VELMORA_IMAGING_OK)
        return made;

    // libwebp writes top row first at `rgba`; for a bottom-up target that
    // is the lowest row in memory, with the picture flipped.
    config.options.flip = px.bottomUp ? 1 : 0;
    config.output.colorspace = MODE_BGRA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = px.bits;
    config.output.u.RGBA.stride = static_cast<int>(px.stride);
    config.output.u.RGBA.size =
        static_cast<std::size_t>(px.stride) * static_cast<std::size_t>(px.height);
    OutputFree release{webp, &config.output};
    if (webp.WebPDecode(data.data(), data.size(), &config) != VP8_STATUS_OK)
        return refuse(VELMORA_IMAGING_DAMAGED, "WebP bitstream damaged");

    // A lossless bitstream's alpha flag is only a hint: its pixels carry
    // whatever alpha they were coded with, flag or not.
    if (config.input.has_alpha || config.input.format != 1)
        for (std::int32_t y = 0; y < px.height; ++y)
            premultiplyRow(px.row(y), px.width);
    return VELMORA_IMAGING_OK;
}

// Null when the library is missing, lacks a function or is older than 1.0.
std::unique_ptr<const WebpLibrary> loadWebp(const char* soname) {
    auto webp = std::make_unique<WebpLibrary>(soname);
    const RuntimeLibrary& lib = webp->library;
    const bool complete = VIMG_RESOLVE(lib, *webp, WebPGetDecoderVersion) &&
                          VIMG_RESOLVE(lib, *webp, WebPInitDecoderConfigInternal) &&
                          VIMG_RESOLVE(lib, *webp, WebPGetFeaturesInternal) &&
                          VIMG_RESOLVE(lib, *webp, WebPDecode) &&
                          VIMG_RESOLVE(lib, *webp, WebPFreeDecBuffer);
    if (!complete || webp->WebPGetDecoderVersion() < 0x010000) return nullptr;
    return webp;
}

Status decodeOn(const WebpLibrary* webp, std::span<const std::uint8_t> data,
                const Allocator& allocator) {
    if (!webp)
        return refuse(VELMORA_IMAGING_UNSUPPORTED,
                      "WebP decoding unavailable: its library could not be loaded");
    return decodeWith(*webp, data, allocator);
}

} // namespace

Status decodeWebp(std::span<const std::uint8_t> data, const Allocator& allocator) {
    // Loaded on the first WebP and kept for the process.
    static const std::unique_ptr<const WebpLibrary> webp = loadWebp(kWebpLibrary);
    return decodeOn(webp.get(), data, allocator);
}

Status decodeWebpOn(const char* soname, std::span<const std::uint8_t> data,
                    const Allocator& allocator) {
    return decodeOn(loadWebp(soname).get(), data, allocator);
}

} // namespace vimg
