#include "dib/c32bppdib.h"
#include "platform/gdi/gdi.h"
#include "platform/imaging/cgdiplus.h"
#include "platform/system/environment.h"
#include "platform/system/version.h"
#include "platform/zlib/zlib_binding.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace platform;

namespace {

void setPixel(c32bppDIB& s, int x, int y, std::uint8_t b, std::uint8_t g, std::uint8_t r,
              std::uint8_t a) {
    std::uint8_t* p = s.row(y) + x * 4;
    p[0] = b;
    p[1] = g;
    p[2] = r;
    p[3] = a;
}

TEST(SurfaceCapabilities, FlagsFollowTheSystemVersion) {
    struct Case {
        const char* name;
        SystemVersion version;
        std::uint32_t flags;
    };
    const Case cases[] = {
        {"NT 6.1", {VER_PLATFORM_WIN32_NT, 6, 1, 0, 0, 0, true}, 9},
        {"NT 5.0", {VER_PLATFORM_WIN32_NT, 5, 0, 0, 0, 0, true}, 9},
        {"98 or ME", {VER_PLATFORM_WIN32_WINDOWS, 4, 10, 0, 0, 0, true}, 24},
        {"95", {VER_PLATFORM_WIN32_WINDOWS, 4, 0, 0, 0, 0, false}, 32},
        {"NT 4 SP5", {VER_PLATFORM_WIN32_NT, 4, 0, 0, 5, 0, true}, 32},
        {"NT 4 SP6", {VER_PLATFORM_WIN32_NT, 4, 0, 0, 6, 0, true}, 0},
        // Without the extended record the service pack reads as none.
        {"NT 4 SP6, basic record", {VER_PLATFORM_WIN32_NT, 4, 0, 0, 6, 0, false}, 32},
    };
    for (const Case& c : cases) {
        platform::ScopedEnvironment scope;
        scope->systemVersion = c.version;
        c32bppDIB s;
        EXPECT_EQ(s.capabilityFlags(), c.flags) << c.name;
        EXPECT_EQ(s.isAlphaBlendFriendly(), (c.flags & 1) != 0) << c.name;
    }
}

TEST(SurfaceCapabilities, AlphaBlendCanOnlyBeSwitchedOnWhereAllowed) {
    {
        platform::ScopedEnvironment scope;
        scope->systemVersion = {VER_PLATFORM_WIN32_WINDOWS, 4, 10, 0, 0, 0, true};
        c32bppDIB s;
        EXPECT_FALSE(s.isAlphaBlendFriendly());
        s.isAlphaBlendFriendly(true);
        EXPECT_TRUE(s.isAlphaBlendFriendly()) << "98/ME allow AlphaBlend";
    }
    platform::ScopedEnvironment scope;
    scope->systemVersion = {VER_PLATFORM_WIN32_NT, 4, 0, 0, 6, 0, true};
    c32bppDIB s;
    s.isAlphaBlendFriendly(true);
    EXPECT_FALSE(s.isAlphaBlendFriendly()) << "no AlphaBlend on NT 4";
    {
        platform::ScopedEnvironment nt6;
        nt6->systemVersion = {VER_PLATFORM_WIN32_NT, 6, 1, 0, 0, 0, true};
        c32bppDIB t;
        t.isAlphaBlendFriendly(false);
        EXPECT_FALSE(t.isAlphaBlendFriendly());
        t.isAlphaBlendFriendly(true);
        EXPECT_TRUE(t.isAlphaBlendFriendly());
    }
}

TEST(SurfaceCapabilities, NoImagingServiceAndNoZlibLeaveAUsableSurface) {
    platform::ScopedEnvironment env;
    env->zlibLibraryNames = {};
    c32bppDIB s;
    EXPECT_FALSE(s.isGDIplusEnabled()) << "the imaging service is not installed";
    EXPECT_FALSE(s.HighQualityInterpolation());
    EXPECT_FALSE(s.isZlibEnabled());
    s.isGDIplusEnabled(true);
    EXPECT_FALSE(s.isGDIplusEnabled());
    EXPECT_TRUE(s.InitializeDIB(2, 2));
    env->zlibLibraryNames = platform::Environment::DefaultZlibLibraryNames();
    EXPECT_TRUE(s.isZlibEnabled()) << "asked afresh every time";
}

TEST(SurfaceLifecycle, InitializeDestroyErase) {
    c32bppDIB s;
    EXPECT_EQ(s.ImageType(), 0) << "a new surface reads 0 until the first DestroyDIB";
    EXPECT_EQ(s.Handle(), 0u);

    ASSERT_TRUE(s.InitializeDIB(10, -5));
    EXPECT_EQ(s.Width(), 10);
    EXPECT_EQ(s.Height(), 5);
    EXPECT_EQ(s.scanWidth(), 40);
    EXPECT_NE(s.Handle(), 0u);
    EXPECT_NE(s.BitsPointer(), nullptr);
    EXPECT_TRUE(s.Alpha());
    EXPECT_EQ(s.ImageType(), 0);
    const auto px = s.pixels();
    EXPECT_TRUE(std::all_of(px.begin(), px.end(), [](std::uint8_t b) { return b == 0; }));

    s.setOriginalFormatBytes({1, 2, 3});
    s.Alpha(false);
    s.ImageType(10);
    setPixel(s, 1, 1, 1, 2, 3, 4);
    s.EraseDIB();
    EXPECT_EQ(s.ImageType(), 0);
    EXPECT_TRUE(s.Alpha());
    EXPECT_EQ(s.BitsPointer()[s.scanWidth() * 3 + 4], 0);
    EXPECT_EQ(s.originalFormatBytes().size(), 3u) << "erasing keeps the source bytes";

    s.DestroyDIB();
    EXPECT_EQ(s.Width(), 0);
    EXPECT_EQ(s.Height(), 0);
    EXPECT_EQ(s.Handle(), 0u);
    EXPECT_EQ(s.BitsPointer(), nullptr);
    EXPECT_FALSE(s.Alpha());
    EXPECT_EQ(s.ImageType(), -1);
    EXPECT_TRUE(s.originalFormatBytes().empty());
    s.EraseDIB();
    EXPECT_EQ(s.ImageType(), -1) << "erasing an empty surface does nothing";
}

TEST(SurfaceLifecycle, InitializeRefusesBadSizesAndEmptiesTheSurface) {
    c32bppDIB s;
    for (auto [w, h] : {std::pair{10, 0}, {-1, 5}, {0, 5}, {46341, 46341}, {1 << 30, 2}}) {
        ASSERT_TRUE(s.InitializeDIB(3, 3));
        EXPECT_FALSE(s.InitializeDIB(w, h)) << w << " x " << h;
        EXPECT_EQ(s.Handle(), 0u);
        EXPECT_EQ(s.Width(), 0);
        EXPECT_EQ(s.ImageType(), -1);
    }
}

TEST(SurfaceLifecycle, NothingLeaksAcrossReloadsAndDcUse) {
    const std::size_t before = LiveObjectCount();
    {
        c32bppDIB s;
        for (int i = 1; i < 5; ++i)
            ASSERT_TRUE(s.InitializeDIB(i, i));
        s.ManageOwnDC(true);
        ASSERT_TRUE(s.InitializeDIB(4, 4));
        s.LoadDIBinDC(true);
    }
    EXPECT_EQ(LiveObjectCount(), before);
}

TEST(SurfaceDc, LoadAndUnloadSelectTheSectionIntoTheOwnDc) {
    c32bppDIB s;
    EXPECT_EQ(s.LoadDIBinDC(true), 0u) << "no section";
    ASSERT_TRUE(s.InitializeDIB(4, 4));
    const HDC dc = s.LoadDIBinDC(true);
    ASSERT_NE(dc, 0u);
    EXPECT_EQ(GetCurrentBitmap(dc), s.Handle());
    EXPECT_EQ(s.LoadDIBinDC(true), dc) << "a second load keeps the selection";
    EXPECT_EQ(s.LoadDIBinDC(false), 0u);
    EXPECT_EQ(GetObjectType(dc), 0) << "an unmanaged DC is deleted on unload";

    s.ManageOwnDC(true);
    const HDC kept = s.LoadDIBinDC(true);
    s.LoadDIBinDC(false);
    EXPECT_EQ(GetObjectType(kept), OBJ_MEMDC) << "a managed DC stays";
    EXPECT_NE(GetCurrentBitmap(kept), s.Handle());
    EXPECT_EQ(s.LoadDIBinDC(true), kept);
    s.ManageOwnDC(false);
    EXPECT_EQ(GetObjectType(kept), 0);
}

TEST(SurfaceDc, ManagedDcIsDroppedByDestroyAndRemadeByInitialize) {
    c32bppDIB s;
    s.ManageOwnDC(true); // no section yet: no DC either
    ASSERT_TRUE(s.InitializeDIB(2, 2));
    const HDC first = s.LoadDIBinDC(true);
    s.DestroyDIB();
    EXPECT_EQ(GetObjectType(first), 0);
    ASSERT_TRUE(s.InitializeDIB(2, 2));
    EXPECT_NE(s.LoadDIBinDC(true), 0u);
}

TEST(SurfacePixels, GetPixelAddressesBottomUpRowsAndUnpremultiplies) {
    c32bppDIB s;
    ASSERT_TRUE(s.InitializeDIB(3, 2));
    // Image row 0 is the last row in memory.
    std::uint8_t* top = s.BitsPointer() + s.scanWidth();
    top[4] = 64;
    top[5] = 32;
    top[6] = 16;
    top[7] = 128;
    std::int32_t alpha = -1;
    EXPECT_EQ(s.GetPixel(1, 0, alpha, false), 31 | (63 << 8) | (127 << 16));
    EXPECT_EQ(alpha, 128);
    EXPECT_EQ(s.GetPixel(1, 0, alpha, true), 16 | (32 << 8) | (64 << 16));

    setPixel(s, 0, 1, 10, 20, 30, 255);
    EXPECT_EQ(s.GetPixel(0, 1, alpha), 30 | (20 << 8) | (10 << 16));
    EXPECT_EQ(alpha, 255);

    EXPECT_EQ(s.GetPixel(3, 0, alpha), -1);
    EXPECT_EQ(alpha, 0);
    EXPECT_EQ(s.GetPixel(0, 2, alpha), -1);
    EXPECT_EQ(s.GetPixel(-1, 0, alpha), -1);

    // Colour above alpha breaks the surface's rule; it must not spill into
    // the neighbouring channel.
    setPixel(s, 2, 1, 200, 0, 0, 100);
    EXPECT_EQ(s.GetPixel(2, 1, alpha), 255 << 16);
}

} // namespace
