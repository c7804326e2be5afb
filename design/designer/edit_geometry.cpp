#include "design/designer/edit_geometry.h"

#include "control/property_table.h"

#include <algorithm>

namespace velmora::designer {

std::array<QRect, kHandleCount> HandleRects(const QRect& r) {
    const int left = r.x(), top = r.y(), right = r.x() + r.width(), bottom = r.y() + r.height();
    const int midX = left + r.width() / 2, midY = top + r.height() / 2;
    const auto at = [](int x, int y) {
        return QRect(x - kHandleSize / 2, y - kHandleSize / 2, kHandleSize, kHandleSize);
    };
    return {at(left, top),     at(midX, top),    at(right, top),   at(right, midY),
            at(right, bottom), at(midX, bottom), at(left, bottom), at(left, midY)};
}

std::optional<Handle> HandleAt(const QRect& r, const QPoint& p) {
    const auto rects = HandleRects(r);
    // Corners last drawn on top win over the middles when a small control
    // makes them overlap.
    for (const int i : {0, 2, 4, 6, 1, 3, 5, 7})
        if (rects[static_cast<std::size_t>(i)].contains(p)) return static_cast<Handle>(i);
    return std::nullopt;
}

QRect ResizeRect(const QRect& start, Handle handle, const QPoint& delta) {
    int left = start.x(), top = start.y();
    int right = start.x() + start.width(), bottom = start.y() + start.height();
    const bool movesLeft =
        handle == Handle::TopLeft || handle == Handle::Left || handle == Handle::BottomLeft;
    const bool movesRight =
        handle == Handle::TopRight || handle == Handle::Right || handle == Handle::BottomRight;
    const bool movesTop =
        handle == Handle::TopLeft || handle == Handle::Top || handle == Handle::TopRight;
    const bool movesBottom =
        handle == Handle::BottomLeft || handle == Handle::Bottom || handle == Handle::BottomRight;
    if (movesLeft) left = std::min(left + delta.x(), right - 1);
    if (movesRight) right = std::max(right + delta.x(), left + 1);
    if (movesTop) top = std::min(top + delta.y(), bottom - 1);
    if (movesBottom) bottom = std::max(bottom + delta.y(), top + 1);
    return QRect(left, top, right - left, bottom - top);
}

QRect LimitToBox(const QRect& r, const QRect& box) {
    const int left = std::max(box.x(), std::min(r.x(), box.x() + box.width() - r.width()));
    const int top = std::max(box.y(), std::min(r.y(), box.y() + box.height() - r.height()));
    return QRect(QPoint(left, top), r.size());
}

QRect SpanRect(const QPoint& a, const QPoint& b) {
    const int left = std::min(a.x(), b.x()), top = std::min(a.y(), b.y());
    return QRect(left, top, std::max(a.x(), b.x()) - left + 1, std::max(a.y(), b.y()) - top + 1);
}

std::string FreeName(std::string_view base, const std::vector<std::string>& taken) {
    for (std::size_t n = 1;; ++n) {
        std::string name(base);
        name += std::to_string(n);
        if (std::none_of(taken.begin(), taken.end(),
                         [&](const std::string& t) { return EqualsNoCase(t, name); }))
            return name;
    }
}

QPoint FreeSpot(const QSize& size, const QRect& bounds, const std::vector<QRect>& occupied,
                int step) {
    const int margin = step;
    for (int y = bounds.y() + margin; y + size.height() <= bounds.y() + bounds.height();
         y += step) {
        for (int x = bounds.x() + margin; x + size.width() <= bounds.x() + bounds.width();
             x += step) {
            const QRect place(QPoint(x, y), size);
            if (std::none_of(occupied.begin(), occupied.end(),
                             [&](const QRect& o) { return o.intersects(place); }))
                return place.topLeft();
        }
    }
    return bounds.topLeft();
}

} // namespace velmora::designer
