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
#include "tests/support/jpeg_file.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <tiffio.h>
#include <webp/encode.h>

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
    // Metafiles, which this platform cannot read, are not offered; "All
    // Files" takes files without an extension too.
    const auto without = velmora::design::ImageFileFilters(false);
    ASSERT_EQ(without.size(), 7u);
    EXPECT_EQ(without[0].description, "Image Files");
    EXPECT_EQ(without[0].patterns, "*gif;*.bmp;*.jpg;*.jpeg;*.ico;*.cur;*.png");
    const std::vector<std::string> order{"Image Files", "Bitmaps", "GIFs",     "Icons and Cursors",
                                         "JPGs",        "PNGs",    "All Files"};
    for (std::size_t i = 0; i < order.size(); ++i)
        EXPECT_EQ(without[i].description, order[i]);
    EXPECT_EQ(without[3].patterns, "*.ico;*.cur");
    EXPECT_EQ(without.back().patterns, "*");

    const auto with = velmora::design::ImageFileFilters(true);
    ASSERT_EQ(with.size(), 8u);
    EXPECT_EQ(with[0].patterns, without[0].patterns + ";*.tiff");
    EXPECT_EQ(with[6].description, "Tiff");
    EXPECT_EQ(with[6].patterns, "*.tiff");
    EXPECT_EQ(with[7].description, "All Files");
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

    // The control's picture, shown on the page.
    c32bppDIB picture;
    picture.InitializeDIB(20, 10);
    Bytes png;
    ASSERT_TRUE(picture.SaveToStream_PNG(png));
    target().SetSourceImage(png, 0, 0, 0);
    select();
    ASSERT_TRUE(page_.previewVisible());

    // Files that do not load leave the page as it was, unchanged, and say
    // which file and why.
    std::vector<std::string> messages;
    page_.showMessage = [&](const std::string& text) { messages.push_back(text); };
    const Bytes placeableMetafile{
        0xD7, 0xCD, 0xC6, 0x9A, 0, 0,    0, 0, 0, 0, 100, 0, 100, 0, 0x60, 0, 0, 0, 0, 0, 0, 0, 1,
        0,    9,    0,    0,    3, 0x0C, 0, 0, 0, 0, 0,   0, 0,   0, 0,    0, 0, 3, 0, 0, 0, 0, 0};
    const std::vector<std::pair<std::string, std::string>> failures{
        {write("broken.png", Bytes{0x89, 'P', 'N', 'G', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}),
         "cannot be read here"},
        {write("drawing.wmf", placeableMetafile), "Windows Meta File"},
        {(dir_ / "missing.png").string(), "cannot be opened"}};
    for (const auto& [file, why] : failures) {
        browse(file);
        ASSERT_EQ(messages.size(), 1u) << file;
        EXPECT_NE(messages[0].find(file), std::string::npos) << messages[0];
        EXPECT_NE(messages[0].find(why), std::string::npos) << messages[0];
        messages.clear();
        EXPECT_FALSE(page_.Changed()) << file;
        EXPECT_TRUE(page_.previewVisible()) << file;
        EXPECT_EQ(page_.lblFormat()->text().toStdString(), "20 x 10 - PNG file");
        Bytes kept;
        ASSERT_TRUE(page_.ucAlphaImage1().GetSourceBytes(kept));
        EXPECT_EQ(kept, png);
    }
    // Applying now changes nothing of the control.
    page_.ApplyChanges();
    Bytes applied;
    ASSERT_TRUE(target().GetSourceBytes(applied));
    EXPECT_EQ(applied, png);

    // An icon keeps its sizes and the entry chosen.
    browse(write("four.ico", fourSizeIcon()));
    page_.cboIcon()->setCurrentIndex(1);
    page_.cboIcon_Click();
    browse(failures[0].first);
    EXPECT_EQ(entries().size(), 4u);
    EXPECT_EQ(page_.cboIcon()->currentIndex(), 1);
    EXPECT_EQ(page_.ucAlphaImage1().GetSurface().Width(), 16);
    EXPECT_TRUE(page_.previewVisible());
}

TEST_F(SourcePage, FilesReadByTheImagingServiceAreNamedByTheirOwnFormat) {
    env_->imagingLibraryNames = {VELMORA_IMAGING_LIBRARY};
    ppgSourceImage page(host_, 0);
    ASSERT_TRUE(page.ucAlphaImage1().GDIplusEnabled());
    std::string next;
    page.openFileDialog = [&](const std::string&, const auto&) { return next; };
    std::vector<std::string> messages;
    page.showMessage = [&](const std::string& text) { messages.push_back(text); };

    const std::string jpeg = write("photo.jpg", testjpeg::flatJpeg(16, 8, 200, 100, 50));
    const std::string tiff = (dir_ / "scan.tif").string();
    {
        TIFF* t = TIFFOpen(tiff.c_str(), "w");
        ASSERT_NE(t, nullptr);
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 12);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, 6);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 6);
        std::vector<std::uint8_t> row(12 * 3, 90);
        for (std::uint32_t y = 0; y < 6; ++y)
            TIFFWriteScanline(t, row.data(), y, 0);
        TIFFClose(t);
    }
    std::string webp;
    {
        // Varied enough to make a file of more than a few bytes.
        std::vector<std::uint8_t> rgb(10 * 4 * 3);
        std::uint32_t noise = 12345;
        for (std::uint8_t& sample : rgb) {
            noise = noise * 1103515245u + 12345u;
            sample = static_cast<std::uint8_t>(noise >> 16);
        }
        std::uint8_t* out = nullptr;
        const std::size_t size = WebPEncodeLosslessRGB(rgb.data(), 10, 4, 10 * 3, &out);
        ASSERT_GT(size, 0u);
        webp = write("web.webp", Bytes(out, out + size));
        WebPFree(out);
    }
    for (const auto& [file, text] :
         std::vector<std::pair<std::string, std::string>>{{jpeg, "16 x 8 - Bitmap or JPG file"},
                                                          {tiff, "12 x 6 - TIFF file"},
                                                          {webp, "10 x 4 - WebP file"},
                                                          {png640(), "640 x 480 - PNG file"}}) {
        next = file;
        page.cmdBrowse_Click();
        EXPECT_EQ(page.lblFormat()->text().toStdString(), text) << file;
        EXPECT_TRUE(page.previewVisible()) << file;
    }
    EXPECT_TRUE(messages.empty()) << messages.front();
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

TEST_F(SourcePage, AClipboardPictureAfterAnIconIsDescribedAsWhatItIs) {
    select();
    browse(write("four.ico", fourSizeIcon()));
    ASSERT_FALSE(page_.cboIcon()->isHidden());

    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(QColor(200, 10, 10));
    QApplication::clipboard()->setImage(picture);
    page_.cmdClipBoard_Click();
    ASSERT_TRUE(page_.previewVisible());
    // No icon list, and so no icon size for Apply; the label says what the
    // picture is.
    EXPECT_TRUE(page_.cboIcon()->isHidden());
    EXPECT_EQ(page_.cboIcon()->count(), 0);
    EXPECT_FALSE(page_.lblFormat()->isHidden());
    EXPECT_EQ(page_.lblFormat()->text().left(10).toStdString(), "40 x 30 - ");
    page_.ApplyChanges();
    EXPECT_EQ(target().GetSurface().Width(), 40);
    EXPECT_EQ(target().GetSurface().Height(), 30);
}

// A bitmap file of one 24-bit row whose bits begin 6 bytes after the
// colour-less header, as the file header says.
Bytes bitmapWithGap(int width, testfiles::Rgb colour) {
    Bytes bits;
    for (int x = 0; x < width; ++x)
        bits.insert(bits.end(), {colour.b, colour.g, colour.r});
    while (bits.size() % 4 != 0)
        bits.push_back(0);
    Bytes gapThenBits(6, 0xEE);
    gapThenBits.insert(gapThenBits.end(), bits.begin(), bits.end());
    Bytes file = testfiles::bmpFile(testfiles::infoHeader(width, 1, 24), gapThenBits);
    testfiles::set32(file, 10, 14 + 40 + 6);
    return file;
}

QByteArray qbytes(const Bytes& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

TEST_F(SourcePage, PastedPicturesKeepTheirTransparencyAndTheirPixels) {
    select();
    // Left half clear, right half blue at half opacity.
    QImage see(8, 4, QImage::Format_ARGB32);
    see.fill(QColor(0, 0, 255, 128));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            see.setPixelColor(x, y, QColor(0, 0, 0, 0));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(see.save(&buffer, "PNG"));
    const auto expectTransparency = [&](const char* source) {
        ASSERT_TRUE(page_.previewVisible()) << source;
        const c32bppDIB& s = page_.ucAlphaImage1().GetSurface();
        ASSERT_EQ(s.Width(), 8) << source;
        EXPECT_TRUE(s.Alpha()) << source;
        std::int32_t alpha = -1;
        s.GetPixel(1, 1, alpha);
        EXPECT_EQ(alpha, 0) << source;
        EXPECT_EQ(s.GetPixel(6, 1, alpha), 0xFF0000) << source;
        EXPECT_NEAR(alpha, 128, 1) << source;
    };

    // Another program offers PNG beside a flattened bitmap.
    auto both = std::make_unique<QMimeData>();
    both->setData(QStringLiteral("image/bmp"), qbytes(bitmapWithGap(8, {255, 255, 255})));
    both->setData(QStringLiteral("image/png"), png);
    QApplication::clipboard()->setMimeData(both.release());
    page_.cmdClipBoard_Click();
    expectTransparency("PNG beside a bitmap");
    // And applied, the control keeps it too.
    page_.ApplyChanges();
    EXPECT_TRUE(target().GetSurface().Alpha());

    // An image with an alpha channel.
    QApplication::clipboard()->setImage(see);
    page_.cmdClipBoard_Click();
    expectTransparency("an image");

    // A bitmap file whose bits do not follow its header directly.
    auto bitmap = std::make_unique<QMimeData>();
    bitmap->setData(QStringLiteral("image/bmp"), qbytes(bitmapWithGap(3, {10, 200, 30})));
    QApplication::clipboard()->setMimeData(bitmap.release());
    page_.cmdClipBoard_Click();
    ASSERT_TRUE(page_.previewVisible());
    const c32bppDIB& s = page_.ucAlphaImage1().GetSurface();
    ASSERT_EQ(s.Width(), 3);
    std::int32_t alpha = 0;
    for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(s.GetPixel(x, 0, alpha), 0x1EC80A) << x;
        EXPECT_EQ(alpha, 255);
    }
}

TEST_F(SourcePage, WithoutAControlNothingOnThePageCanBeUsed) {
    const auto usable = [&] {
        return page_.cmdBrowse()->isEnabled() || page_.cmdClipBoard()->isEnabled() ||
               page_.Command1()->isEnabled();
    };
    EXPECT_FALSE(usable());
    select();
    EXPECT_TRUE(page_.cmdBrowse()->isEnabled());
    EXPECT_TRUE(page_.cmdClipBoard()->isEnabled());
    EXPECT_TRUE(page_.Command1()->isEnabled());
    browse(write("four.ico", fourSizeIcon()));

    page_.SelectionChanged({});
    EXPECT_FALSE(usable());
    EXPECT_FALSE(page_.cboIcon()->isEnabled());
    EXPECT_FALSE(page_.previewVisible());
    EXPECT_FALSE(page_.Changed());
    // A drop is refused too.
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(png640()))});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&page_, &enter);
    EXPECT_FALSE(enter.isAccepted());
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&page_, &drop);
    EXPECT_FALSE(page_.Changed());
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
    select();
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
