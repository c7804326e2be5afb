// The Image Source page on the offscreen platform: its texts and ordering
// rules, loading from files, the clipboard and drops, the icon-size choice,
// and applying to a control whose store is then written and read back.

#include "design/ppg_source_image.h"
#include "platform/host/data_object.h"
#include "platform/host/form_store.h"
#include "platform/host/services.h"
#include "platform/qt/qt_clipboard.h"
#include "platform/system/environment.h"
#include "surface/image_types.h"
#include "tests/support/image_files.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QMimeData>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using testfiles::Bytes;
using velmora::design::ppgSourceImage;

namespace {

namespace fs = std::filesystem;

// --- the texts ---------------------------------------------------------------------------

TEST(SourcePageTexts, IconEntriesNameSizeDepthAndColours) {
    using velmora::design::IconEntryText;
    EXPECT_EQ(IconEntryText(32, 32, 32, -1), "032x032 {32 bit, True Color Alpha}");
    EXPECT_EQ(IconEntryText(48, 48, 24, static_cast<std::int32_t>(0xFF000000)),
              "048x048 {24 bit, True Color}");
    EXPECT_EQ(IconEntryText(16, 16, 16, 0xFFFF00), "016x016 {16 bit, High Color}");
    EXPECT_EQ(IconEntryText(16, 16, 4, 16), "016x016 {4 bit, 16 colors}");
    EXPECT_EQ(IconEntryText(256, 256, 8, 256), "256x256 {8 bit, 256 colors}");

    // An entry's text gives back the size and depth it names.
    const auto size = velmora::design::ParseIconEntry("016x032 {4 bit, 16 colors}");
    EXPECT_EQ(size.width, 16);
    EXPECT_EQ(size.height, 32);
    EXPECT_EQ(size.bitDepth, 4);
    const auto wide = velmora::design::ParseIconEntry("256x256 {32 bit, True Color Alpha}");
    EXPECT_EQ(wide.width, 256);
    EXPECT_EQ(wide.bitDepth, 32);
    const auto none = velmora::design::ParseIconEntry("");
    EXPECT_EQ(none.width + none.height + none.bitDepth, 0);
}

TEST(SourcePageTexts, FormatLabelByImageType) {
    using velmora::design::FormatLabelText;
    EXPECT_EQ(FormatLabelText(640, 480, modParsers::itPNG, true), "640 x 480 - PNG file");
    EXPECT_EQ(FormatLabelText(8, 9, modParsers::itBitmap, false), "8 x 9 - Bitmap or JPG file");
    EXPECT_EQ(FormatLabelText(8, 9, modParsers::itMetafile, false), "8 x 9 - Windows Meta File");
    EXPECT_EQ(FormatLabelText(8, 9, modParsers::itEnhMetafile, false), "8 x 9 - Windows Meta File");
    EXPECT_EQ(FormatLabelText(8, 9, modParsers::itBitmapAlpha, true), "8 x 9 - Alpha Bitmap");
    EXPECT_EQ(FormatLabelText(8, 9, modParsers::itBitmapPremultiplied, true),
              "8 x 9 - Alpha Bitmap");
    EXPECT_EQ(FormatLabelText(8, 9, modParsers::itGIF, true), "8 x 9 - Transparent GIF");
    EXPECT_EQ(FormatLabelText(8, 9, modParsers::itGIF, false), "8 x 9 - GIF file");
    EXPECT_EQ(FormatLabelText(8, 9, modParsers::itIcon, false), "8 x 9 - ");

    // The imaging service reports everything it decodes as PNG; the source
    // bytes tell a JPEG or TIFF apart.
    const Bytes jpeg{0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10};
    EXPECT_EQ(FormatLabelText(8, 9, modParsers::itPNG, false, jpeg), "8 x 9 - Bitmap or JPG file");
    const Bytes tiff{'I', 'I', 42, 0, 8, 0, 0, 0};
    EXPECT_EQ(FormatLabelText(8, 9, modParsers::itPNG, false, tiff), "8 x 9 - TIFF file");
}

TEST(SourcePageTexts, FilterListOffersTiffOnlyWithTheImagingService) {
    const auto without = velmora::design::ImageFileFilters(false);
    ASSERT_EQ(without.size(), 8u);
    EXPECT_EQ(without[0].description, "Image Files");
    EXPECT_EQ(without[0].patterns, "*gif;*.bmp;*.jpg;*.jpeg;*.ico;*.cur;*.wmf;*.emf;*.png");
    const std::vector<std::string> order{"Image Files", "Bitmaps",    "GIFs", "Icons and Cursors",
                                         "JPGs",        "Meta Files", "PNGs", "All Files"};
    for (std::size_t i = 0; i < order.size(); ++i)
        EXPECT_EQ(without[i].description, order[i]);
    EXPECT_EQ(without[3].patterns, "*.ico;*.cur");
    EXPECT_EQ(without.back().patterns, "*.*");

    const auto with = velmora::design::ImageFileFilters(true);
    ASSERT_EQ(with.size(), 9u);
    EXPECT_EQ(with[0].patterns, without[0].patterns + ";*.tiff");
    EXPECT_EQ(with[7].description, "Tiff");
    EXPECT_EQ(with[7].patterns, "*.tiff");
    EXPECT_EQ(with[8].description, "All Files");
}

// --- the desktop clipboard's formats ---------------------------------------------------

TEST(QtClipboardFormats, ImagesBecomeBottomUpDibsAndFilesADropList) {
    QMimeData image;
    QImage picture(3, 2, QImage::Format_ARGB32);
    picture.fill(QColor(255, 0, 0));
    picture.setPixelColor(0, 0, QColor(0, 0, 255, 128)); // top-left
    image.setImageData(picture);
    ASSERT_TRUE(platform::MimeDataOffers(&image, platform::CF_DIB));
    EXPECT_FALSE(platform::MimeDataOffers(&image, platform::CF_HDROP));
    EXPECT_FALSE(platform::MimeDataOffers(&image, platform::CF_ENHMETAFILE));
    const auto dib = platform::MimeDataBytes(&image, platform::CF_DIB);
    ASSERT_TRUE(dib);
    ASSERT_EQ(dib->size(), 40u + 3 * 2 * 4);
    EXPECT_EQ((*dib)[14], 32); // bits per pixel
    // The top row is stored last; its first pixel is blue, half transparent.
    const std::size_t topLeft = 40 + 3 * 4;
    EXPECT_EQ((*dib)[topLeft + 0], 255);
    EXPECT_EQ((*dib)[topLeft + 2], 0);
    EXPECT_EQ((*dib)[topLeft + 3], 128);
    EXPECT_EQ((*dib)[40 + 2], 255); // bottom-left is red

    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/ä b.png")),
                   QUrl(QStringLiteral("https://velmora.example/x.png")),
                   QUrl::fromLocalFile(QStringLiteral("/tmp/second.ico"))});
    const auto list = platform::MimeDataBytes(&files, platform::CF_HDROP);
    ASSERT_TRUE(list);
    EXPECT_EQ(platform::ReadDropFileNames(*list),
              (std::vector<std::string>{"/tmp/ä b.png", "/tmp/second.ico"}));

    QMimeData gnome; // a copy in GNOME's file manager
    gnome.setData(QStringLiteral("x-special/gnome-copied-files"),
                  QByteArrayLiteral("copy\nfile:///tmp/a%20b.png\nfile:///tmp/c.ico\n"));
    const auto copied = platform::MimeDataBytes(&gnome, platform::CF_HDROP);
    ASSERT_TRUE(copied);
    EXPECT_EQ(platform::ReadDropFileNames(*copied),
              (std::vector<std::string>{"/tmp/a b.png", "/tmp/c.ico"}));
}

TEST(QtClipboardFormats, BitmapFilesPassToTheReaderAsTheyAre) {
    QMimeData data;
    const Bytes file = testfiles::bmpFile(testfiles::infoHeader(1, 1, 24), Bytes{1, 2, 3, 0});
    data.setData(QStringLiteral("image/bmp"), QByteArray(reinterpret_cast<const char*>(file.data()),
                                                         static_cast<qsizetype>(file.size())));
    const auto dib = platform::MimeDataBytes(&data, platform::CF_DIB);
    ASSERT_TRUE(dib);
    EXPECT_EQ(*dib, Bytes(file.begin() + 14, file.end()));

    QMimeData nothing;
    EXPECT_FALSE(platform::MimeDataBytes(&nothing, platform::CF_DIB));
    EXPECT_FALSE(platform::MimeDataBytes(nullptr, platform::CF_HDROP));
}

// --- the page ---------------------------------------------------------------------------------

// A 32-bit entry of one colour, fully opaque.
Bytes solidEntry(int size, std::uint32_t argb) {
    return testfiles::bitmapEntry(
        size, size, 32, {}, [argb](int, int) { return argb; }, [](int, int) { return false; });
}
Bytes paletteEntry(int size) {
    return testfiles::bitmapEntry(
        size, size, 4, {{0, 0, 0}, {255, 0, 0}}, [](int x, int) { return x % 2; },
        [](int, int) { return false; });
}

class SourcePage : public ::testing::Test {
protected:
    SourcePage()
        : dir_(fs::temp_directory_path() / ("velmora-page-" + std::to_string(::getpid()))) {
        env_->host = &host_;
        fs::create_directories(dir_);
        page_.resize(400, 248);
        page_.openFileDialog = [this](const std::string& title,
                                      const std::vector<velmora::design::FileFilter>& filters) {
            dialogTitle_ = title;
            dialogFilters_ = filters;
            return nextFile_;
        };
        page_.onChangedChanged = [this](bool changed) { changes_.push_back(changed); };
        // The target: an image control on a form of its own.
        target_.site =
            &target_.container.addSite(aicAlphaImage::kTypeName, "Image1", {10, 10, 74, 74});
        target_.control = std::make_unique<aicAlphaImage>(*target_.site);
        target_.container.attach(*target_.site, *target_.control, target_.control.get());
        target_.container.setUserMode(false);
        target_.control->InitProperties();
    }
    ~SourcePage() override {
        target_.control->Terminate();
        target_.container.detach(*target_.site);
        target_.control.reset();
        QApplication::clipboard()->clear();
        fs::remove_all(dir_);
    }

    std::string write(const std::string& name, const Bytes& bytes) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }
    // The icon of the examples: 16 and 32 pixels at 4 and 32 bits, its
    // directory in no particular order.
    Bytes fourSizeIcon() {
        return testfiles::icoFile({{32, 32, 4, paletteEntry(32)},
                                   {16, 16, 32, solidEntry(16, 0xFF00FF00)},
                                   {32, 32, 32, solidEntry(32, 0xFF0000FF)},
                                   {16, 16, 4, paletteEntry(16)}});
    }
    std::string png640() {
        c32bppDIB picture;
        picture.InitializeDIB(640, 480);
        Bytes bytes;
        EXPECT_TRUE(picture.SaveToStream_PNG(bytes));
        return write("wide.png", bytes);
    }
    void browse(const std::string& file) {
        nextFile_ = file;
        page_.cmdBrowse_Click();
    }
    std::vector<std::string> entries() const {
        std::vector<std::string> out;
        for (int i = 0; i < page_.cboIcon()->count(); ++i)
            out.push_back(page_.cboIcon()->itemText(i).toStdString());
        return out;
    }
    aicAlphaImage& target() { return *target_.control; }
    void select() {
        aicAlphaImage* selected[] = {target_.control.get()};
        page_.SelectionChanged(selected);
    }

    platform::QtHost host_;
    platform::ScopedEnvironment env_;
    fs::path dir_;
    ppgSourceImage page_{host_, 0};
    struct Target {
        explicit Target(platform::QtHost& host)
            : window(
                  host.CreateWindowExA(0, "#32770", "Form", 0, 0, 0, 200, 200, 0, 0, 0, nullptr)),
              container(host, window) {}
        platform::HWND window;
        platform::QtControlContainer container;
        platform::QtContainerSite* site = nullptr;
        std::unique_ptr<aicAlphaImage> control;
    } target_{host_};
    std::string nextFile_;
    std::string dialogTitle_;
    std::vector<velmora::design::FileFilter> dialogFilters_;
    std::vector<bool> changes_;
};

TEST_F(SourcePage, BrowsingAnIconListsItsSizesAscendingAndChoosesTheLargest) {
    browse(write("four.ico", fourSizeIcon()));
    EXPECT_EQ(dialogTitle_, "Select Image");
    EXPECT_EQ(dialogFilters_.size(),
              velmora::design::ImageFileFilters(page_.ucAlphaImage1().GDIplusEnabled()).size());

    EXPECT_EQ(entries(), (std::vector<std::string>{
                             "016x016 {4 bit, 16 colors}", "016x016 {32 bit, True Color Alpha}",
                             "032x032 {4 bit, 16 colors}", "032x032 {32 bit, True Color Alpha}"}));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(page_.cboIcon()->itemData(i).toInt(),
                  i < 2 ? 256 + (i ? 32 : 4) : 1024 + (i == 3 ? 32 : 4));
    EXPECT_EQ(page_.cboIcon()->currentIndex(), 3);
    EXPECT_TRUE(page_.cboIcon()->isEnabled());
    EXPECT_FALSE(page_.cboIcon()->isHidden());
    EXPECT_TRUE(page_.lblFormat()->isHidden());
    EXPECT_TRUE(page_.Changed());
    EXPECT_EQ(changes_, std::vector<bool>{true});

    // The preview shows the 32-pixel image at its size, centred in the frame.
    ASSERT_TRUE(page_.previewVisible());
    EXPECT_EQ(page_.ucAlphaImage1().GetSurface().Width(), 32);
    const QRect frame = page_.Shape1()->geometry();
    EXPECT_EQ(page_.previewGeometry(), QRect(frame.left() + (frame.width() - 32) / 2,
                                             frame.top() + (frame.height() - 32) / 2, 32, 32));

    // Choosing the 16-pixel 4-bit entry reloads the preview at that size.
    page_.cboIcon()->setCurrentIndex(0);
    page_.cboIcon_Click();
    EXPECT_EQ(page_.ucAlphaImage1().GetSurface().Width(), 16);
    EXPECT_EQ(page_.previewGeometry().size(), QSize(16, 16));
}

TEST_F(SourcePage, AnIconWithOneImageHasOneDisabledEntry) {
    browse(write("one.ico", testfiles::icoFile({{16, 16, 32, solidEntry(16, 0xFFFF0000)}})));
    EXPECT_EQ(entries(), std::vector<std::string>{"016x016 {32 bit, True Color Alpha}"});
    EXPECT_EQ(page_.cboIcon()->currentIndex(), 0);
    EXPECT_FALSE(page_.cboIcon()->isEnabled());
}

TEST_F(SourcePage, OtherImagesAreDescribedAndFittedIntoTheFrame) {
    browse(png640());
    EXPECT_EQ(page_.lblFormat()->text().toStdString(), "640 x 480 - PNG file");
    EXPECT_FALSE(page_.lblFormat()->isHidden());
    EXPECT_TRUE(page_.cboIcon()->isHidden());
    EXPECT_EQ(page_.cboIcon()->count(), 0);
    // 640 x 480 into the frame less its border keeps its proportions.
    const QRect frame = page_.Shape1()->geometry();
    const QRect preview = page_.previewGeometry();
    EXPECT_EQ(preview.width(), frame.width() - 2);
    EXPECT_NEAR(preview.height(), (frame.width() - 2) * 480.0 / 640.0, 1.0);
    EXPECT_EQ(preview.center().y(), frame.center().y());
}

TEST_F(SourcePage, CancelledAndFailedLoads) {
    browse("");
    EXPECT_FALSE(page_.Changed());
    EXPECT_FALSE(page_.previewVisible());

    browse(png640());
    ASSERT_TRUE(page_.previewVisible());
    // A damaged file leaves the preview hidden and empty, and the page
    // changed: applying now would clear the control's image.
    browse(write("broken.png", Bytes{0x89, 'P', 'N', 'G', 1, 2, 3}));
    EXPECT_TRUE(page_.Changed());
    EXPECT_FALSE(page_.previewVisible());
    Bytes kept;
    EXPECT_FALSE(page_.ucAlphaImage1().GetSourceBytes(kept));
}

TEST_F(SourcePage, ApplyWritesTheChosenIconSizeToTheControlAndItsStore) {
    const Bytes icon = fourSizeIcon();
    select();
    EXPECT_EQ(page_.target(), &target());
    EXPECT_FALSE(page_.Changed());

    browse(write("four.ico", icon));
    page_.cboIcon()->setCurrentIndex(1); // 16 x 16, 32 bits
    page_.cboIcon_Click();
    page_.ApplyChanges();
    EXPECT_FALSE(page_.Changed());

    // The control holds the icon's own bytes at the chosen entry, and takes
    // its size.
    Bytes source;
    ASSERT_TRUE(target().GetSourceBytes(source));
    EXPECT_EQ(source, icon);
    EXPECT_EQ(target().GetSurface().Width(), 16);
    std::int32_t alpha = 0;
    EXPECT_EQ(target().GetSurface().GetPixel(0, 0, alpha) & 0xFFFFFF, 0x00FF00); // the green entry

    // Saved through the control's own save path, written, read back.
    platform::FormRecord form{200, 200, {}};
    platform::FormControlRecord record;
    record.type = aicAlphaImage::kTypeName;
    record.name = "Image1";
    target().WriteProperties(record.properties);
    form.controls.push_back(std::move(record));
    std::string error;
    const fs::path store = dir_ / "form.json";
    ASSERT_TRUE(platform::WriteFormStore(store, form, error)) << error;
    const platform::FormStoreResult read = platform::ReadFormStore(store);
    ASSERT_TRUE(read) << read.error;
    EXPECT_EQ(read.form->controls.at(0).properties.ReadProperty("Image", Bytes{}), icon);

    // Selecting the control again shows its image on the page, unchanged.
    page_.Command1_Click();
    select();
    EXPECT_FALSE(page_.Changed());
    EXPECT_TRUE(page_.previewVisible());
    EXPECT_EQ(entries().size(), 4u);
}

TEST_F(SourcePage, ApplyingAnEmptyPreviewClearsTheControl_AndNoSelectionChangesNothing) {
    browse(png640());
    page_.ApplyChanges(); // no control selected: nothing to write
    Bytes source;
    EXPECT_FALSE(target().GetSourceBytes(source));

    select();
    browse(png640());
    page_.ApplyChanges();
    ASSERT_TRUE(target().GetSourceBytes(source));
    EXPECT_EQ(target().GetSurface().Width(), 640);

    page_.Command1_Click();
    EXPECT_TRUE(page_.Changed());
    EXPECT_FALSE(page_.previewVisible());
    page_.ApplyChanges();
    EXPECT_FALSE(target().GetSourceBytes(source));
    EXPECT_NE(target().GetSurface().ImageType(), modParsers::itPNG);

    page_.SelectionChanged({});
    EXPECT_EQ(page_.target(), nullptr);
    EXPECT_FALSE(page_.Changed());
}

TEST_F(SourcePage, FromClipboardTakesAPictureOrTheFirstCopiedFile) {
    QClipboard* clipboard = QApplication::clipboard();
    // Nothing there: nothing happens.
    clipboard->clear();
    page_.cmdClipBoard_Click();
    EXPECT_FALSE(page_.Changed());

    QImage picture(40, 30, QImage::Format_ARGB32);
    picture.fill(QColor(200, 10, 10));
    clipboard->setImage(picture);
    page_.cmdClipBoard_Click();
    EXPECT_TRUE(page_.Changed());
    ASSERT_TRUE(page_.previewVisible());
    EXPECT_EQ(page_.ucAlphaImage1().GetSurface().Width(), 40);
    EXPECT_EQ(page_.ucAlphaImage1().GetSurface().Height(), 30);
    // The preview keeps the picture's bytes, so it can be applied.
    select();
    clipboard->setImage(picture);
    page_.cmdClipBoard_Click();
    page_.ApplyChanges();
    EXPECT_EQ(target().GetSurface().Width(), 40);

    // A file manager's copy: the first file loads.
    auto files = std::make_unique<QMimeData>();
    files->setUrls({QUrl::fromLocalFile(QString::fromStdString(write("one.ico", fourSizeIcon()))),
                    QUrl::fromLocalFile(QString::fromStdString(png640()))});
    clipboard->setMimeData(files.release());
    page_.cmdClipBoard_Click();
    EXPECT_EQ(entries().size(), 4u);
    EXPECT_TRUE(page_.Changed());
}

TEST_F(SourcePage, DamagedClipboardPicturesAreRefusedAndLeaveThePageAsItWas) {
    select();
    for (const Bytes& damaged :
         {Bytes{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F},
          testfiles::bmpFile(testfiles::infoHeader(100000, 100000, 32), Bytes(16, 0))}) {
        auto data = std::make_unique<QMimeData>();
        data->setData(QStringLiteral("image/bmp"),
                      QByteArray(reinterpret_cast<const char*>(damaged.data()),
                                 static_cast<qsizetype>(damaged.size())));
        QApplication::clipboard()->setMimeData(data.release());
        page_.cmdClipBoard_Click();
        EXPECT_FALSE(page_.Changed());
        EXPECT_FALSE(page_.previewVisible());
    }
}

TEST_F(SourcePage, DroppingSeveralFilesLoadsTheFirst) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(png640())),
                  QUrl::fromLocalFile(QString::fromStdString(write("four.ico", fourSizeIcon())))});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&page_, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&page_, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_TRUE(page_.Changed());
    EXPECT_EQ(page_.lblFormat()->text().toStdString(), "640 x 480 - PNG file");
    EXPECT_EQ(page_.cboIcon()->count(), 0);
}

} // namespace
