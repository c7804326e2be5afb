// Loading from resources, picture objects, handles and the clipboard, and
// the icon sizes and file lists the image control asks for. The program's
// own resources are those this test program embeds (tests/data/resources).

#include "codecs/modparsers.h"
#include "dib/c32bppdib.h"
#include "platform/gdi/gdi.h"
#include "platform/host/data_object.h"
#include "platform/imaging/cgdiplus.h"
#include "platform/picture/icon.h"
#include "platform/picture/metafile.h"
#include "platform/system/environment.h"
#include "platform/testing/headless_host.h"
#include "tests/support/image_files.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

using namespace platform;
using namespace modParsers;
using testfiles::Bytes;

namespace {

using Sizes = std::vector<std::array<std::int32_t, 4>>;

std::uint32_t argbAt(const c32bppDIB& s, int x, int y) {
    const std::uint8_t* p = s.row(y) + x * 4;
    return std::uint32_t{p[3]} << 24 | p[2] << 16 | p[1] << 8 | p[0];
}

Bytes readFile(const std::string& name) {
    std::ifstream in(std::string(VELMORA_SOURCE_DIR) + "/tests/data/resources/" + name,
                     std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

Bytes packedDib(int w, int h) {
    Bytes dib = testfiles::infoHeader(w, h, 24);
    for (int r = 0; r < h; ++r)
        for (int i = 0; i < testfiles::rowBytes(24, w); ++i)
            dib.push_back(static_cast<std::uint8_t>(i < w * 3 ? 0x40 + r : 0));
    return dib;
}

class Sources : public ::testing::Test {
protected:
    void SetUp() override {
        env_->imagingLibraryNames = {};
        env_->host = &host;
        objectsBefore = LiveObjectCount();
    }
    void TearDown() override {
        surface.DestroyDIB();
        EXPECT_EQ(LiveObjectCount(), objectsBefore);
        EXPECT_EQ(host.unbalancedOpens(), 0);
    }

    ScopedEnvironment env_;
    HeadlessHost host;
    c32bppDIB surface;
    std::size_t objectsBefore = 0;
};

TEST_F(Sources, ProgramResourcesByDataSectionAndPictureKind) {
    // Raw data, by number, by "#number" and by name, in any case.
    ASSERT_TRUE(surface.LoadPicture_Resource(101, std::string("PNG")));
    EXPECT_EQ(surface.ImageType(), itPNG);
    EXPECT_EQ(surface.Width(), 4);
    EXPECT_TRUE(surface.originalFormatBytes().empty()); // never kept
    ASSERT_TRUE(surface.LoadPicture_Resource(std::string("#101"), std::string("png")));
    ASSERT_TRUE(
        surface.LoadPicture_Resource(std::string("app"), std::string("Custom"), nullptr, 16, 16));
    EXPECT_EQ(surface.ImageType(), itIconAlpha);
    EXPECT_EQ(surface.Width(), 16);
    ASSERT_TRUE(
        surface.LoadPicture_Resource(std::string("app"), std::string("Custom"), nullptr, 48, 48));
    EXPECT_EQ(surface.ImageType(), itIconPNG);

    // Pictures: a bitmap (a file, and a packed DIB), an icon, a cursor.
    for (const std::int32_t id : {1, 2}) {
        ASSERT_TRUE(surface.LoadPicture_Resource(id, kResBitmap));
        EXPECT_EQ(surface.ImageType(), itBitmap);
        EXPECT_EQ(surface.Width(), 5);
        EXPECT_EQ(argbAt(surface, 4, 2), 0xFFC86428u); // blue 40, green 100, red 200
    }
    ASSERT_TRUE(surface.LoadPicture_Resource(std::string("APP"), kResIcon));
    EXPECT_EQ(surface.Width(), 32); // the system's size, from the bitmap entries
    EXPECT_EQ(surface.ImageType(), itIcon);
    EXPECT_EQ(argbAt(surface, 5, 0), 0u); // the top row is masked
    EXPECT_EQ(argbAt(surface, 1, 1), 0xFF0A141Eu);
    ASSERT_TRUE(surface.LoadPicture_Resource(std::string("arrow"), kResCursor));
    EXPECT_EQ(surface.ImageType(), itCursorAlpha);
    EXPECT_EQ(argbAt(surface, 3, 3), 0xFFFFFFFFu);
    EXPECT_EQ(argbAt(surface, 3, 4), 0u);

    // What is not there, or not of that kind, loads nothing and leaves
    // nothing behind.
    EXPECT_FALSE(surface.LoadPicture_Resource(999, std::string("PNG")));
    EXPECT_EQ(surface.Handle(), 0u);
    EXPECT_FALSE(surface.LoadPicture_Resource(101, std::string("Custom")));
    EXPECT_FALSE(surface.LoadPicture_Resource(std::string("APP"), kResBitmap));
    EXPECT_FALSE(surface.LoadPicture_Resource(1, 65536 + kResBitmap)); // no 16-bit kind
    EXPECT_FALSE(surface.LoadPicture_Resource(1, 9));
}

TEST_F(Sources, ResourcesOfAnotherModuleAndTheirRanges) {
    const Bytes png = readFile("red.png");
    ASSERT_FALSE(png.empty());
    Bytes padded(10, 0xAA);
    padded.insert(padded.end(), png.begin(), png.end());
    ResourceModule component;
    component.AddData("PNG", 101, padded);

    // The program's own resource of that name is not used.
    EXPECT_FALSE(surface.LoadPicture_Resource(101, std::string("PNG"), &component));
    ASSERT_TRUE(surface.LoadPicture_Resource(101, std::string("PNG"), &component, 0, 0, 10, 0));
    EXPECT_EQ(surface.ImageType(), itPNG);
    EXPECT_EQ(argbAt(surface, 0, 1), 0x80008000u);
    ASSERT_TRUE(surface.LoadPicture_Resource(101, std::string("PNG"), &component, 0, 0, 10,
                                             static_cast<std::int32_t>(png.size())));
    // A range under 57 bytes is refused like any stream.
    EXPECT_FALSE(surface.LoadPicture_Resource(101, std::string("PNG"), &component, 0, 0, 10, 56));
    EXPECT_FALSE(surface.LoadPicture_Resource(1, kResBitmap, &component));
}

TEST_F(Sources, PictureObjects) {
    EXPECT_FALSE(surface.LoadPicture_StdPicture(nullptr));
    const Picture empty(PICTYPE_NONE, 0, 0, 0);
    ASSERT_TRUE(surface.LoadPicture_Resource(101, std::string("PNG")));
    EXPECT_FALSE(surface.LoadPicture_StdPicture(&empty));
    EXPECT_EQ(surface.Handle(), 0u);

    auto bitmap = ProgramResources().LoadResPicture(1, kResBitmap);
    ASSERT_TRUE(bitmap);
    ASSERT_TRUE(surface.LoadPicture_StdPicture(bitmap.get()));
    EXPECT_EQ(surface.ImageType(), itBitmap);
    EXPECT_FALSE(surface.Alpha());

    auto icon = ProgramResources().LoadResPicture(std::string("app"), kResIcon);
    ASSERT_TRUE(icon);
    ASSERT_TRUE(surface.LoadPicture_StdPicture(icon.get()));
    EXPECT_EQ(surface.ImageType(), itIcon);
    EXPECT_TRUE(surface.Alpha());

    // A metafile cannot be drawn here: no image.
    auto metafile = CreatePictureIndirect(SetEnhMetaFileBits([] {
                                              Bytes emf(88, 0);
                                              testfiles::set32(emf, 0, 1);
                                              testfiles::set32(emf, 40, 0x464D4520u);
                                              return emf;
                                          }()),
                                          PICTYPE_ENHMETAFILE);
    ASSERT_TRUE(metafile);
    EXPECT_FALSE(surface.LoadPicture_StdPicture(metafile.get()));
    EXPECT_EQ(surface.Handle(), 0u);
}

TEST_F(Sources, HandlesStayTheCallers) {
    EXPECT_FALSE(surface.LoadPicture_ByHandle(0));

    auto bitmap = ProgramResources().LoadResPicture(2, kResBitmap);
    ASSERT_TRUE(surface.LoadPicture_ByHandle(bitmap->Handle()));
    EXPECT_EQ(surface.Width(), 5);
    EXPECT_EQ(GetObjectType(bitmap->Handle()), OBJ_BITMAP);

    auto cursor = ProgramResources().LoadResPicture(std::string("arrow"), kResCursor);
    ASSERT_TRUE(surface.LoadPicture_ByHandle(cursor->Handle()));
    EXPECT_EQ(surface.ImageType(), itCursorAlpha);
    EXPECT_EQ(GetObjectType(cursor->Handle()), OBJ_ICON);

    Bytes emf(88, 0);
    testfiles::set32(emf, 0, 1);
    testfiles::set32(emf, 40, 0x464D4520u);
    const HENHMETAFILE metafile = SetEnhMetaFileBits(emf);
    EXPECT_FALSE(surface.LoadPicture_ByHandle(metafile));
    EXPECT_EQ(GetObjectType(metafile), OBJ_ENHMETAFILE); // not deleted by the wrapper
    DeleteEnhMetaFile(metafile);

    // Neither bitmap nor metafile nor icon; and a handle that is gone.
    const HBRUSH brush = CreateSolidBrush(0);
    EXPECT_FALSE(surface.LoadPicture_ByHandle(brush));
    DeleteObject(brush);
    EXPECT_FALSE(surface.LoadPicture_ByHandle(brush));
}

TEST_F(Sources, ClipboardPictures) {
    EXPECT_FALSE(surface.LoadPicture_ClipBoard());

    host.SetClipboardData(CF_DIB, packedDib(3, 2));
    ASSERT_TRUE(surface.LoadPicture_ClipBoard());
    EXPECT_EQ(surface.Width(), 3);
    EXPECT_EQ(surface.ImageType(), itBitmap);
    EXPECT_EQ(argbAt(surface, 0, 0), 0xFF414141u); // top row: the second stored

    // Held by another program: nothing, and the previous image is gone.
    host.SetClipboardBusy(true);
    EXPECT_FALSE(surface.LoadPicture_ClipBoard());
    EXPECT_EQ(surface.Handle(), 0u);
    host.SetClipboardBusy(false);

    // Untrusted bytes: a header that lies, and every cut of a good DIB.
    Bytes liar = packedDib(3, 2);
    testfiles::set32(liar, 8, 0x40000000);
    host.SetClipboardData(CF_DIB, liar);
    EXPECT_FALSE(surface.LoadPicture_ClipBoard());
    const Bytes good = packedDib(7, 5);
    for (std::size_t n = 0; n < good.size(); ++n) {
        host.SetClipboardData(CF_DIB, Bytes(good.begin(), good.begin() + n));
        surface.LoadPicture_ClipBoard();
    }

    // A metafile alone: recognised, not drawable.
    host.EmptyClipboard();
    Bytes emf(88, 0);
    testfiles::set32(emf, 0, 1);
    testfiles::set32(emf, 40, 0x464D4520u);
    host.SetClipboardData(CF_ENHMETAFILE, emf);
    EXPECT_FALSE(surface.LoadPicture_ClipBoard());
    // Files are no picture.
    host.EmptyClipboard();
    host.SetClipboardData(CF_HDROP, MakeDropFiles({"/tmp/a.png"}, true));
    EXPECT_FALSE(surface.LoadPicture_ClipBoard());
}

TEST_F(Sources, IconSizesOfTheKeptSource) {
    Sizes sizes{{9, 9, 9, 9}};
    // Not an icon: nothing, and the array untouched.
    ASSERT_TRUE(surface.LoadPicture_Resource(101, std::string("PNG")));
    EXPECT_EQ(surface.SourceIconSizes(sizes), 0);
    EXPECT_EQ(sizes, (Sizes{{9, 9, 9, 9}}));

    // An icon without kept bytes: its own size.
    const Bytes ico = readFile("app.ico");
    ASSERT_TRUE(surface.LoadPicture_Stream(ico, 16, 16));
    EXPECT_EQ(surface.SourceIconSizes(sizes), 1);
    EXPECT_EQ(sizes, (Sizes{{16, 16, 32, -1}}));

    // With them: every entry, whichever was chosen.
    ASSERT_TRUE(surface.LoadPicture_Stream(ico, 48, 48, 0, 0, true));
    EXPECT_EQ(surface.ImageType(), itIconPNG);
    EXPECT_EQ(surface.SourceIconSizes(sizes), 3);
    EXPECT_EQ(sizes, (Sizes{{16, 16, 32, -1}, {32, 32, 4, 16}, {48, 48, 32, -1}}));

    // The colour counts of every depth class.
    std::vector<testfiles::IcoEntry> entries;
    for (const int bpp : {1, 8, 16, 24}) {
        entries.push_back(
            testfiles::IcoEntry{4, 4, static_cast<std::uint16_t>(bpp),
                                testfiles::bitmapEntry(
                                    4, 4, bpp, {{1, 1, 1}}, [](int, int) { return 0u; },
                                    [](int, int) { return false; })});
    }
    ASSERT_TRUE(surface.LoadPicture_Stream(testfiles::icoFile(entries, 2), 0, 0, 0, 0, true));
    EXPECT_EQ(surface.ImageType(), itCursor);
    EXPECT_EQ(surface.SourceIconSizes(sizes), 4);
    EXPECT_EQ(sizes, (Sizes{{4, 4, 1, 2},
                            {4, 4, 8, 256},
                            {4, 4, 16, 0x00FFFF00},
                            {4, 4, 24, static_cast<std::int32_t>(0xFF000000u)}}));

    // Kept bytes that are no icon file (an icon inside a larger array).
    Bytes padded(3, 0);
    padded.insert(padded.end(), ico.begin(), ico.end());
    ASSERT_TRUE(surface.LoadPicture_Stream(padded, 0, 0, 3, 0, true));
    EXPECT_EQ(surface.SourceIconSizes(sizes), 0);
}

TEST_F(Sources, DroppedFileNamesBecomeFullNames) {
    const std::vector<std::string> full{"/home/ana/Überblick 😀.png", "/tmp/b.ico"};
    EXPECT_FALSE(surface.GetDroppedFileNames(nullptr));

    HeadlessDataObject drop;
    drop.Files() = {"/home/ana/?berblick ?.png", "/tmp/b.ico"};
    EXPECT_FALSE(surface.GetDroppedFileNames(&drop)); // no file list
    drop.SetUnreadable(CF_HDROP);
    EXPECT_FALSE(surface.GetDroppedFileNames(&drop)); // offered, but unreadable
    drop.SetData(CF_HDROP, {});
    EXPECT_FALSE(surface.GetDroppedFileNames(&drop)); // an empty block

    // Narrow lists leave the collection as it is.
    drop.SetData(CF_HDROP, MakeDropFiles(full, false));
    EXPECT_TRUE(surface.GetDroppedFileNames(&drop));
    EXPECT_EQ(drop.Files()[0], "/home/ana/?berblick ?.png");

    // Wide lists replace it, as many names as the collection holds.
    Bytes three = MakeDropFiles({full[0], full[1], "/extra"}, true);
    drop.SetData(CF_HDROP, three);
    EXPECT_TRUE(surface.GetDroppedFileNames(&drop));
    EXPECT_EQ(drop.Files(), full);

    // A list that names fewer files than the drop, or lies about where it
    // starts, changes nothing.
    drop.Files() = {"a", "b", "c", "d"};
    EXPECT_FALSE(surface.GetDroppedFileNames(&drop));
    testfiles::set32(three, 0, 0xFFFFFFF0u);
    drop.SetData(CF_HDROP, three);
    EXPECT_FALSE(surface.GetDroppedFileNames(&drop));
    EXPECT_EQ(drop.Files(), (std::vector<std::string>{"a", "b", "c", "d"}));
}

TEST_F(Sources, PastedFileNames) {
    std::vector<std::string> files{"untouched"};
    EXPECT_EQ(surface.GetPastedFileNames(files), 0); // no file list
    EXPECT_EQ(files, std::vector<std::string>{"untouched"});

    const std::vector<std::string> names{"/srv/ö.gif", "/srv/b.bmp", "/srv/c.cur"};
    for (const bool wide : {true, false}) {
        host.SetClipboardData(CF_HDROP, MakeDropFiles(names, wide));
        EXPECT_EQ(surface.GetPastedFileNames(files), 3);
        EXPECT_EQ(files, names);
        EXPECT_FALSE(host.clipboardOpen());
    }

    host.SetClipboardBusy(true);
    files = {"untouched"};
    EXPECT_EQ(surface.GetPastedFileNames(files), 0);
    EXPECT_EQ(files, std::vector<std::string>{"untouched"});
    host.SetClipboardBusy(false);

    // A block that lies: no names, nothing read outside it.
    Bytes liar = MakeDropFiles(names, true);
    testfiles::set32(liar, 0, 0x7FFFFFFF);
    host.SetClipboardData(CF_HDROP, liar);
    EXPECT_EQ(surface.GetPastedFileNames(files), 0);
    EXPECT_TRUE(files.empty());
    host.SetClipboardData(CF_HDROP, Bytes(7, 0));
    EXPECT_EQ(surface.GetPastedFileNames(files), 0);
}

} // namespace
