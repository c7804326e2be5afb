#include "design/ppg_source_image.h"

#include "platform/host/clipboard.h"
#include "platform/host/data_object.h"
#include "platform/picture/metafile.h"
#include "platform/qt/qt_clipboard.h"
#include "platform/util/png_signature.h"
#include "surface/image_types.h"

#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFrame>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <array>
#include <charconv>
#include <cstdio>
#include <fstream>

namespace velmora::design {
namespace {

// The page's layout, in pixels: the buttons down the left, the preview's
// frame on the right, the icon sizes or the format below both.
constexpr QSize kPageSize{400, 248};
constexpr QRect kBrowse{8, 8, 120, 26};
constexpr QRect kClipboard{8, 40, 120, 26};
constexpr QRect kClear{8, 72, 120, 26};
constexpr QRect kFrame{136, 8, 256, 196};
constexpr QRect kSizes{8, 214, 384, 26};

// Arial when the system has it, else a free sans face of the same metrics.
QFont pageFont() {
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(9);
    font.setStyleHint(QFont::SansSerif);
    const QStringList families = QFontDatabase::families();
    if (!families.contains(QStringLiteral("Arial"))) {
        for (const char* fallback : {"Liberation Sans", "Arimo", "DejaVu Sans"}) {
            if (families.contains(QString::fromLatin1(fallback))) {
                font.setFamily(QString::fromLatin1(fallback));
                break;
            }
        }
    }
    return font;
}

std::string threeDigits(std::int32_t value) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "%03d", value);
    return text.data();
}

// The leading number of a text, as far as it goes (0 for none).
std::int32_t leadingNumber(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    std::int32_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

std::string colourDescription(std::int32_t code) {
    switch (static_cast<std::uint32_t>(code)) {
    case 0xFF000000u:
        return "True Color}";
    case 0xFFFFFFFFu:
        return "True Color Alpha}";
    case 0x00FFFF00u:
        return "High Color}";
    default:
        return std::to_string(code) + " colors}";
    }
}

// The imaging service reports every format it decodes as PNG; the kept
// source bytes tell what the file really was.
const char* decodedFormat(std::span<const std::uint8_t> source) {
    const auto starts = [&](std::initializer_list<std::uint8_t> prefix) {
        return source.size() >= prefix.size() &&
               std::equal(prefix.begin(), prefix.end(), source.begin());
    };
    if (source.empty() || velmora::startsWithPngSignature(source)) return "PNG file";
    if (starts({0xFF, 0xD8, 0xFF})) return "Bitmap or JPG file";
    if (starts({'I', 'I', 42, 0}) || starts({'M', 'M', 0, 42})) return "TIFF file";
    if (starts({'R', 'I', 'F', 'F'}) && source.size() >= 12 && source[8] == 'W' &&
        source[9] == 'E' && source[10] == 'B' && source[11] == 'P')
        return "WebP file";
    return "PNG file";
}

// Enough of a file's start to tell every format the page names, the
// enhanced metafile's signature at byte 40 included.
constexpr std::size_t kFileHeadBytes = 64;

std::vector<std::uint8_t> fileHead(const std::string& path) {
    std::vector<std::uint8_t> head(kFileHeadBytes);
    std::ifstream file(path, std::ios::binary);
    file.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(file.gcount()));
    return head;
}

} // namespace

std::vector<FileFilter> ImageFileFilters(bool imagingEnabled) {
    std::vector<FileFilter> filters;
    // Metafiles are not offered: this platform has no player for them, so
    // picking one could only fail.
    std::string images = "*gif;*.bmp;*.jpg;*.jpeg;*.ico;*.cur;*.png";
    if (imagingEnabled) images += ";*.tiff";
    filters.push_back({"Image Files", images});
    filters.push_back({"Bitmaps", "*.bmp"});
    filters.push_back({"GIFs", "*.gif"});
    filters.push_back({"Icons and Cursors", "*.ico;*.cur"});
    filters.push_back({"JPGs", "*.jpg;*.jpeg"});
    filters.push_back({"PNGs", "*.png"});
    if (imagingEnabled) filters.push_back({"Tiff", "*.tiff"});
    // "*.*" would hide files without an extension.
    filters.push_back({"All Files", "*"});
    return filters;
}

std::string IconEntryText(std::int32_t width, std::int32_t height, std::int32_t bitCount,
                          std::int32_t colourCode) {
    std::string text = threeDigits(width);
    text += 'x';
    text += threeDigits(height);
    text += " {";
    text += std::to_string(bitCount);
    text += " bit, ";
    text += colourDescription(colourCode);
    return text;
}

IconEntrySize ParseIconEntry(std::string_view text) {
    IconEntrySize size;
    size.width = leadingNumber(text.substr(0, 3));
    if (text.size() > 4) size.height = leadingNumber(text.substr(4, 3));
    if (const std::size_t brace = text.find('{'); brace != std::string_view::npos)
        size.bitDepth = leadingNumber(text.substr(brace + 1, 3));
    return size;
}

std::string FormatLabelText(std::int32_t width, std::int32_t height, std::int32_t imageType,
                            bool hasAlpha, std::span<const std::uint8_t> sourceBytes) {
    std::string text = std::to_string(width);
    text += " x ";
    text += std::to_string(height);
    text += " - ";
    switch (imageType) {
    case modParsers::itBitmap:
        text += "Bitmap or JPG file";
        break;
    case modParsers::itMetafile:
    case modParsers::itEnhMetafile:
        text += "Windows Meta File";
        break;
    case modParsers::itBitmapAlpha:
    case modParsers::itBitmapPremultiplied:
        text += "Alpha Bitmap";
        break;
    case modParsers::itGIF:
        text += hasAlpha ? "Transparent GIF" : "GIF file";
        break;
    case modParsers::itPNG:
        text += decodedFormat(sourceBytes);
        break;
    default:
        break;
    }
    return text;
}

std::string LoadFailureText(const std::string& path, std::span<const std::uint8_t> head) {
    std::string text = "The file \"";
    text += path;
    text += "\" could not be loaded.\n";
    if (head.empty())
        text += "It cannot be opened, or it is empty.";
    else if (platform::IsWindowsMetafile(head) || platform::IsEnhMetafile(head))
        text += "It is a Windows Meta File, a format that cannot be read here.";
    else
        text += "Its format cannot be read here, or the file is damaged.";
    return text;
}

ppgSourceImage::ppgSourceImage(platform::QtHost& host, platform::HWND owner, QWidget* parent)
    : QWidget(parent), host_(host) {
    setFont(pageFont());
    setMinimumSize(kPageSize);
    setAcceptDrops(true);
    setWindowTitle(QString::fromLatin1(kCaption));

    cmdBrowse_ = new QPushButton(QStringLiteral("Browse"), this);
    cmdBrowse_->setObjectName(QStringLiteral("cmdBrowse"));
    cmdBrowse_->setGeometry(kBrowse);
    cmdClipBoard_ = new QPushButton(QStringLiteral("From Clipboard"), this);
    cmdClipBoard_->setObjectName(QStringLiteral("cmdClipBoard"));
    cmdClipBoard_->setGeometry(kClipboard);
    command1_ = new QPushButton(QStringLiteral("Clear Image"), this);
    command1_->setObjectName(QStringLiteral("Command1"));
    command1_->setGeometry(kClear);
    cboIcon_ = new QComboBox(this);
    cboIcon_->setObjectName(QStringLiteral("cboIcon"));
    cboIcon_->setGeometry(kSizes);
    cboIcon_->hide();
    lblFormat_ = new QLabel(this);
    lblFormat_->setObjectName(QStringLiteral("lblFormat"));
    lblFormat_->setGeometry(kSizes);
    shape1_ = new QFrame(this);
    shape1_->setObjectName(QStringLiteral("Shape1"));
    shape1_->setFrameShape(QFrame::Box);
    shape1_->setGeometry(kFrame);

    // The preview sits in a container inside the frame's border, a window
    // record of its own under the owner's.
    const QRect inner = kFrame.adjusted(1, 1, -1, -1);
    // Shown on its own, the page is a top-level window itself.
    window_ = owner != 0 ? host_.CreateWindowExA(0, "Static", "ppgSourceImage",
                                                 platform::WS_CHILD | platform::WS_VISIBLE,
                                                 inner.x(), inner.y(), inner.width(),
                                                 inner.height(), owner, 0, 0, nullptr)
                         : host_.AdoptWindow(this, "#32770");
    container_ = new platform::QtControlContainer(host_, window_, shape1_);
    container_->setGeometry(shape1_->contentsRect());
    container_->setBackground(palette().color(QPalette::Window));
    previewSite_ = &container_->addSite(aicAlphaImage::kTypeName, "ucAlphaImage1",
                                        {0, 0, inner.width(), inner.height()});
    preview_ = std::make_unique<aicAlphaImage>(*previewSite_);
    container_->attach(*previewSite_, *preview_, preview_.get());
    preview_->InitProperties();
    preview_->KeepOriginalFormat(true);
    // The page places and sizes the preview itself.
    preview_->AutoSize(false);
    previewSite_->setVisible(false);

    showMessage = [this](const std::string& text) {
        host_.MessageBox(text, kCaption, platform::MB_OK | platform::MB_ICONEXCLAMATION);
    };
    updateEnabled();

    connect(cmdBrowse_, &QPushButton::clicked, this, [this] { cmdBrowse_Click(); });
    connect(cmdClipBoard_, &QPushButton::clicked, this, [this] { cmdClipBoard_Click(); });
    connect(command1_, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(cboIcon_, &QComboBox::activated, this, [this](int) { cboIcon_Click(); });
}

ppgSourceImage::~ppgSourceImage() {
    previewSite_->setVisible(false);
    preview_->Terminate();
    container_->detach(*previewSite_);
    preview_.reset();
    delete container_; // before its window record
    host_.DestroyWindow(window_);
}

void ppgSourceImage::markChanged(bool changed) {
    const bool was = changed_;
    changed_ = changed;
    if (was != changed && onChangedChanged) onChangedChanged(changed);
}

void ppgSourceImage::updateEnabled() {
    // Without a control to apply to, nothing on the page can be used.
    const bool target = target_ != nullptr;
    for (QPushButton* button : {cmdBrowse_, cmdClipBoard_, command1_})
        button->setEnabled(target);
    cboIcon_->setEnabled(cboIcon_->count() > 1);
}

bool ppgSourceImage::previewVisible() const {
    return previewSite_->visible();
}

QRect ppgSourceImage::previewGeometry() const {
    const platform::RECT e = previewSite_->Extent();
    const QPoint at = container_->mapTo(this, QPoint(e.left, e.top));
    return {at.x(), at.y(), e.right - e.left, e.bottom - e.top};
}

void ppgSourceImage::clearPreview() {
    previewSite_->setVisible(false);
    preview_->ClearImage();
}

void ppgSourceImage::clearDescription() {
    cboIcon_->hide();
    cboIcon_->clear();
    lblFormat_->clear();
}

void ppgSourceImage::showPreview() {
    // Fitted into the frame less its border; small images keep their size.
    const QRect frame = shape1_->geometry();
    std::int32_t width = frame.width() - 2;
    std::int32_t height = frame.height() - 2;
    preview_->GetImageScales(width, height, 2, frame.width() - 2, frame.height() - 2, false);
    // Centred in the frame; the container starts inside its border.
    const std::int32_t left = (frame.width() - width) / 2 - 1;
    const std::int32_t top = (frame.height() - height) / 2 - 1;
    previewSite_->Move({left, top, left + width, top + height});
    previewSite_->setVisible(true);
}

IconEntrySize ppgSourceImage::chosenSize() const {
    if (cboIcon_->isHidden() || cboIcon_->currentIndex() < 0) return {};
    return ParseIconEntry(cboIcon_->currentText().toStdString());
}

bool ppgSourceImage::describeImage(std::span<const std::uint8_t> formatHead) {
    std::vector<std::array<std::int32_t, 4>> sizes;
    const c32bppDIB& surface = preview_->GetSurface();
    if (surface.SourceIconSizes(sizes) > 0) {
        lblFormat_->hide();
        cboIcon_->clear();
        for (const auto& [width, height, bits, colours] : sizes) {
            const int key = width * height + bits;
            // After every entry with a key no larger: ascending, and a new
            // entry after its equals.
            int at = 0;
            while (at < cboIcon_->count() && cboIcon_->itemData(at).toInt() <= key)
                ++at;
            cboIcon_->insertItem(
                at, QString::fromStdString(IconEntryText(width, height, bits, colours)), key);
        }
        cboIcon_->show();
    } else {
        std::vector<std::uint8_t> source;
        if (formatHead.empty()) {
            preview_->GetSourceBytes(source);
            formatHead = source;
        }
        lblFormat_->setText(QString::fromStdString(FormatLabelText(
            surface.Width(), surface.Height(), surface.ImageType(), surface.Alpha(), formatHead)));
        lblFormat_->show();
        cboIcon_->hide();
        cboIcon_->clear();
    }
    updateEnabled();
    if (cboIcon_->count() == 0) return false;
    cboIcon_->setCurrentIndex(cboIcon_->count() - 1);
    cboIcon_Click();
    return true;
}

bool ppgSourceImage::loadPreview(const LoadAtSize& load, std::span<const std::uint8_t> formatHead) {
    clearPreview();
    // The preview's own size chooses the entry of an icon or cursor.
    const platform::RECT e = previewSite_->Extent();
    std::int32_t width = e.right - e.left;
    std::int32_t height = e.bottom - e.top;
    std::int32_t depth = 0;
    if (load(width, height, depth)) {
        if (!describeImage(formatHead)) showPreview();
        return true;
    }
    // What a failed load leaves behind is no image to show.
    clearPreview();
    return false;
}

bool ppgSourceImage::loadFile(const std::string& path) {
    // What the page shows now, put back should the file not load: a file
    // that cannot be read must not cost the developer the picture on the
    // page (nor, by the next Apply, the control's).
    std::vector<std::uint8_t> before;
    const bool hadImage = preview_->GetSourceBytes(before);
    const IconEntrySize chosen = chosenSize();
    const bool shown = previewVisible();
    // The imaging service's formats are kept as PNG; the file itself tells
    // what it was.
    const std::vector<std::uint8_t> head = fileHead(path);
    const bool loaded = loadPreview(
        [&](std::int32_t& width, std::int32_t& height, std::int32_t& depth) {
            return preview_->LoadImage_FromFile(path, width, height, depth);
        },
        head);
    if (loaded) return true;
    if (hadImage) {
        std::int32_t width = chosen.width, height = chosen.height, depth = chosen.bitDepth;
        if (preview_->LoadImage_FromArray(before, width, height, depth) && shown) showPreview();
    }
    if (showMessage) showMessage(LoadFailureText(path, head));
    return false;
}

void ppgSourceImage::cmdBrowse_Click() {
    const std::vector<FileFilter> filters = ImageFileFilters(preview_->GDIplusEnabled());
    std::string path;
    if (openFileDialog) {
        path = openFileDialog("Select Image", filters);
    } else {
        QStringList names;
        for (const FileFilter& filter : filters) {
            QString patterns = QString::fromStdString(filter.patterns);
            patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
            names << QString::fromStdString(filter.description) + QStringLiteral(" (") + patterns +
                         QLatin1Char(')');
        }
        QFileDialog dialog(this, QStringLiteral("Select Image"));
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilters(names);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            path = dialog.selectedFiles().front().toStdString();
    }
    if (path.empty()) return;
    if (loadFile(path)) markChanged(true);
}

void ppgSourceImage::cmdClipBoard_Click() {
    // The clipboard belongs to other programs: whatever it holds or fails
    // to hand over, the worst is that nothing loads.
    try {
        platform::ClipboardServices& clipboard = host_.clipboard();
        bool picture = false;
        for (unsigned format : {platform::CF_BITMAP, platform::CF_DIB, platform::CF_ENHMETAFILE,
                                platform::CF_METAFILEPICT})
            picture = picture || clipboard.IsClipboardFormatAvailable(format);
        if (picture) {
            clearPreview();
            if (!preview_->LoadImage_FromClipboard()) return;
            // A picture is no icon: what the page said of the last image
            // (an icon's sizes, above all) goes.
            if (!describeImage()) showPreview();
            markChanged(true);
            return;
        }
        std::vector<std::string> files;
        {
            platform::ClipboardLock lock(clipboard);
            if (!lock.open()) return;
            if (const auto block = clipboard.GetClipboardData(platform::CF_HDROP))
                files = platform::ReadDropFileNames(*block, 1);
        }
        if (files.empty() || files.front().empty()) return;
        if (loadFile(files.front())) markChanged(true);
    } catch (const std::exception&) {
        // a clipboard that cannot be read is an empty one
    }
}

void ppgSourceImage::Command1_Click() {
    clearPreview();
    markChanged(true);
}

void ppgSourceImage::cboIcon_Click() {
    std::vector<std::uint8_t> source;
    preview_->GetSourceBytes(source);
    clearPreview();
    IconEntrySize size = chosenSize();
    if (!source.empty() &&
        preview_->LoadImage_FromArray(source, size.width, size.height, size.bitDepth))
        showPreview();
    markChanged(true);
}

void ppgSourceImage::OLEDragDrop(const std::vector<std::string>& files) {
    if (files.empty()) return;
    if (loadFile(files.front())) markChanged(true);
}

void ppgSourceImage::SelectionChanged(std::span<aicAlphaImage* const> selected) {
    if (selected.empty() || selected.front() == nullptr) {
        target_ = nullptr;
        clearPreview();
        clearDescription();
        updateEnabled();
        markChanged(false);
        return;
    }
    clearPreview();
    target_ = selected.front();
    std::vector<std::uint8_t> source;
    if (target_->GetSourceBytes(source)) {
        loadPreview([&](std::int32_t& width, std::int32_t& height, std::int32_t& depth) {
            return preview_->LoadImage_FromArray(source, width, height, depth);
        });
    } else {
        preview_->ClearImage();
        clearDescription();
    }
    updateEnabled();
    markChanged(false);
}

void ppgSourceImage::ApplyChanges() {
    if (target_ == nullptr) return;
    std::vector<std::uint8_t> source;
    if (preview_->GetSourceBytes(source)) {
        const IconEntrySize size = chosenSize();
        target_->SetSourceImage(source, size.width, size.height, size.bitDepth);
    } else {
        target_->ClearImage();
    }
    markChanged(false);
}

// Drops are taken only while there is a control to apply them to, as the
// buttons are.
void ppgSourceImage::dragEnterEvent(QDragEnterEvent* event) {
    if (target_ != nullptr && !platform::MimeDataFiles(event->mimeData()).empty())
        event->acceptProposedAction();
}

void ppgSourceImage::dragMoveEvent(QDragMoveEvent* event) {
    if (target_ != nullptr && !platform::MimeDataFiles(event->mimeData()).empty())
        event->acceptProposedAction();
}

void ppgSourceImage::dropEvent(QDropEvent* event) {
    const std::vector<std::string> files = platform::MimeDataFiles(event->mimeData());
    if (target_ == nullptr || files.empty()) return;
    event->acceptProposedAction();
    OLEDragDrop(files);
}

} // namespace velmora::design
