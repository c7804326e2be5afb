#pragma once
// Picture objects: a bitmap, metafile, icon or enhanced metafile handle with
// its type and size, which the picture object owns and deletes.

#include "platform/gdi/types.h"
#include "platform/util/result.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace platform {

inline constexpr int PICTYPE_NONE = 0;
inline constexpr int PICTYPE_BITMAP = 1;
inline constexpr int PICTYPE_METAFILE = 2;
inline constexpr int PICTYPE_ICON = 3;
inline constexpr int PICTYPE_ENHMETAFILE = 4;

class Picture {
public:
    Picture(int type, HGDIOBJ handle, std::int32_t widthHiMetric, std::int32_t heightHiMetric)
        : type_(type), handle_(handle), width_(widthHiMetric), height_(heightHiMetric) {}
    ~Picture();
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    int Type() const { return type_; }
    HGDIOBJ Handle() const { return handle_; }
    // Size in 0.01 mm, as picture objects report it (96 pixels per inch).
    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }

    // Gives up ownership of the handle.
    HGDIOBJ release();

    // Draws the picture onto the 32-bit bitmap selected into `hdc`, over the
    // destination rectangle (x, y, cx, cy) in pixels, from the source
    // rectangle in 0.01 mm whose y axis points up from the bottom edge, as
    // picture objects take it: the whole picture upright is
    // (0, Height(), Width(), -Height()). Bitmaps are stretched by nearest
    // pixel, icons drawn through their mask. False for metafiles (this
    // platform has no metafile player), an empty destination or a DC
    // without a 32-bit bitmap.
    bool Render(HDC hdc, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy,
                std::int32_t xSrc, std::int32_t ySrc, std::int32_t cxSrc, std::int32_t cySrc) const;

private:
    int type_;
    HGDIOBJ handle_;
    std::int32_t width_;
    std::int32_t height_;
};

// Pixels to 0.01 mm at 96 pixels per inch, rounded.
constexpr std::int32_t PixelsToHiMetric(std::int32_t pixels) {
    return static_cast<std::int32_t>((std::int64_t{pixels} * 2540 + 48) / 96);
}
constexpr std::int32_t HiMetricToPixels(std::int32_t himetric) {
    return static_cast<std::int32_t>((std::int64_t{himetric} * 96 + 1270) / 2540);
}

// Wraps a handle; the picture owns it from then on. Null for a 0 handle or
// a type that does not match the handle.
std::unique_ptr<Picture> CreatePictureIndirect(HGDIOBJ handle, int type);

enum class PictureError {
    Unrecognised, // no format this loader knows
    Metafile,     // a Windows or enhanced metafile: recognised, not played
    BadBitmap,    // a bitmap file the bitmap decoder refused
    BadGif,       // a GIF the GIF decoder refused
    OutOfMemory,
};

std::string_view ErrorText(PictureError error);

// Reads a picture from a byte stream: any Windows bitmap file (expanded to
// an opaque 32-bit bitmap) or the first image of a GIF (an 8-bit bitmap of
// its palette indexes with the colour table in use as its palette).
velmora::Result<std::unique_ptr<Picture>, PictureError>
ReadPicture(std::span<const std::uint8_t> bytes);
// A packed device-independent bitmap (an info header, its masks or colour
// table, then the bits, as the clipboard and bitmap resources hold it),
// expanded to an opaque 32-bit bitmap.
velmora::Result<std::unique_ptr<Picture>, PictureError>
ReadPackedDib(std::span<const std::uint8_t> dib);
// ReadPicture, null on any failure.
std::unique_ptr<Picture> LoadPictureFromBytes(std::span<const std::uint8_t> bytes);

} // namespace platform
