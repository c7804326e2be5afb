// Each reader says why it refused a file: damaged files give the code that
// names their damage, and a clean load leaves no code behind.
#include "codecs/cbmpparser.h"
#include "codecs/cgifparser.h"
#include "codecs/cicoparser.h"
#include "codecs/cpngwriter.h"
#include "codecs/inflate.h"
#include "codecs/png_pixels.h"
#include "dib/c32bppdib.h"
#include "platform/system/environment.h"
#include "platform/util/byte_reader.h"
#include "tests/support/image_files.h"

#include <gtest/gtest.h>
#include <set>

using namespace platform;
using namespace testfiles;

namespace {

std::optional<BitmapError> bmpCode(const Bytes& file) {
    cBMPparser parser;
    c32bppDIB s;
    const bool loaded = parser.LoadStream(file, s, 0, 0);
    EXPECT_EQ(loaded, !parser.lastError()) << "a code exactly when refused";
    return parser.lastError();
}

TEST(ReaderCodes, Bitmap) {
    const Bytes good = bmpFile(infoHeader(1, 1, 24), {1, 2, 3, 0});
    EXPECT_EQ(bmpCode(good), std::nullopt);
    EXPECT_EQ(bmpCode(Bytes{'M', 'B', 0, 0}), BitmapError::NotBitmap);
    EXPECT_EQ(bmpCode(Bytes(good.begin(), good.begin() + 29)), BitmapError::Truncated);
    EXPECT_EQ(bmpCode(bmpFile(infoHeader(0, 1, 24), {0, 0, 0, 0})), BitmapError::BadDimensions);
    // Refused by the decoder behind the picture services: its own reason.
    EXPECT_EQ(bmpCode(bmpFile(infoHeader(1, 1, 7), {0, 0, 0, 0})), BitmapError::BadBitCount);
    Bytes planes = good;
    planes[26] = 2;
    EXPECT_EQ(bmpCode(planes), BitmapError::BadPlanes);
    Bytes size = good;
    velmora::storeU32le(size.data() + 14, 41);
    EXPECT_EQ(bmpCode(size), BitmapError::BadHeaderSize);
    ScopedEnvironment env;
    env->decodePixelLimit = 4;
    EXPECT_EQ(bmpCode(bmpFile(infoHeader(3, 3, 24), Bytes(36, 0))), BitmapError::TooLarge);
}

std::optional<GifError> gifCode(const Bytes& file, bool expectImage) {
    cGIFparser parser;
    c32bppDIB s;
    const bool handled = parser.LoadStream(file, s, 0, 0);
    EXPECT_EQ(handled && s.Handle() != 0, expectImage);
    EXPECT_EQ(expectImage, !parser.lastError());
    return parser.lastError();
}

TEST(ReaderCodes, Gif) {
    const std::vector<Rgb> table = {{0, 0, 0}, {255, 0, 0}};
    const Bytes good = gifFile(1, 1, table, {frame(0, 0, 1, 1, {1})});
    EXPECT_EQ(gifCode(good, true), std::nullopt);
    EXPECT_EQ(gifCode(Bytes{'G', 'I', 'F', '9', '0', 'a', 0}, false), GifError::NotGif);
    EXPECT_EQ(gifCode(Bytes(good.begin(), good.begin() + 12), false), GifError::Truncated);
    EXPECT_EQ(gifCode(gifFile(1, 1, table, {}), false), GifError::NoImage);
    EXPECT_EQ(gifCode(gifFile(1, 1, {}, {frame(0, 0, 1, 1, {0})}), false), GifError::NoColourTable);
    EXPECT_EQ(
        gifCode(gifFile(1, 1, table, {frame(0, 0, 1, 1, {1})}, {0x21, 0xF9, 2, 1, 0, 0}), false),
        GifError::BadExtension);
    Bytes stray = gifFile(1, 1, table, {});
    stray.back() = 0x42; // no trailer: a byte that starts no block
    EXPECT_EQ(gifCode(stray, false), GifError::BadBlock);
}

std::optional<IconError> icoCode(Bytes file, bool expectImage) {
    cICOparser parser;
    c32bppDIB s;
    std::int32_t offset = 0, length = 0;
    const bool loaded = parser.LoadStream(file, 0, 0, &s, offset, length, 32, 0);
    EXPECT_EQ(loaded && s.Handle() != 0, expectImage);
    EXPECT_EQ(expectImage, !parser.lastError());
    return parser.lastError();
}

IcoEntry solid(int w, int h) {
    return IcoEntry{
        static_cast<std::uint8_t>(w), static_cast<std::uint8_t>(h), 32,
        bitmapEntry(
            w, h, 32, {}, [](int, int) { return 0xFF102030u; }, [](int, int) { return false; })};
}

TEST(ReaderCodes, Icon) {
    const Bytes good = icoFile({solid(2, 2)});
    EXPECT_EQ(icoCode(good, true), std::nullopt);
    EXPECT_EQ(icoCode(Bytes(good.begin(), good.begin() + 5), false), IconError::Truncated);
    EXPECT_EQ(icoCode(Bytes(good.begin(), good.begin() + 21), false), IconError::Truncated);
    Bytes type = good;
    type[2] = 3;
    EXPECT_EQ(icoCode(type, false), IconError::NotIcon);
    Bytes none = good;
    none[4] = 0;
    EXPECT_EQ(icoCode(none, false), IconError::NoEntries);
    Bytes negative = good;
    negative[5] = 0x80;
    EXPECT_EQ(icoCode(negative, false), IconError::Truncated) << "32768 entries: no room";
    Bytes far = good;
    velmora::storeU32le(far.data() + 6 + 12, 1000);
    EXPECT_EQ(icoCode(far, false), IconError::EntryOutside);
    EXPECT_EQ(icoCode(icoFile({IcoEntry{1, 1, 32, Bytes(10, 0)}}), false),
              IconError::EntryTooSmall);
    EXPECT_EQ(icoCode(icoFile({IcoEntry{1, 1, 0, Bytes(40, 0)}}), false), IconError::NoBitCount);
    // Recognised, but the colour bits lie past the entry: true, no image.
    Bytes liar = good;
    velmora::storeU32le(liar.data() + 22, 0x7FFFFFF0u);
    EXPECT_EQ(icoCode(liar, false), IconError::BadImage);
}

} // namespace

namespace {

// Every code from `first` to `last` has a text of its own.
template <typename E>
void expectOwnTexts(E first, E last) {
    std::set<std::string_view> seen;
    for (int i = static_cast<int>(first); i <= static_cast<int>(last); ++i) {
        const std::string_view text = ErrorText(static_cast<E>(i));
        EXPECT_FALSE(text.empty()) << i;
        EXPECT_NE(text, "unknown") << i;
        EXPECT_TRUE(seen.insert(text).second) << "shared text: " << text;
    }
}

TEST(ReaderCodes, EveryCodeHasItsOwnText) {
    expectOwnTexts(BitmapError::NotBitmap, BitmapError::OutOfMemory);
    expectOwnTexts(GifError::NotGif, GifError::NotDrawn);
    expectOwnTexts(IconError::Truncated, IconError::BadImage);
    expectOwnTexts(PictureError::Unrecognised, PictureError::OutOfMemory);
    expectOwnTexts(codecs::PngError::None, codecs::PngError::ReadFailed);
    expectOwnTexts(codecs::InflateError::TruncatedInput, codecs::InflateError::DistanceTooFar);
    expectOwnTexts(PngWriteError::None, PngWriteError::OutOfMemory);
}

} // namespace
