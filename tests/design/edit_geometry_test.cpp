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

} // namespace
} // namespace velmora::designer
