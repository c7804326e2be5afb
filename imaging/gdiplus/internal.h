#pragma once
// What the parts of the GDI+ imaging library share: the pixel-buffer view,
// sessions, the pixel limit, failure reasons, and small owners for the
// handles of the flat API.

#include "imaging/velmora_imaging.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

// min and max stay the standard library's.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// The flat API's headers need the Windows and COM types first.
#include <objidl.h>
// (kept in this order)
#include <gdiplus.h>

namespace vimg {

using Status = std::int32_t;
namespace gp = Gdiplus;

// A pixel buffer as the public structure describes it, with rows reached by
// image row (0 = top) whatever the memory order.
struct Pixels {
    std::uint8_t* bits = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t stride = 0;
    bool bottomUp = false;

    std::uint8_t* row(std::int32_t y) const {
        const std::ptrdiff_t memoryRow = bottomUp ? height - 1 - y : y;
        return bits + memoryRow * std::ptrdiff_t{stride};
    }
    // The top image row and the step to the next one, as GDI+ describes
    // a buffer: a bottom-up buffer has a negative step.
    std::uint8_t* top() const { return row(0); }
    std::int32_t step() const { return bottomUp ? -stride : stride; }
};

// Checks a caller's description: non-null bits, positive size, a stride of
// at least a row that is a multiple of four, and a buffer size that fits.
bool validPixels(const velmora_imaging_pixels* in, Pixels& out);

bool sessionLive();

// DAMAGED for sizes below 1, TOO_LARGE past the pixel limit.
Status checkSize(std::int64_t width, std::int64_t height);

// Why the last decode on the calling thread failed: a fixed English phrase
// that lives as long as the library.
Status refuse(Status status, const char* reason);
void clearReason();
const char* lastReason();

// colour x alpha / 255, truncated.
inline std::uint8_t premultiply(std::uint32_t colour, std::uint32_t alpha) {
    return static_cast<std::uint8_t>(colour * alpha / 255);
}
// colour x 255 / alpha, truncated, for alpha 1..255 (index alpha x 256 +
// colour); alpha 0 gives 0.
const std::uint8_t* unpremultiplyTable();

// The system's encoders, as the interface lists them; the same list for the
// life of the library.
struct SystemCodec {
    CLSID clsid;
    GUID format;
    std::string name, mime, extensions;
};
std::span<const SystemCodec> systemEncoders();
bool isPngFormat(const GUID& format);

// UTF-8 to UTF-16 for the wide file entries; empty for invalid UTF-8.
std::wstring widen(const char* utf8);

// --- owners ---------------------------------------------------------------------

struct ImageDisposer {
    void operator()(gp::GpImage* image) const { gp::DllExports::GdipDisposeImage(image); }
};
using Bitmap = std::unique_ptr<gp::GpBitmap, ImageDisposer>;

struct GraphicsDeleter {
    void operator()(gp::GpGraphics* g) const { gp::DllExports::GdipDeleteGraphics(g); }
};
using Graphics = std::unique_ptr<gp::GpGraphics, GraphicsDeleter>;

struct AttributesDisposer {
    void operator()(gp::GpImageAttributes* a) const {
        gp::DllExports::GdipDisposeImageAttributes(a);
    }
};
using Attributes = std::unique_ptr<gp::GpImageAttributes, AttributesDisposer>;

struct MatrixDeleter {
    void operator()(gp::GpMatrix* m) const { gp::DllExports::GdipDeleteMatrix(m); }
};
using Matrix = std::unique_ptr<gp::GpMatrix, MatrixDeleter>;

struct StreamReleaser {
    void operator()(IStream* s) const { s->Release(); }
};
using Stream = std::unique_ptr<IStream, StreamReleaser>;

// A GDI+ bitmap over pixels the caller owns (GDI+ reads and writes them in
// place, premultiplied); empty when GDI+ refuses.
Bitmap wrapPixels(const Pixels& px);

// --- the judging of untrusted data before the system decodes it -----------------

// A picture's declared size, or why its data cannot hold one.
struct Verdict {
    Status status = VELMORA_IMAGING_OK;
    const char* reason = nullptr;
    std::int64_t width = 0;
    std::int64_t height = 0;
};
Verdict judgeJpeg(std::span<const std::uint8_t> data);
Verdict judgePng(std::span<const std::uint8_t> data);
Verdict judgeTiff(std::span<const std::uint8_t> data);

} // namespace vimg
