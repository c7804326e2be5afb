#include "platform/util/byte_reader.h"

#include <gtest/gtest.h>

namespace {

TEST(ByteReader, ReadsBothByteOrdersAndNeverPastTheEnd) {
    const std::uint8_t data[] = {0x01, 0x02, 0x03, 0x04, 0x05};
    velmora::ByteReader r(data);
    EXPECT_EQ(r.u32be().value(), 0x01020304u);
    EXPECT_FALSE(r.u16le()) << "one byte left";
    EXPECT_EQ(r.position(), 4u) << "a failed read does not move";
    EXPECT_EQ(r.u8().value(), 5);
    EXPECT_TRUE(r.atEnd());
    EXPECT_FALSE(r.u8());

    ASSERT_TRUE(r.seek(1));
    EXPECT_EQ(r.u16le().value(), 0x0302);
    EXPECT_FALSE(r.seek(6));
    EXPECT_FALSE(r.skip(3));
    EXPECT_TRUE(r.skip(2));
    EXPECT_FALSE(r.bytes(1));
    ASSERT_TRUE(r.seek(0));
    EXPECT_EQ(r.u32le().value(), 0x04030201u);
    EXPECT_EQ(r.bytes(SIZE_MAX), std::nullopt) << "no wrap-around in the bound check";
}

} // namespace
