#include "design/designer/edit_geometry.h"

#include "control/property_table.h"

#include <algorithm>
#include <cstdlib>
#include <numeric>

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

bool HasName(const std::vector<std::string>& names, std::string_view name) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& n) { return EqualsNoCase(n, name); });
}

std::string FreeName(std::string_view base, const std::vector<std::string>& taken) {
    for (std::size_t n = 1;; ++n) {
        std::string name(base);
        name += std::to_string(n);
        if (!HasName(taken, name)) return name;
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

namespace {

// Equal gaps along one axis: `start` and `length` read and `moveTo` places
// a rectangle on it.
template <typename Start, typename Length, typename MoveTo>
void distribute(std::vector<QRect>& rects, Start start, Length length, MoveTo moveTo) {
    if (rects.size() < 3) return;
    std::vector<std::size_t> order(rects.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return start(rects[a]) < start(rects[b]);
    });
    const QRect& first = rects[order.front()];
    const QRect& last = rects[order.back()];
    long long used = 0;
    for (const std::size_t i : order)
        used += length(rects[i]);
    const long long room = static_cast<long long>(start(last)) + length(last) - start(first) - used;
    const long long gaps = static_cast<long long>(order.size()) - 1;
    long long at = start(first);
    for (std::size_t k = 0; k < order.size(); ++k) {
        QRect& r = rects[order[k]];
        // The gaps so far, rounded down: the last one lands where it was.
        const long long before = room * static_cast<long long>(k) / gaps;
        moveTo(r, static_cast<int>(at + before));
        at += length(r);
    }
}

} // namespace

std::vector<QRect> Align(const std::vector<QRect>& rects, Alignment how) {
    std::vector<QRect> out = rects;
    if (out.size() < 2) return out;
    const QRect ref = rects.front();
    const auto x = [](const QRect& r) { return r.x(); };
    const auto y = [](const QRect& r) { return r.y(); };
    const auto width = [](const QRect& r) { return r.width(); };
    const auto height = [](const QRect& r) { return r.height(); };
    for (QRect& r : out) {
        switch (how) {
        case Alignment::Left:
            r.moveLeft(ref.x());
            break;
        case Alignment::Right:
            r.moveLeft(ref.x() + ref.width() - r.width());
            break;
        case Alignment::Top:
            r.moveTop(ref.y());
            break;
        case Alignment::Bottom:
            r.moveTop(ref.y() + ref.height() - r.height());
            break;
        case Alignment::Centres:
            r.moveLeft(ref.x() + ref.width() / 2 - r.width() / 2);
            break;
        case Alignment::Middles:
            r.moveTop(ref.y() + ref.height() / 2 - r.height() / 2);
            break;
        case Alignment::SameWidth:
            r.setWidth(ref.width());
            break;
        case Alignment::SameHeight:
            r.setHeight(ref.height());
            break;
        case Alignment::SameSize:
            r.setSize(ref.size());
            break;
        case Alignment::DistributeHorizontally:
        case Alignment::DistributeVertically:
            break;
        }
    }
    if (how == Alignment::DistributeHorizontally)
        distribute(out, x, width, [](QRect& r, int at) { r.moveLeft(at); });
    if (how == Alignment::DistributeVertically)
        distribute(out, y, height, [](QRect& r, int at) { r.moveTop(at); });
    return out;
}

int NearestGridLine(int value, int grid) {
    if (grid < 2) return value;
    // Floor division, so that negative places round the same way.
    const int shifted = value + grid / 2;
    const int line = shifted >= 0 ? shifted / grid : -((-shifted + grid - 1) / grid);
    return line * grid;
}

namespace {

// One axis of SnapRect: the offset that snaps the first of `moved` it can,
// and where its guide goes.
struct AxisSnap {
    int offset = 0;
    std::optional<int> guide;
};

AxisSnap snapAxis(const std::vector<int>& moved, const std::vector<int>& targets, int grid,
                  int reach) {
    AxisSnap best;
    int nearest = reach + 1;
    for (const int m : moved)
        for (const int t : targets)
            if (std::abs(t - m) < nearest) {
                nearest = std::abs(t - m);
                best = {t - m, t};
            }
    if (best.guide || moved.empty()) return best;
    return {NearestGridLine(moved.front(), grid) - moved.front(), std::nullopt};
}

} // namespace

Snapped SnapRect(const QRect& r, std::optional<Handle> handle, const std::vector<QRect>& others,
                 int grid, int reach) {
    int left = r.x(), top = r.y(), right = r.x() + r.width(), bottom = r.y() + r.height();
    std::vector<int> targetsX, targetsY;
    for (const QRect& o : others) {
        targetsX.insert(targetsX.end(), {o.x(), o.x() + o.width() / 2, o.x() + o.width()});
        targetsY.insert(targetsY.end(), {o.y(), o.y() + o.height() / 2, o.y() + o.height()});
    }
    Snapped out;
    if (!handle) {
        const AxisSnap x = snapAxis({left, left + r.width() / 2, right}, targetsX, grid, reach);
        const AxisSnap y = snapAxis({top, top + r.height() / 2, bottom}, targetsY, grid, reach);
        out.rect = r.translated(x.offset, y.offset);
        out.guideX = x.guide;
        out.guideY = y.guide;
        return out;
    }
    const Handle h = *handle;
    const bool movesLeft = h == Handle::TopLeft || h == Handle::Left || h == Handle::BottomLeft;
    const bool movesRight = h == Handle::TopRight || h == Handle::Right || h == Handle::BottomRight;
    const bool movesTop = h == Handle::TopLeft || h == Handle::Top || h == Handle::TopRight;
    const bool movesBottom =
        h == Handle::BottomLeft || h == Handle::Bottom || h == Handle::BottomRight;
    if (movesLeft || movesRight) {
        const AxisSnap x = snapAxis({movesLeft ? left : right}, targetsX, grid, reach);
        if (movesLeft) left = std::min(left + x.offset, right - 1);
        if (movesRight) right = std::max(right + x.offset, left + 1);
        out.guideX = x.guide;
    }
    if (movesTop || movesBottom) {
        const AxisSnap y = snapAxis({movesTop ? top : bottom}, targetsY, grid, reach);
        if (movesTop) top = std::min(top + y.offset, bottom - 1);
        if (movesBottom) bottom = std::max(bottom + y.offset, top + 1);
        out.guideY = y.guide;
    }
    out.rect = QRect(left, top, right - left, bottom - top);
    return out;
}

} // namespace velmora::designer
