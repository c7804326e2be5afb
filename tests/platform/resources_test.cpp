#include "platform/gdi/gdi.h"
#include "platform/host/clipboard.h"
#include "platform/host/data_object.h"
#include "platform/picture/icon.h"
#include "platform/picture/icon_file.h"
#include "platform/picture/metafile.h"
#include "platform/resources/resources.h"
#include "platform/testing/headless_host.h"
#include "tests/support/image_files.h"

#include <gtest/gtest.h>

using namespace platform;
using namespace testfiles;

namespace {

// A minimal enhanced metafile header: record 1 with the " EMF" signature.
Bytes emfHeader() {
    Bytes b(88, 0);
    set32(b, 0, 1);
    set32(b, 4, 88);
    set32(b, 40, 0x464D4520u);
    return b;
}

Bytes packedDib24(int w, int h) {
    Bytes dib = infoHeader(w, h, 24);
    dib.resize(dib.size() + static_cast<std::size_t>(rowBytes(24, w) * h), 0x7F);
    return dib;
}

TEST(Resources, FoundByNumberOrNameInTheirSection) {
    const Bytes a{1, 2, 3};
    const Bytes b{4, 5};
    const Bytes c{6};
    ResourceModule module;
    module.AddData("PNG", 101, a);
    module.AddData("Custom", std::string("Logo"), b);
    module.AddData("PNG", std::string("102"), c); // a name of digits is a name

    auto found = module.LoadResData(101, "png");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->data(), a.data());
    EXPECT_TRUE(module.LoadResData(std::string("#101"), "PNG"));
    EXPECT_EQ(module.LoadResData(std::string("LOGO"), "CUSTOM")->size(), 2u);
    EXPECT_FALSE(module.LoadResData(101, "Custom"));
    EXPECT_FALSE(module.LoadResData(102, "PNG"));
    EXPECT_TRUE(module.LoadResData(std::string("102"), "PNG"));
    EXPECT_FALSE(module.LoadResData(std::string("#10x"), "PNG"));

    // Registering again replaces; sections and picture kinds never mix.
    module.AddData("png", std::string("#101"), b);
    EXPECT_EQ(module.LoadResData(101, "PNG")->size(), 2u);
    EXPECT_EQ(module.size(), 3u);
    // Bytes handed over as a vector are the table's own.
    module.AddData("Made", 1, Bytes{7, 8, 9});
    for (int i = 0; i < 20; ++i) // moves the entries around
        module.AddData("Filler", i, b);
    EXPECT_EQ((*module.LoadResData(1, "made"))[2], 9);
    EXPECT_FALSE(module.LoadResPicture(101, kResBitmap));
}

TEST(Resources, PictureResourcesBecomePictureObjects) {
    const std::size_t before = LiveObjectCount();
    const Bytes dib = packedDib24(5, 3);
    const Bytes file = bmpFile(infoHeader(2, 2, 24), Bytes(16, 0x10));
    auto solid = [](int size, int bpp) {
        return IcoEntry{static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size),
                        static_cast<std::uint16_t>(bpp),
                        bitmapEntry(
                            size, size, bpp, {{1, 2, 3}}, [](int, int) { return 0xFF336699u; },
                            [](int x, int) { return x == 0; })};
    };
    const Bytes icon = icoFile({solid(16, 32), solid(32, 4), solid(32, 32), solid(48, 32)});
    Bytes cursor = icoFile({solid(24, 32)}, 2);
    cursor[6 + 4] = 3; // hot spot (3, 7)
    cursor[6 + 6] = 7;
    {
        ResourceModule module;
        module.AddPicture(kResBitmap, 1, dib);
        module.AddPicture(kResBitmap, 2, file);
        module.AddPicture(kResIcon, 1, icon);
        module.AddPicture(kResCursor, 1, cursor);
        module.AddPicture(kResIcon, 9, Bytes(40, 0));

        auto bitmap = module.LoadResPicture(1, kResBitmap);
        ASSERT_TRUE(bitmap);
        EXPECT_EQ(bitmap->Type(), PICTYPE_BITMAP);
        EXPECT_EQ(bitmap->Width(), PixelsToHiMetric(5));
        ASSERT_TRUE(module.LoadResPicture(2, kResBitmap));

        // The system's 32 x 32 size, the deeper of the two.
        auto ico = module.LoadResPicture(1, kResIcon);
        ASSERT_TRUE(ico);
        EXPECT_EQ(ico->Type(), PICTYPE_ICON);
        ICONINFO info;
        ASSERT_TRUE(GetIconInfo(ico->Handle(), info));
        BITMAP color;
        ASSERT_TRUE(GetObjectBitmap(info.hbmColor, color));
        EXPECT_EQ(color.bmWidth, 32);
        EXPECT_TRUE(info.fIcon);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);

        auto cur = module.LoadResPicture(1, kResCursor);
        ASSERT_TRUE(cur);
        ASSERT_TRUE(GetIconInfo(cur->Handle(), info));
        EXPECT_FALSE(info.fIcon);
        EXPECT_EQ(info.xHotspot, 3u);
        EXPECT_EQ(info.yHotspot, 7u);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);

        EXPECT_FALSE(module.LoadResPicture(9, kResIcon));
        EXPECT_FALSE(module.LoadResPicture(1, 7));
    }
    EXPECT_EQ(LiveObjectCount(), before);
}

TEST(IconFiles, OnlyEntriesThatLieInsideTheFileAreUsed) {
    const std::size_t before = LiveObjectCount();
    auto entry = [](int size) {
        return IcoEntry{static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size), 32,
                        bitmapEntry(
                            size, size, 32, {}, [](int, int) { return 0x80FF0000u; },
                            [](int, int) { return false; })};
    };
    Bytes file = icoFile({entry(32), entry(16)});
    // The 32 x 32 entry claims more than the file holds: the 16 x 16 one
    // is used instead.
    set32(file, 6 + 8, 0x7FFFFFFF);
    const HICON icon = CreateIconFromFile(file);
    ASSERT_NE(icon, 0u);
    std::int32_t w = 0, h = 0;
    ASSERT_TRUE(GetIconSize(icon, w, h));
    EXPECT_EQ(w, 16);
    DestroyIcon(icon);
    // A PNG entry alone, and every truncation of a good file.
    const Bytes png = icoFile({IcoEntry{0, 0, 32, {137, 'P', 'N', 'G', 13, 10, 26, 10}}});
    EXPECT_EQ(CreateIconFromFile(png), 0u);
    const Bytes good = icoFile({entry(8)});
    // A cut file: the entry's bytes are no longer all there, so no icon.
    for (std::size_t n = 0; n < good.size(); ++n) {
        const HICON part = CreateIconFromFile({good.data(), n});
        EXPECT_EQ(part, 0u) << n;
        if (part) DestroyIcon(part);
    }
    EXPECT_EQ(LiveObjectCount(), before);
}

TEST(Metafiles, RecognisedKeptAndDeleted) {
    const Bytes emf = emfHeader();
    const HENHMETAFILE e = SetEnhMetaFileBits(emf);
    ASSERT_NE(e, 0u);
    EXPECT_EQ(GetObjectType(e), OBJ_ENHMETAFILE);
    EXPECT_EQ(SetEnhMetaFileBits(Bytes(88, 0)), 0u);
    const Bytes wmf{1, 0, 9, 0, 0, 3, 0, 0, 0, 0};
    const HMETAFILE m = SetMetaFileBitsEx(wmf);
    ASSERT_NE(m, 0u);
    EXPECT_EQ(GetObjectType(m), OBJ_METAFILE);
    EXPECT_FALSE(DeleteMetaFile(e));
    EXPECT_TRUE(DeleteMetaFile(m));
    EXPECT_TRUE(DeleteEnhMetaFile(e));
    EXPECT_EQ(GetObjectType(e), 0);
}

TEST(DropFiles, NarrowAndWideListsReadBack) {
    const std::vector<std::string> names{"/home/a.png", "/tmp/Überschrift 😀.ico", "c"};
    for (const bool wide : {false, true}) {
        SCOPED_TRACE(wide);
        const Bytes block = MakeDropFiles(names, wide);
        const auto header = ReadDropFilesHeader(block);
        ASSERT_TRUE(header);
        EXPECT_EQ(header->fWide, wide ? 1u : 0u);
        EXPECT_EQ(ReadDropFileNames(block), names);
        EXPECT_EQ(ReadDropFileNames(block, 2).size(), 2u);
    }
    EXPECT_TRUE(ReadDropFileNames(MakeDropFiles({}, true)).empty());
}

TEST(DropFiles, LyingBlocksAreReadOnlyWithinThemselves) {
    EXPECT_FALSE(ReadDropFilesHeader(Bytes(19, 0)));
    Bytes block = MakeDropFiles({"abc", "def"}, true);
    set32(block, 0, static_cast<std::uint32_t>(block.size())); // the list past the end
    EXPECT_TRUE(ReadDropFileNames(block).empty());
    set32(block, 0, 0xFFFFFFFFu);
    EXPECT_TRUE(ReadDropFileNames(block).empty());

    // Unterminated names stop at the block's end; a lone surrogate and an
    // odd last byte are handled.
    Bytes wide = MakeDropFiles({"ab"}, true);
    wide.resize(wide.size() - 4); // drops the name's and the list's terminators
    EXPECT_EQ(ReadDropFileNames(wide), std::vector<std::string>{"ab"});
    wide.push_back(0x00); // half a unit
    EXPECT_EQ(ReadDropFileNames(wide), std::vector<std::string>{"ab"});
    Bytes lone = MakeDropFiles({"x"}, true);
    lone[20] = 0x00;
    lone[21] = 0xD8; // a high surrogate followed by the terminator
    EXPECT_EQ(ReadDropFileNames(lone), std::vector<std::string>{"\xEF\xBF\xBD"});
    Bytes narrow = MakeDropFiles({"abc"}, false);
    narrow.resize(narrow.size() - 2);
    EXPECT_EQ(ReadDropFileNames(narrow), std::vector<std::string>{"abc"});

    // Every truncation of a good block.
    const Bytes good = MakeDropFiles({"one", "two"}, true);
    for (std::size_t n = 0; n < good.size(); ++n)
        ReadDropFileNames({good.data(), n});
}

TEST(Clipboard, PictureOfTheFirstPictureFormat) {
    const std::size_t before = LiveObjectCount();
    HeadlessHost host;
    EXPECT_FALSE(GetClipboardPicture(host));

    host.SetClipboardData(CF_ENHMETAFILE, emfHeader());
    auto picture = GetClipboardPicture(host);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->Type(), PICTYPE_ENHMETAFILE);

    host.SetClipboardData(CF_DIB, packedDib24(3, 2));
    picture = GetClipboardPicture(host);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->Type(), PICTYPE_BITMAP);
    EXPECT_EQ(host.unbalancedOpens(), 0);

    // A DIB that lies about its size or palette gives no picture.
    Bytes liar = packedDib24(3, 2);
    set32(liar, 32, 0x7FFFFFFF); // colours used, with 24 bits: ignored
    set32(liar, 4, 0x7FFFFFFF);  // the width
    host.SetClipboardData(CF_DIB, liar);
    EXPECT_FALSE(GetClipboardPicture(host));
    Bytes palette = infoHeader(2, 2, 8, 0, 256);
    host.SetClipboardData(CF_DIB, palette); // a table with no bits behind it
    EXPECT_FALSE(GetClipboardPicture(host));
    const Bytes good = packedDib24(4, 4);
    for (std::size_t n = 0; n < good.size(); n += 3) {
        host.SetClipboardData(CF_DIB, Bytes(good.begin(), good.begin() + n));
        GetClipboardPicture(host);
    }

    host.SetClipboardBusy(true);
    host.SetClipboardData(CF_DIB, good);
    EXPECT_FALSE(GetClipboardPicture(host));
    EXPECT_EQ(host.unbalancedOpens(), 0);
    picture.reset();
    EXPECT_EQ(LiveObjectCount(), before);
}

} // namespace
