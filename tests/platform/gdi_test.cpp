#include "platform/gdi/gdi.h"
#include "platform/gdi/sys_colors.h"
#include "tests/support/pixels.h"

#include <cstdint>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <fstream>
#include <unistd.h>
#endif

using namespace platform;

namespace {

const auto header = testpixels::dibHeader;

#ifdef _WIN32
} // namespace
// The process's working set (resident_win32.cpp: <windows.h> and the
// platform headers do not meet in one source).
std::int64_t residentBytes();
namespace {
#else
// Resident memory of this process, from the kernel's page counts.
std::int64_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::int64_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}
#endif

// A decoder fills a surface's section itself; a section made for a picture
// the data then turns out not to hold must not have cost its size already.
TEST(Gdi, ANewSectionIsZeroWithoutBeingWritten) {
    constexpr std::int32_t kSide = 16384; // 1 GiB of 32-bit pixels
    const std::int64_t before = residentBytes();
    void* bits = nullptr;
    const HBITMAP bmp = CreateDIBSection(0, header(kSide, kSide, 32), {}, &bits);
    ASSERT_NE(bmp, static_cast<HBITMAP>(0));
    const std::int64_t grown = residentBytes() - before;
    const auto* bytes = static_cast<const std::uint8_t*>(bits);
    const std::size_t size = std::size_t{kSide} * kSide * 4;
    EXPECT_EQ(bytes[0] | bytes[size / 2] | bytes[size - 1], 0);
    EXPECT_TRUE(DeleteObject(bmp));
    EXPECT_LT(grown, std::int64_t{64} << 20);
}

TEST(Gdi, HandlesCarryTheirObjectTypeAndGoAwayOnDelete) {
    const std::size_t before = LiveObjectCount();
    const HDC screen = GetDC(0);
    const HDC mem = CreateCompatibleDC(screen);
    void* bits = nullptr;
    const HBITMAP bmp = CreateDIBSection(screen, header(3, 2, 32), {}, &bits);
    const HRGN rgn = CreateRectRgn(0, 0, 4, 4);
    const HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));

    EXPECT_EQ(GetObjectType(screen), OBJ_DC);
    EXPECT_EQ(GetObjectType(mem), OBJ_MEMDC);
    EXPECT_EQ(GetObjectType(bmp), OBJ_BITMAP);
    EXPECT_EQ(GetObjectType(rgn), OBJ_REGION);
    EXPECT_EQ(GetObjectType(brush), OBJ_BRUSH);
    EXPECT_EQ(GetObjectType(0), 0);

    EXPECT_FALSE(DeleteObject(mem)) << "DCs are deleted with DeleteDC only";
    EXPECT_TRUE(DeleteObject(bmp));
    EXPECT_TRUE(DeleteObject(rgn));
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_FALSE(DeleteObject(bmp)) << "a stale handle finds nothing";
    EXPECT_EQ(GetObjectType(bmp), 0);
    EXPECT_TRUE(DeleteDC(mem));
    EXPECT_EQ(ReleaseDC(0, screen), 1);
    EXPECT_EQ(LiveObjectCount(), before);
}

TEST(Gdi, SelectObjectReturnsTheDisplacedBitmap) {
    const HDC mem = CreateCompatibleDC(0);
    const HGDIOBJ stock = GetCurrentBitmap(mem);
    ASSERT_NE(stock, 0u);
    void* bits = nullptr;
    const HBITMAP a = CreateDIBSection(0, header(2, 2, 32), {}, &bits);
    const HBITMAP b = CreateDIBSection(0, header(2, 2, 24), {}, &bits);

    EXPECT_EQ(SelectObject(mem, a), stock);
    EXPECT_FALSE(DeleteObject(a)) << "a selected bitmap cannot be deleted";
    const HDC other = CreateCompatibleDC(0);
    EXPECT_EQ(SelectObject(other, a), 0u) << "a bitmap lives in one DC at a time";
    EXPECT_EQ(SelectObject(mem, b), a);
    EXPECT_EQ(SelectObject(mem, stock), b);
    EXPECT_TRUE(DeleteObject(a));
    EXPECT_TRUE(DeleteObject(b));

    // Deleting a DC lets go of its bitmap.
    const HBITMAP c = CreateDIBSection(0, header(1, 1, 32), {}, &bits);
    SelectObject(other, c);
    EXPECT_TRUE(DeleteDC(other));
    EXPECT_TRUE(DeleteObject(c));
    EXPECT_TRUE(DeleteDC(mem));
    EXPECT_EQ(SelectObject(GetDC(0), c), 0u);
}

TEST(Gdi, DibSectionsAreZeroedAlignedAndValidated) {
    void* bits = nullptr;
    const HBITMAP h = CreateDIBSection(0, header(5, -3, 24), {}, &bits);
    ASSERT_NE(h, 0u);
    BITMAP info;
    ASSERT_TRUE(GetObjectBitmap(h, info));
    EXPECT_EQ(info.bmWidth, 5);
    EXPECT_EQ(info.bmHeight, 3);
    EXPECT_EQ(info.bmWidthBytes, 16) << "24-bit rows pad to 4 bytes";
    EXPECT_EQ(info.bmBits, bits);
    const auto* p = static_cast<const std::uint8_t*>(bits);
    for (int i = 0; i < 48; ++i)
        ASSERT_EQ(p[i], 0);
    DeleteObject(h);

    EXPECT_EQ(CreateDIBSection(0, header(0, 5, 32), {}, &bits), 0u);
    EXPECT_EQ(bits, nullptr);
    EXPECT_EQ(CreateDIBSection(0, header(5, 0, 32), {}, &bits), 0u);
    EXPECT_EQ(CreateDIBSection(0, header(5, 5, 12), {}, &bits), 0u);
    EXPECT_EQ(CreateDIBSection(0, header(70000, 70000, 32), {}, &bits), 0u) << "too large";
    EXPECT_EQ(CreateDIBSection(12345, header(5, 5, 32), {}, &bits), 0u) << "not a DC";
}

TEST(Gdi, StretchModeIsKeptPerDc) {
    const HDC mem = CreateCompatibleDC(0);
    EXPECT_EQ(GetStretchBltMode(mem), BLACKONWHITE);
    EXPECT_EQ(SetStretchBltMode(mem, HALFTONE), BLACKONWHITE);
    EXPECT_EQ(GetStretchBltMode(mem), HALFTONE);
    EXPECT_EQ(SetStretchBltMode(mem, 9), 0);
    DeleteDC(mem);
}

} // namespace

TEST(SysColors, NegativeColoursNameSchemeColoursByTheirLowByte) {
    EXPECT_EQ(platform::TranslateColor(static_cast<std::int32_t>(0x8000000F)),
              platform::GetSysColor(platform::COLOR_BTNFACE));
    EXPECT_EQ(platform::TranslateColor(0x01404040), 0x404040u) << "the high byte is no colour";
    EXPECT_EQ(platform::GetSysColor(31), 0u);
    EXPECT_EQ(platform::GetSysColor(-1), 0u);
    EXPECT_EQ(platform::TranslateColor(static_cast<std::int32_t>(0x800000FF)), 0u)
        << "an index past the scheme";
}
