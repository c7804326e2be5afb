#include "platform/testing/headless_site.h"

#include "platform/gdi/gdi.h"

#include <algorithm>
#include <cstring>

namespace platform {

HeadlessCanvas::HeadlessCanvas(int width, int height)
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

HeadlessCanvas::~HeadlessCanvas() {
    if (previous_ != 0) SelectObject(dc_, previous_);
    if (bitmap_ != 0) DeleteObject(bitmap_);
    if (dc_ != 0) DeleteDC(dc_);
}

std::uint32_t HeadlessCanvas::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_ || bits_.empty()) return 0;
    const std::size_t row = static_cast<std::size_t>(height_ - 1 - y);
    std::uint32_t value = 0;
    std::memcpy(&value, bits_.data() + (row * static_cast<std::size_t>(width_) + x) * 4, 4);
    return value;
}

void HeadlessSite::paint(WindowlessControl& control, HeadlessCanvas& canvas,
                         const RECT* clip) const {
    const RECT whole{0, 0, canvas.width(), canvas.height()};
    control.Paint(canvas.dc(), extent_.left, extent_.top, clip != nullptr ? *clip : whole);
}

void HeadlessSite::Invalidate(const RECT* area) {
    const RECT whole{0, 0, extent_.right - extent_.left, extent_.bottom - extent_.top};
    repaints.push_back(area != nullptr ? *area : whole);
    // The container repaints the control's part of its window.
    RECT inWindow = repaints.back();
    inWindow.left += extent_.left;
    inWindow.right += extent_.left;
    inWindow.top += extent_.top;
    inWindow.bottom += extent_.top;
    host_.InvalidateRect(window_, &inWindow, false);
}

void HeadlessSite::RaiseEvent(std::string_view name, std::span<EventArg> args) {
    events.push_back({std::string(name), {args.begin(), args.end()}});
    if (onEvent) onEvent(events.back().name, args);
}

std::vector<std::string> HeadlessSite::eventNames() const {
    std::vector<std::string> names;
    for (const Event& event : events)
        names.push_back(event.name);
    return names;
}

} // namespace platform
