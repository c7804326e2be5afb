#include "platform/ccdecl.h"
#include "tests/platform/system_names.h"

#include <array>
#include <cstring>
#include <gtest/gtest.h>

using platform::cCDECL;

namespace {

TEST(cCDECL, PassesArgumentsLeftToRightAndReturnsTheResult) {
    cCDECL c;
    ASSERT_TRUE(c.DllLoad(FAKEZ_NOCRC));
    const std::array<std::intptr_t, 5> args{1, 2, 3, 4, 5};
    const auto r = c.CallFunc("fake_sum5", args);
    ASSERT_TRUE(r);
    EXPECT_EQ(*r, 54321);
    EXPECT_EQ(c.CallFunc("fake_noargs", {}).value_or(-1), 7) << "an empty list calls with none";
    EXPECT_EQ(c.LastError(), 0);
}

TEST(cCDECL, LooksAnAddressUpOncePerNameAndAgainAfterDllLoad) {
    cCDECL c;
    ASSERT_TRUE(c.DllLoad(FAKEZ_NOCRC));
    const std::array<std::intptr_t, 5> args{};
    (void)c.CallFunc("fake_sum5", args);
    (void)c.CallFunc("fake_sum5", args);
    EXPECT_EQ(c.lookups(), 1);
    (void)c.CallFunc("fake_noargs", {});
    EXPECT_EQ(c.lookups(), 2);
    ASSERT_TRUE(c.DllLoad(FAKEZ_NOCRC));
    (void)c.CallFunc("fake_noargs", {});
    EXPECT_EQ(c.lookups(), 3);
}

TEST(cCDECL, RealZlibThroughTheCaller) {
    cCDECL c;
    ASSERT_TRUE(c.DllLoad(testnames::systemZlib()));
    const char text[] = "123456789";
    const std::array<std::intptr_t, 3> args{0, reinterpret_cast<std::intptr_t>(text), 9};
    EXPECT_EQ(static_cast<std::uint32_t>(c.CallFunc("crc32", args).value_or(0)), 0xCBF43926u);
}

TEST(cCDECL, RefusesWhatItCannotCall) {
    cCDECL c;
    EXPECT_FALSE(c.CallFunc("fake_noargs", {})) << "no library loaded";
    EXPECT_FALSE(c.DllLoad(testnames::kMissingLibrary));
    EXPECT_FALSE(c.DllUnload());

    ASSERT_TRUE(c.DllLoad(FAKEZ_NOCRC));
    EXPECT_FALSE(c.CallFunc("crc32", {})) << "not exported: no call to address 0";
    EXPECT_EQ(c.LastError(), 127);
    const std::array<std::intptr_t, 6> six{};
    EXPECT_FALSE(c.CallFunc("fake_sum5", six)) << "a sixth argument is an error, not a call";
    EXPECT_EQ(c.LastError(), 87);
    EXPECT_TRUE(c.DllUnload());
}

} // namespace
