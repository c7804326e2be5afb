// The geometry of editing: handles, resizing by them, new names and places.

#include "design/designer/edit_geometry.h"

#include <gtest/gtest.h>

namespace velmora::designer {
namespace {

TEST(EditGeometry, HandlesSitOnCornersAndMiddlesAndAreFoundUnderThePointer) {
    const QRect r(10, 20, 40, 30); // right edge 50, bottom 50
    const auto rects = HandleRects(r);
    EXPECT_EQ(rects[static_cast<int>(Handle::TopLeft)].center(), QPoint(10, 20));
    EXPECT_EQ(rects[static_cast<int>(Handle::BottomRight)].center(), QPoint(50, 50));
    EXPECT_EQ(rects[static_cast<int>(Handle::Right)].center(), QPoint(50, 35));
    EXPECT_EQ(HandleAt(r, {50, 50}), Handle::BottomRight);
    EXPECT_EQ(HandleAt(r, {30, 19}), Handle::Top);
    EXPECT_EQ(HandleAt(r, {9, 36}), Handle::Left);
    EXPECT_FALSE(HandleAt(r, {30, 35}).has_value());
    // On a control smaller than a handle the corners win.
    EXPECT_EQ(HandleAt(QRect(0, 0, 2, 2), {0, 0}), Handle::TopLeft);
}

TEST(EditGeometry, HandlesMoveTheirEdgesAndLeaveAtLeastOnePixel) {
    const QRect r(10, 10, 40, 30);
    EXPECT_EQ(ResizeRect(r, Handle::BottomRight, {5, 7}), QRect(10, 10, 45, 37));
    EXPECT_EQ(ResizeRect(r, Handle::TopLeft, {-3, 4}), QRect(7, 14, 43, 26));
    EXPECT_EQ(ResizeRect(r, Handle::Top, {9, 9}), QRect(10, 19, 40, 21));
    EXPECT_EQ(ResizeRect(r, Handle::Left, {100, 0}), QRect(49, 10, 1, 30));
    EXPECT_EQ(ResizeRect(r, Handle::Right, {-100, 0}), QRect(10, 10, 1, 30));
    EXPECT_EQ(ResizeRect(r, Handle::Bottom, {0, -100}), QRect(10, 10, 40, 1));
    EXPECT_EQ(SpanRect({30, 5}, {10, 25}), QRect(10, 5, 21, 21));
}

TEST(EditGeometry, ARectangleIsMovedIntoItsBoxJustFarEnoughToShowWhole) {
    const QRect box(200, 100, 150, 120); // right edge 350, bottom 220
    EXPECT_EQ(LimitToBox(QRect(210, 110, 32, 32), box), QRect(210, 110, 32, 32));
    EXPECT_EQ(LimitToBox(QRect(195, 90, 32, 32), box), QRect(200, 100, 32, 32));
    EXPECT_EQ(LimitToBox(QRect(330, 200, 48, 48), box), QRect(302, 172, 48, 48));
    // Larger than the box: its top-left corner on the box's.
    EXPECT_EQ(LimitToBox(QRect(0, 0, 400, 10), box), QRect(200, 100, 400, 10));
}

TEST(EditGeometry, NewNamesAndPlacesAreFree) {
    EXPECT_EQ(FreeName("aicAlphaImage", {}), "aicAlphaImage1");
    EXPECT_EQ(FreeName("aicAlphaImage", {"AICALPHAIMAGE1", "aicAlphaImage3"}), "aicAlphaImage2");
    const QRect form(0, 0, 200, 100);
    EXPECT_EQ(FreeSpot({64, 64}, form, {}), QPoint(8, 8));
    EXPECT_EQ(FreeSpot({64, 64}, form, {QRect(0, 0, 80, 80)}), QPoint(80, 8));
    // No room: the top left.
    EXPECT_EQ(FreeSpot({64, 64}, form, {form}), QPoint(0, 0));
}

TEST(EditGeometry, AlignmentFollowsTheFirstAndDistributionEvensTheGaps) {
    // The reference (10,10 40x20; right 50, bottom 30, centre 30,20), a
    // smaller one and a larger one.
    const std::vector<QRect> rects{QRect(10, 10, 40, 20), QRect(70, 45, 10, 6),
                                   QRect(25, 90, 60, 30)};
    struct Case {
        Alignment how;
        std::vector<QRect> expected;
    };
    const Case cases[] = {
        {Alignment::Left, {rects[0], QRect(10, 45, 10, 6), QRect(10, 90, 60, 30)}},
        {Alignment::Right, {rects[0], QRect(40, 45, 10, 6), QRect(-10, 90, 60, 30)}},
        {Alignment::Top, {rects[0], QRect(70, 10, 10, 6), QRect(25, 10, 60, 30)}},
        {Alignment::Bottom, {rects[0], QRect(70, 24, 10, 6), QRect(25, 0, 60, 30)}},
        {Alignment::Centres, {rects[0], QRect(25, 45, 10, 6), QRect(0, 90, 60, 30)}},
        {Alignment::Middles, {rects[0], QRect(70, 17, 10, 6), QRect(25, 5, 60, 30)}},
        {Alignment::SameWidth, {rects[0], QRect(70, 45, 40, 6), QRect(25, 90, 40, 30)}},
        {Alignment::SameHeight, {rects[0], QRect(70, 45, 10, 20), QRect(25, 90, 60, 20)}},
        {Alignment::SameSize, {rects[0], QRect(70, 45, 40, 20), QRect(25, 90, 40, 20)}},
        // Left to right: 10..50, 25..85, 70..80 span 10..80 with 110 pixels
        // of width: the gaps are -20 each.
        {Alignment::DistributeHorizontally,
         {rects[0], QRect(70, 45, 10, 6), QRect(30, 90, 60, 30)}},
        // Top to bottom: 10..30, 45..51, 90..120; 56 pixels in 110: gaps of 27.
        {Alignment::DistributeVertically, {rects[0], QRect(70, 57, 10, 6), rects[2]}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Align(rects, c.how), c.expected) << static_cast<int>(c.how);
    // Uneven room: the remainder goes to the later gaps; one rectangle or
    // two stay as they are.
    EXPECT_EQ(
        Align({QRect(0, 0, 10, 5), QRect(12, 0, 10, 5), QRect(30, 0, 10, 5), QRect(50, 0, 10, 5)},
              Alignment::DistributeHorizontally),
        (std::vector<QRect>{QRect(0, 0, 10, 5), QRect(16, 0, 10, 5), QRect(33, 0, 10, 5),
                            QRect(50, 0, 10, 5)}));
    EXPECT_EQ(Align({QRect(3, 4, 5, 6)}, Alignment::Left), (std::vector<QRect>{QRect(3, 4, 5, 6)}));
    EXPECT_EQ(Align({QRect(0, 0, 5, 5), QRect(50, 9, 5, 5)}, Alignment::DistributeHorizontally),
              (std::vector<QRect>{QRect(0, 0, 5, 5), QRect(50, 9, 5, 5)}));
}

TEST(EditGeometry, DraggedEdgesSnapToNearbyEdgesAndCentresElseToTheGrid) {
    // A neighbour at 100,100 40x40: edges 100 and 140, centre 120.
    const std::vector<QRect> others{QRect(100, 100, 40, 40)};
    struct Case {
        QRect dragged;
        std::optional<Handle> handle;
        int grid;
        QRect expected;
        std::optional<int> guideX, guideY;
    };
    const Case cases[] = {
        // Moves: the left edge meets the neighbour's right (3 away) and the
        // top its top (2 away); the grid does not act on a snapped axis.
        {QRect(143, 98, 20, 20), {}, 8, QRect(140, 100, 20, 20), 140, 100},
        // Guides run across the whole form: far below, the same edge.
        {QRect(143, 300, 20, 20), {}, 8, QRect(140, 304, 20, 20), 140, {}},
        // Nothing within reach: the left edge goes to the grid.
        {QRect(163, 300, 20, 20), {}, 8, QRect(160, 304, 20, 20), {}, {}},
        // A centre meets a centre; the right edge meets a left edge.
        {QRect(108, 300, 20, 20), {}, 8, QRect(110, 304, 20, 20), 120, {}},
        {QRect(77, 300, 20, 20), {}, 0, QRect(80, 300, 20, 20), 100, {}},
        // Farther than the reach: the grid (none at 0 or 1).
        {QRect(35, 300, 20, 20), {}, 16, QRect(32, 304, 20, 20), {}, {}},
        {QRect(35, 301, 20, 20), {}, 1, QRect(35, 301, 20, 20), {}, {}},
        // Negative places round to the nearest line too.
        {QRect(-5, -3, 20, 20), {}, 8, QRect(-8, 0, 20, 20), {}, {}},
        // Resizes move only the handle's edges.
        {QRect(10, 10, 88, 37), Handle::BottomRight, 8, QRect(10, 10, 90, 38), 100, {}},
        {QRect(10, 10, 88, 37), Handle::Right, 8, QRect(10, 10, 90, 37), 100, {}},
        {QRect(141, 10, 30, 30), Handle::Left, 0, QRect(140, 10, 31, 30), 140, {}},
        // A snapped edge never passes the opposite one.
        {QRect(101, 10, 1, 30), Handle::Right, 8, QRect(101, 10, 1, 30), 100, {}},
    };
    for (const Case& c : cases) {
        const Snapped s = SnapRect(c.dragged, c.handle, others, c.grid);
        EXPECT_EQ(s.rect, c.expected) << c.dragged.x() << ',' << c.dragged.y();
        EXPECT_EQ(s.guideX, c.guideX) << c.dragged.x();
        EXPECT_EQ(s.guideY, c.guideY) << c.dragged.y();
    }
}

} // namespace
} // namespace velmora::designer
