#include "surface/dib_surface.h"

#include "platform/gdi/gdi.h"
#include "platform/util/checked.h"

#include <algorithm>
#include <cstring>

using namespace platform;

namespace surface {

DibSurface::~DibSurface() {
    DestroyDIB();
}

bool DibSurface::InitializeDIB(std::int32_t Width, std::int32_t Height) {
    DestroyDIB();
    if (Width < 0 || Height == 0) return false;
    const std::int64_t rows = Height < 0 ? -std::int64_t{Height} : std::int64_t{Height};
    if (!velmora::imageBytes(Width, rows, 4)) return false;

    BITMAPINFOHEADER header;
    header.biWidth = Width;
    header.biHeight = static_cast<std::int32_t>(rows);
    header.biBitCount = 32;
    header.biSizeImage = static_cast<std::uint32_t>(std::int64_t{Width} * rows * 4);

    const HDC screen = GetDC(0);
    void* bits = nullptr;
    handle_ = CreateDIBSection(screen, header, {}, &bits);
    if (manageOwnDC_ && ownDC_ == 0) ownDC_ = CreateCompatibleDC(screen);
    ReleaseDC(0, screen);

    // A zero width passes the checks above; the platform refuses that section.
    if (handle_ == 0) return false;
    bits_ = static_cast<std::uint8_t*>(bits);
    width_ = Width;
    height_ = static_cast<std::int32_t>(rows);
    alpha_ = true;
    imageType_ = 0;
    return true;
}

void DibSurface::releaseOwnDC() {
    if (ownDC_ == 0) return;
    if (displaced_ != 0) SelectObject(ownDC_, displaced_);
    DeleteDC(ownDC_);
    ownDC_ = 0;
    displaced_ = 0;
}

void DibSurface::DestroyDIB() {
    // The own DC goes even when it is managed; the next InitializeDIB makes
    // a new one in that case.
    releaseOwnDC();
    if (handle_ != 0) {
        DeleteObject(handle_);
        originalBytes_.clear();
        originalBytes_.shrink_to_fit();
    }
    width_ = height_ = 0;
    handle_ = 0;
    bits_ = nullptr;
    alpha_ = false;
    imageType_ = -1;
}

void DibSurface::EraseDIB() {
    if (handle_ == 0) return;
    std::memset(bits_, 0, pixels().size());
    imageType_ = 0;
    alpha_ = true;
}

HDC DibSurface::LoadDIBinDC(bool bLoad) {
    if (bLoad) {
        if (handle_ == 0) return 0;
        if (ownDC_ == 0) {
            const HDC screen = GetDC(0);
            ownDC_ = CreateCompatibleDC(screen);
            ReleaseDC(0, screen);
        }
        if (displaced_ == 0) displaced_ = SelectObject(ownDC_, handle_);
        return ownDC_;
    }
    if (displaced_ != 0) {
        SelectObject(ownDC_, displaced_);
        displaced_ = 0;
        if (!manageOwnDC_) {
            DeleteDC(ownDC_);
            ownDC_ = 0;
        }
    }
    return 0;
}

void DibSurface::ManageOwnDC(bool bManage) {
    if (!bManage) {
        if (ownDC_ != 0) {
            if (handle_ != 0 && displaced_ != 0) SelectObject(ownDC_, displaced_);
            displaced_ = 0;
            DeleteDC(ownDC_);
            ownDC_ = 0;
        }
    } else if (ownDC_ == 0 && handle_ != 0) {
        const HDC screen = GetDC(0);
        ownDC_ = CreateCompatibleDC(screen);
        ReleaseDC(0, screen);
    }
    manageOwnDC_ = bManage;
}

std::int32_t DibSurface::GetPixel(std::int32_t x, std::int32_t y, std::int32_t& AlphaValue,
                                  bool asPreMultiplied) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        AlphaValue = 0;
        return -1;
    }
    const std::uint8_t* p = row(y) + static_cast<std::size_t>(x) * 4;
    const std::int32_t a = p[3];
    AlphaValue = a;
    std::int32_t b = p[0], g = p[1], r = p[2];
    if (!asPreMultiplied && a != 0 && a != 255) {
        // A pixel that breaks the premultiplied invariant (colour above
        // alpha) would spill into the next channel; it is held at 255.
        b = std::min(b * 255 / a, 255);
        g = std::min(g * 255 / a, 255);
        r = std::min(r * 255 / a, 255);
    }
    return r | (g << 8) | (b << 16);
}

} // namespace surface
