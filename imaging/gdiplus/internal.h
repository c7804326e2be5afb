#pragma once
// What the parts of the GDI+ imaging library share beyond what every
// implementation does: the system's codecs and small owners for the handles
// of the flat API.

#include "imaging/common/common.h"

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

namespace gp = Gdiplus;

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
