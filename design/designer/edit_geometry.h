#pragma once
// The geometry of editing a form with the mouse: the eight grab handles
// around a selected control, which one the pointer is on, and the
// rectangle a drag of one of them gives.

#include <QPoint>
#include <QRect>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::designer {

// Clockwise from the top-left corner.
enum class Handle { TopLeft, Top, TopRight, Right, BottomRight, Bottom, BottomLeft, Left };
inline constexpr int kHandleCount = 8;
// Side of a handle's square, in pixels.
inline constexpr int kHandleSize = 7;

// The handles' squares, centred on the corners and the middles of the sides
// of `r` (its right and bottom edges are r.x() + r.width() and so on).
std::array<QRect, kHandleCount> HandleRects(const QRect& r);
// The handle under `p`, if any.
std::optional<Handle> HandleAt(const QRect& r, const QPoint& p);

// `start` with the edges the handle moves shifted by `delta`; an edge
// dragged past the opposite one stops there, leaving at least 1 pixel.
QRect ResizeRect(const QRect& start, Handle handle, const QPoint& delta);

// `r` moved as little as it takes to lie inside `box` (a container's
// rectangle), so that no part of it is clipped away; one larger than the box
// keeps its top-left corner on the box's.
QRect LimitToBox(const QRect& r, const QRect& box);

// The rectangle from one corner of a drag to the other, either way round.
QRect SpanRect(const QPoint& a, const QPoint& b);

// Whether `names` holds `name`, without regard to case.
bool HasName(const std::vector<std::string>& names, std::string_view name);

// The first name "<base>N" (N = 1, 2, ...) that none of `taken` has,
// without regard to case.
std::string FreeName(std::string_view base, const std::vector<std::string>& taken);

// A place of `size` inside `bounds` that meets none of `occupied`: the
// first such place on a grid of `step` pixels, reading from the top left,
// or the top left itself when the form is full.
QPoint FreeSpot(const QSize& size, const QRect& bounds, const std::vector<QRect>& occupied,
                int step = 8);

// Lining up several controls. The first rectangle is the reference the
// others follow (the first selected); distributing keeps the outermost two
// where they are and makes the gaps between neighbours equal (the pixels
// that do not divide go to the later gaps).
enum class Alignment {
    Left,
    Right,
    Top,
    Bottom,
    Centres, // the horizontal centres on one vertical line
    Middles, // the vertical centres on one horizontal line
    SameWidth,
    SameHeight,
    SameSize,
    DistributeHorizontally,
    DistributeVertically,
};
// The rectangles, in the order given, after the alignment.
std::vector<QRect> Align(const std::vector<QRect>& rects, Alignment how);

// Snapping a dragged rectangle. On each axis the edges the gesture moves
// (all three, left, centre and right, for a move; the handle's edge for a
// resize) go to the nearest edge or centre of `others` within `reach`
// pixels, where a guide line is shown; failing that, the first moved edge
// goes to the nearest line of the grid (none when `grid` is below 2). A
// resized edge keeps at least 1 pixel to the opposite one.
struct Snapped {
    QRect rect;
    std::optional<int> guideX; // a vertical guide line at this x
    std::optional<int> guideY; // a horizontal one at this y
};
inline constexpr int kSnapReach = 4;
Snapped SnapRect(const QRect& r, std::optional<Handle> handle, const std::vector<QRect>& others,
                 int grid, int reach = kSnapReach);

// The multiple of `grid` nearest to `value` (halves go up).
int NearestGridLine(int value, int grid);

} // namespace velmora::designer
