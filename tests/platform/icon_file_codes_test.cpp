#include "platform/gdi/gdi.h"
#include "platform/picture/icon.h"
#include "platform/picture/icon_file.h"
#include "platform/util/byte_reader.h"
#include "tests/support/image_files.h"

#include <gtest/gtest.h>

using namespace platform;
using namespace testfiles;

namespace {

IcoEntry entry(int size) {
    return IcoEntry{static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size), 32,
                    bitmapEntry(
                        size, size, 32, {}, [](int, int) { return 0x80FF0000u; },
                        [](int, int) { return false; })};
}

TEST(IconFileCodes, DirectoryAndEntriesNameTheirDamage) {
    const Bytes good = icoFile({entry(8)}, 2);
    const auto directory = ReadIconDirectory(good);
    ASSERT_TRUE(directory);
    EXPECT_EQ(+directory->type, 2);
    ASSERT_EQ(directory->entries.size(), 1u);
    EXPECT_EQ(+directory->entries[0].bWidth, 8);
    EXPECT_EQ(+directory->entries[0].dwImageOffset, 22u);

    const auto icon = ReadIconFile(good);
    ASSERT_TRUE(icon);
    DestroyIcon(*icon);

    EXPECT_EQ(ReadIconFile(Bytes{0, 0, 1}).error(), IconError::Truncated);
    EXPECT_EQ(ReadIconFile(Bytes(good.begin(), good.begin() + 21)).error(), IconError::Truncated);
    Bytes type = good;
    type[2] = 0;
    EXPECT_EQ(ReadIconFile(type).error(), IconError::NotIcon);
    Bytes none = good;
    none[4] = 0;
    EXPECT_EQ(ReadIconFile(none).error(), IconError::NoEntries);
    // An entry past the end is passed over, leaving nothing to use; so is a
    // PNG entry, which the picture services cannot decode.
    Bytes far = good;
    velmora::storeU32le(far.data() + 6 + 12, 1000);
    EXPECT_EQ(ReadIconFile(far).error(), IconError::NoUsableEntry);
    const Bytes png = icoFile({IcoEntry{0, 0, 32, {137, 'P', 'N', 'G', 13, 10, 26, 10}}});
    EXPECT_EQ(ReadIconFile(png).error(), IconError::NoUsableEntry);
    EXPECT_EQ(ErrorText(IconError::NoUsableEntry), "no usable entry");
}

} // namespace
