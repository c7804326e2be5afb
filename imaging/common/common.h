#pragma once
// What every implementation of the imaging interface shares, whatever
// codecs and drawing engine stand underneath: the pixel-buffer view,
// argument checks, sessions, the pixel limit, failure reasons, the
// premultiplication rules and the plausibility walks over untrusted
// headers. The second half names what each implementation provides; the
// shared entries call it once the arguments are checked.

#include "imaging/velmora_imaging.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <vector>

namespace vimg {

using Status = std::int32_t;

// A pixel buffer as the public structure describes it, with rows reached by
// image row (0 = top) whatever the memory order.
struct Pixels {
    std::uint8_t* bits = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::ptrdiff_t stride = 0;
    bool bottomUp = false;

    std::uint8_t* row(std::int32_t y) const {
        const std::ptrdiff_t memoryRow = bottomUp ? height - 1 - y : y;
        return bits + memoryRow * stride;
    }
    // True when the rows lie back to back, width x 4 bytes each.
    bool packed() const { return stride == std::ptrdiff_t{width} * 4; }
    // The top image row and the step to the next one: a bottom-up buffer
    // has a negative step. The stride came from a 32-bit field.
    std::uint8_t* top() const { return row(0); }
    std::int32_t step() const { return static_cast<std::int32_t>(bottomUp ? -stride : stride); }
};

// Checks a caller's description: non-null bits, positive size, a stride of
// at least a row that is a multiple of four, and a buffer size that fits.
bool validPixels(const velmora_imaging_pixels* in, Pixels& out);

// Without a buffer bigger than the pixel limit: DAMAGED for sizes below 1,
// TOO_LARGE past the limit.
Status checkSize(std::int64_t width, std::int64_t height);

// The decoders' way to their pixel memory: the size is checked against the
// pixel limit (and the 32-bit surface size) before the caller is asked.
class Allocator {
public:
    Allocator(velmora_imaging_allocate allocate, void* context)
        : allocate_(allocate), context_(context) {}
    // VELMORA_IMAGING_OK with `out` filled, or the reason there is none.
    Status make(std::int64_t width, std::int64_t height, Pixels& out) const;

private:
    velmora_imaging_allocate allocate_;
    void* context_;
};

bool sessionLive();
// Held while the system underneath is started or stopped, so that one
// startup or shutdown runs at a time, the sessions' own included.
std::unique_lock<std::mutex> lockSessions();

// Why the last decode on the calling thread failed: a fixed English phrase
// that lives as long as the library. refuse() records the phrase and
// answers the status, so a decoder writes `return refuse(DAMAGED, "...")`.
Status refuse(Status status, const char* reason);
void clearReason();
const char* lastReason();

// colour x alpha / 255, truncated.
inline std::uint8_t premultiply(std::uint32_t colour, std::uint32_t alpha) {
    return static_cast<std::uint8_t>(colour * alpha / 255);
}

// Straight BGRA to premultiplied, in place.
void premultiplyRow(std::uint8_t* bgra, std::int32_t count);
// Straight RGBA (red first) to premultiplied BGRA, in place.
void premultiplySwapRow(std::uint8_t* rgba, std::int32_t count);
// Premultiplied data read from a file that may break the rule colour <=
// alpha: each colour is held to its alpha, in place.
void clampToAlphaRow(std::uint8_t* bgra, std::int32_t count);

// True when any pixel is not opaque: such pictures are encoded with alpha.
bool anyTranslucent(const Pixels& pixels);

// colour x 255 / alpha, truncated, for alpha 1..255 (index alpha x 256 +
// colour); alpha 0 gives 0.
const std::uint8_t* unpremultiplyTable();

// --- PNG structure -------------------------------------------------------------

// What a walk over PNG chunks found, read without any PNG library: the
// header's fields and the image data's total size. Chunk lengths are only
// trusted within the data.
struct PngLayout {
    enum class End { Ended, Truncated, Overrun };
    bool header = false; // a 13-byte IHDR chunk stands first
    std::uint64_t width = 0, height = 0;
    unsigned depth = 0;
    unsigned channels = 0;        // 0 for an unknown colour type
    std::uint64_t compressed = 0; // the IDAT chunks' lengths, within the data
    // Ended at IEND, or the data ran out before a chunk's frame (Truncated)
    // or before its declared end (Overrun).
    End end = End::Truncated;
};
PngLayout walkPng(std::span<const std::uint8_t> data);
// The same walk over `size` bytes read through readAt (false when the bytes
// cannot be read), for data not held in memory.
using ReadAt = std::function<bool(std::uint64_t at, std::span<std::uint8_t> out)>;
PngLayout walkPng(std::uint64_t size, const ReadAt& readAt);

// True when the image data cannot inflate to the rows the header declares:
// deflate gives at most 1032 bytes for every byte in, and each row needs
// its bytes and a filter byte. For a size within the pixel limit.
bool pngDataTooShort(const PngLayout& layout);

// The VELMORA_IMAGING_FORMAT_ code of data by its signature; 0 for none.
std::int32_t formatOf(std::span<const std::uint8_t> data);

// --- what each implementation provides -----------------------------------------

// Sets up the system underneath for a new session (with the sessions
// locked); false when it cannot be. `handle` is handed back to stopSystem.
bool startSystem(std::uintptr_t& handle);
void stopSystem(std::uintptr_t handle);

// The codecs as the interface lists them, the same for the life of the
// library; an encoder is named to encodeWith by its place in the list.
std::span<const velmora_imaging_codec> encoderList();
std::span<const velmora_imaging_codec> decoderList();

// Decodes data of a format the implementation reads (JPEG, PNG, TIFF or
// WebP by its signature) into memory from the allocator.
Status decodeFormat(std::int32_t format, std::span<const std::uint8_t> data,
                    const Allocator& allocator);
// A whole regular file, refused past 2^31 - 1 bytes.
Status readWholeFile(const char* path, std::vector<std::uint8_t>& out);
// Decodes a file of a format the implementation reads straight from the
// file, so the file is never held whole: the status, with `format` set as
// decodeFormat's caller sets it. kReadWhole for any other file (or one that
// cannot be opened): the caller then reads it whole and decodes the bytes,
// which answers as the decode always did.
inline constexpr Status kReadWhole = -1;
Status decodeFileDirectly(const char* path, const Allocator& allocator, std::int32_t& format);

// Draws with parameters already checked: finite, a region of positive
// size, a known interpolation and a destination that is not empty.
Status drawChecked(const Pixels& source, const Pixels& target,
                   const velmora_imaging_draw_params& params);

// Encodes with the encoder at `encoder` in encoderList() into the sink, or
// into a file that is replaced only once complete.
Status encodeWith(std::size_t encoder, const Pixels& pixels, velmora_imaging_sink sink,
                  void* context);
Status encodeFile(std::size_t encoder, const Pixels& pixels, const char* path);

} // namespace vimg
