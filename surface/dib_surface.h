#pragma once
// The core of every image: Width x Height pixels of four bytes, blue,
// green, red, alpha, colour premultiplied by alpha, rows stored bottom row
// first with no padding, in a 32-bpp bottom-up DIB section (so the drawing
// calls read the pixels in place), with the DC it can be selected into, the
// alpha flag and the image type a reader gave it.
//
// The readers write into this core; c32bppDIB builds loading, saving,
// rendering and the effects on top of it.

#include "platform/gdi/types.h"
#include "platform/util/pixel_view.h"
#include "surface/image_types.h"

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace surface {

class DibSurface {
public:
    DibSurface() = default;
    ~DibSurface();
    DibSurface(const DibSurface&) = delete;
    DibSurface& operator=(const DibSurface&) = delete;

    // --- pixel access ------------------------------------------------------
    // The colour at (x, y), y = 0 being the top row, as 0x00BBGGRR; -1 outside
    // the image. Un-premultiplied (truncating) unless asPreMultiplied.
    std::int32_t GetPixel(std::int32_t x, std::int32_t y, std::int32_t& AlphaValue,
                          bool asPreMultiplied = false) const;

    // --- properties ----------------------------------------------------------
    bool Alpha() const { return alpha_; }
    void Alpha(bool value) { alpha_ = value; } // set by readers and effects only
    std::int32_t ImageType() const { return imageType_; }
    void ImageType(std::int32_t value) { imageType_ = value; } // set by readers only
    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }
    std::uint8_t* BitsPointer() const { return bits_; }
    std::int32_t scanWidth() const { return width_ * 4; }
    platform::HBITMAP Handle() const { return handle_; }

    platform::HDC LoadDIBinDC(bool bLoad);
    bool ManageOwnDC() const { return manageOwnDC_; }
    void ManageOwnDC(bool bManage);

    // --- life of the pixel memory ---------------------------------------------
    // A surface of |Width| x |Height| zeroed pixels; false (and an empty
    // surface) for a negative width, a zero height, or a size that does not
    // fit 32-bit signed arithmetic.
    bool InitializeDIB(std::int32_t Width, std::int32_t Height);
    void DestroyDIB();
    void EraseDIB();

    // Whether the section is selected into the own DC right now.
    bool isSelectedInOwnDC() const { return displaced_ != 0; }

    // The whole pixel buffer (Height rows of scanWidth bytes, bottom row first).
    std::span<std::uint8_t> pixels() const {
        return {bits_, static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4};
    }
    velmora::BgraPremulBottomUpView view() const { return {bits_, width_, height_}; }
    // Image row y (0 = top row).
    std::uint8_t* row(std::int32_t y) const {
        return bits_ +
               static_cast<std::size_t>(height_ - 1 - y) * static_cast<std::size_t>(width_) * 4;
    }

    // The source bytes kept by a load that asked for them; they go with the
    // pixels.
    const std::vector<std::uint8_t>& originalFormatBytes() const { return originalBytes_; }
    void setOriginalFormatBytes(std::vector<std::uint8_t> bytes) {
        originalBytes_ = std::move(bytes);
    }

private:
    void releaseOwnDC();

    platform::HBITMAP handle_ = 0;
    std::uint8_t* bits_ = nullptr;
    std::int32_t height_ = 0;
    std::int32_t width_ = 0;
    platform::HDC ownDC_ = 0;
    platform::HGDIOBJ displaced_ = 0;
    std::int32_t imageType_ = 0;
    bool manageOwnDC_ = false;
    bool alpha_ = false;
    std::vector<std::uint8_t> originalBytes_;
};

// Selects a surface's section into its own DC for one drawing and puts
// things back as they were: a section that was already selected stays
// selected.
class SectionInDc {
public:
    explicit SectionInDc(DibSurface& surface)
        : surface_(surface), wasSelected_(surface.isSelectedInOwnDC()),
          dc_(surface.LoadDIBinDC(true)) {}
    ~SectionInDc() {
        if (!wasSelected_) surface_.LoadDIBinDC(false);
    }
    SectionInDc(const SectionInDc&) = delete;
    SectionInDc& operator=(const SectionInDc&) = delete;
    platform::HDC dc() const { return dc_; }

private:
    DibSurface& surface_;
    bool wasSelected_;
    platform::HDC dc_;
};

} // namespace surface
