#include "platform/gdi/memory_canvas.h"

#include "platform/gdi/gdi.h"

#include <algorithm>
#include <cstring>

namespace platform {

MemoryCanvas::MemoryCanvas(int width, int height)
    : width_(std::max(width, 1)), height_(std::max(height, 1)) {
    dc_ = CreateCompatibleDC(0);
    BITMAPINFOHEADER header;
    header.biWidth = width_;
    header.biHeight = height_;
    header.biBitCount = 32;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(dc_, header, {}, &bits);
    if (dc_ != 0 && bitmap_ != 0 && bits != nullptr) {
        previous_ = SelectObject(dc_, bitmap_);
        bits_ = {static_cast<std::uint8_t*>(bits),
                 static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4};
    }
}

MemoryCanvas::~MemoryCanvas() {
    if (previous_ != 0) SelectObject(dc_, previous_);
    if (bitmap_ != 0) DeleteObject(bitmap_);
    if (dc_ != 0) DeleteDC(dc_);
}

std::uint32_t MemoryCanvas::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_ || bits_.empty()) return 0;
    std::uint32_t value = 0;
    std::memcpy(&value, row(y) + static_cast<std::size_t>(x) * 4, 4);
    return value;
}

void MemoryCanvas::fill(const RECT& area, std::uint32_t bgra) {
    if (bits_.empty()) return;
    const int left = std::max<int>(area.left, 0), right = std::min<int>(area.right, width_);
    const int top = std::max<int>(area.top, 0), bottom = std::min<int>(area.bottom, height_);
    for (int y = top; y < bottom; ++y) {
        std::uint8_t* p = row(y) + static_cast<std::size_t>(left) * 4;
        for (int x = left; x < right; ++x, p += 4)
            std::memcpy(p, &bgra, 4);
    }
}

} // namespace platform
