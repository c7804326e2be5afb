#include "platform/gdi/gdi.h"
#include "platform/system/environment.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

using namespace platform;

namespace {

std::vector<std::byte> regionData(const std::vector<RECT>& rects) {
    RGNDATAHEADER h;
    h.nCount = static_cast<std::uint32_t>(rects.size());
    h.nRgnSize = h.nCount * 16;
    std::vector<std::byte> data(32 + rects.size() * 16);
    std::memcpy(data.data(), &h, 32);
    if (!rects.empty()) std::memcpy(data.data() + 32, rects.data(), rects.size() * 16);
    return data;
}

TEST(Region, PointTestsBoxesAndOffsets) {
    const HRGN r = CreateRectRgn(10, 20, 30, 40);
    EXPECT_TRUE(PtInRegion(r, 10, 20));
    EXPECT_FALSE(PtInRegion(r, 30, 20)) << "right and bottom edges are outside";
    EXPECT_FALSE(PtInRegion(r, 10, 40));
    RECT box;
    EXPECT_EQ(GetRgnBox(r, box), SIMPLEREGION);
    EXPECT_EQ(box, (RECT{10, 20, 30, 40}));
    EXPECT_EQ(OffsetRgn(r, -10, 5), SIMPLEREGION);
    EXPECT_TRUE(PtInRegion(r, 0, 25));
    EXPECT_FALSE(PtInRegion(r, 0, 24));
    DeleteObject(r);

    const HRGN empty = CreateRectRgn(5, 5, 5, 9);
    EXPECT_EQ(GetRgnBox(empty, box), NULLREGION);
    EXPECT_EQ(box, RECT{});
    DeleteObject(empty);
}

TEST(Region, ExtCreateRegionReadsTheHeaderAndRejectsLies) {
    auto data = regionData({{0, 0, 2, 1}, {3, 0, 4, 1}, {0, 1, 4, 2}});
    const HRGN r = ExtCreateRegion(nullptr, data);
    ASSERT_NE(r, 0u);
    EXPECT_TRUE(PtInRegion(r, 1, 0));
    EXPECT_FALSE(PtInRegion(r, 2, 0));
    EXPECT_TRUE(PtInRegion(r, 2, 1));
    EXPECT_EQ(GetRegionRects(r).size(), 3u);
    DeleteObject(r);

    // A count larger than the data holds is refused, not read past the end.
    auto lying = regionData({{0, 0, 1, 1}});
    RGNDATAHEADER h;
    std::memcpy(&h, lying.data(), 32);
    h.nCount = 1000;
    std::memcpy(lying.data(), &h, 32);
    EXPECT_EQ(ExtCreateRegion(nullptr, lying), 0u);
    EXPECT_EQ(ExtCreateRegion(nullptr, std::span(lying).first(20)), 0u);
    int xform = 0;
    EXPECT_EQ(ExtCreateRegion(&xform, data), 0u);

    ScopedEnvironment env;
    env->regionRectLimit = 2;
    EXPECT_EQ(ExtCreateRegion(nullptr, data), 0u);
}

TEST(Region, CombineModes) {
    const HRGN a = CreateRectRgn(0, 0, 4, 4);
    const HRGN b = CreateRectRgn(2, 2, 6, 6);
    const HRGN d = CreateRectRgn(0, 0, 0, 0);
    RECT box;

    EXPECT_EQ(CombineRgn(d, a, b, RGN_OR), COMPLEXREGION);
    EXPECT_TRUE(PtInRegion(d, 5, 5));
    EXPECT_FALSE(PtInRegion(d, 5, 0));
    GetRgnBox(d, box);
    EXPECT_EQ(box, (RECT{0, 0, 6, 6}));

    EXPECT_EQ(CombineRgn(d, a, b, RGN_AND), SIMPLEREGION);
    GetRgnBox(d, box);
    EXPECT_EQ(box, (RECT{2, 2, 4, 4}));

    EXPECT_EQ(CombineRgn(d, a, b, RGN_XOR), COMPLEXREGION);
    EXPECT_FALSE(PtInRegion(d, 3, 3));
    EXPECT_TRUE(PtInRegion(d, 1, 1));
    EXPECT_TRUE(PtInRegion(d, 5, 5));

    EXPECT_EQ(CombineRgn(d, a, b, RGN_DIFF), COMPLEXREGION);
    EXPECT_FALSE(PtInRegion(d, 3, 3));
    EXPECT_FALSE(PtInRegion(d, 5, 5));

    // The destination may be one of the sources.
    EXPECT_EQ(CombineRgn(a, a, b, RGN_OR), COMPLEXREGION);
    EXPECT_TRUE(PtInRegion(a, 5, 5));
    EXPECT_EQ(CombineRgn(d, a, 0, RGN_COPY), COMPLEXREGION);
    EXPECT_EQ(CombineRgn(d, a, 999999, RGN_OR), RGN_ERROR);
    for (HRGN h : {a, b, d})
        DeleteObject(h);
}

} // namespace
