// Drawing through GDI+ where it differs from other implementations: the
// cases every implementation passes are in tests/imaging/contract_test.cpp.

#include "tests/imaging/gdiplus/files.h"
#include "tests/imaging/support.h"

#include <gtest/gtest.h>

using namespace imaging_test;

namespace {

TEST(GdiplusDraw, ExtremeShrinksAreRefusedLeavingTheTarget) {
    Session session;
    Picture panorama(40000, 2, false, bgra(0, 0, 255, 255));
    Picture target(100, 2);
    auto p = plain(panorama, VELMORA_IMAGING_BICUBIC);
    p.dest_width = 100;
    ASSERT_EQ(draw(panorama, target, p), VELMORA_IMAGING_OK);
    EXPECT_EQ(target.at(50, 1), bgra(0, 0, 255, 255));
    Picture dot(5, 1, false, bgra(1, 2, 3, 255));
    p.dest_width = 5;
    EXPECT_EQ(draw(panorama, dot, p), VELMORA_IMAGING_TOO_LARGE);
    for (std::int32_t x = 0; x < 5; ++x)
        EXPECT_EQ(dot.at(x, 0), bgra(1, 2, 3, 255));
}

} // namespace
