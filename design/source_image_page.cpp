#include "design/source_image_page.h"

#include "platform/host/clipboard.h"
#include "platform/host/data_object.h"
#include "platform/picture/metafile.h"
#include "platform/system/file.h"
#include "platform/util/png_signature.h"
#include "surface/image_types.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>

namespace velmora::design {
namespace {

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

// Empty when the file cannot be read.
std::vector<std::uint8_t> fileHead(const std::string& path) {
    std::vector<std::uint8_t> head(kFileHeadBytes);
    platform::File file = platform::File::openForRead(path);
    std::size_t filled = 0;
    while (file.valid() && filled < head.size()) {
        const std::int64_t read = file.read(std::span(head).subspan(filled));
        if (read <= 0) break;
        filled += static_cast<std::size_t>(read);
    }
    head.resize(filled);
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

SourceImagePage::SourceImagePage(SourceImagePageView& view, platform::ContainerSite& previewSite)
    : view_(view), previewSite_(previewSite),
      preview_(std::make_unique<aicAlphaImage>(previewSite)) {
    view_.AttachPreview(*preview_);
    preview_->InitProperties();
    preview_->KeepOriginalFormat(true);
    // The page places and sizes the preview itself.
    preview_->AutoSize(false);
    hidePreview();
    updateEnabled();
}

SourceImagePage::~SourceImagePage() {
    hidePreview();
    preview_->Terminate();
    view_.DetachPreview();
}

void SourceImagePage::markChanged(bool changed) {
    const bool was = changed_;
    changed_ = changed;
    if (was != changed) view_.ChangedChanged(changed);
}

void SourceImagePage::updateEnabled() {
    // Without a control to apply to, nothing on the page can be used.
    view_.EnableButtons(target_ != nullptr);
    view_.EnableIconList(iconEntries_.size() > 1);
}

void SourceImagePage::hidePreview() {
    previewShown_ = false;
    view_.ShowPreview(false);
}

void SourceImagePage::clearPreview() {
    hidePreview();
    preview_->ClearImage();
}

void SourceImagePage::setIconEntries(std::vector<IconEntry> entries) {
    iconEntries_ = std::move(entries);
    view_.SetIconEntries(iconEntries_);
}

void SourceImagePage::clearDescription() {
    setIconEntries({});
    view_.SetFormatText({});
}

void SourceImagePage::showPreview() {
    // Fitted into the frame less its border; small images keep their size.
    const platform::RECT area = view_.PreviewArea();
    const std::int32_t areaWidth = area.right - area.left;
    const std::int32_t areaHeight = area.bottom - area.top;
    std::int32_t width = areaWidth;
    std::int32_t height = areaHeight;
    preview_->GetImageScales(width, height, 2, areaWidth, areaHeight, false);
    // Centred; the fitted size is never larger than the area.
    const std::int32_t left = area.left + (areaWidth - width) / 2;
    const std::int32_t top = area.top + (areaHeight - height) / 2;
    previewSite_.Move({left, top, left + width, top + height});
    previewShown_ = true;
    view_.ShowPreview(true);
}

IconEntrySize SourceImagePage::chosenSize() const {
    const int chosen = view_.ChosenIconEntry();
    if (chosen < 0 || static_cast<std::size_t>(chosen) >= iconEntries_.size()) return {};
    return ParseIconEntry(iconEntries_[static_cast<std::size_t>(chosen)].text);
}

bool SourceImagePage::describeImage(std::span<const std::uint8_t> formatHead) {
    std::vector<std::array<std::int32_t, 4>> sizes;
    const c32bppDIB& surface = preview_->GetSurface();
    if (surface.SourceIconSizes(sizes) > 0) {
        view_.ShowFormatLabel(false);
        std::vector<IconEntry> entries;
        for (const auto& [width, height, bits, colours] : sizes)
            entries.push_back({IconEntryText(width, height, bits, colours), width * height + bits});
        // Ascending; equal keys in the reader's order.
        std::stable_sort(entries.begin(), entries.end(),
                         [](const IconEntry& a, const IconEntry& b) { return a.key < b.key; });
        setIconEntries(std::move(entries));
    } else {
        std::vector<std::uint8_t> source;
        if (formatHead.empty()) {
            preview_->GetSourceBytes(source);
            formatHead = source;
        }
        view_.SetFormatText(FormatLabelText(surface.Width(), surface.Height(), surface.ImageType(),
                                            surface.Alpha(), formatHead));
        view_.ShowFormatLabel(true);
        setIconEntries({});
    }
    updateEnabled();
    if (iconEntries_.empty()) return false;
    view_.ChooseIconEntry(static_cast<int>(iconEntries_.size()) - 1);
    cboIcon_Click();
    return true;
}

bool SourceImagePage::loadPreview(const LoadAtSize& load,
                                  std::span<const std::uint8_t> formatHead) {
    clearPreview();
    // The preview's own size chooses the entry of an icon or cursor.
    const platform::RECT e = previewSite_.Extent();
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

bool SourceImagePage::loadFile(const std::string& path) {
    // What the page shows now, put back should the file not load: a file
    // that cannot be read must not cost the developer the picture on the
    // page (nor, by the next Apply, the control's).
    std::vector<std::uint8_t> before;
    const bool hadImage = preview_->GetSourceBytes(before);
    const IconEntrySize chosen = chosenSize();
    const bool shown = previewShown_;
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
    view_.ShowMessage(LoadFailureText(path, head));
    return false;
}

void SourceImagePage::cmdBrowse_Click() {
    const std::string path =
        view_.AskForFile("Select Image", ImageFileFilters(preview_->GDIplusEnabled()));
    if (path.empty()) return;
    if (loadFile(path)) markChanged(true);
}

void SourceImagePage::cmdClipBoard_Click() {
    // The clipboard belongs to other programs: whatever it holds or fails
    // to hand over, the worst is that nothing loads.
    try {
        platform::ClipboardServices& clipboard = previewSite_.Clipboard();
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

void SourceImagePage::Command1_Click() {
    clearPreview();
    markChanged(true);
}

void SourceImagePage::cboIcon_Click() {
    std::vector<std::uint8_t> source;
    preview_->GetSourceBytes(source);
    clearPreview();
    IconEntrySize size = chosenSize();
    if (!source.empty() &&
        preview_->LoadImage_FromArray(source, size.width, size.height, size.bitDepth))
        showPreview();
    markChanged(true);
}

void SourceImagePage::OLEDragDrop(const std::vector<std::string>& files) {
    if (files.empty()) return;
    if (loadFile(files.front())) markChanged(true);
}

void SourceImagePage::SelectionChanged(std::span<aicAlphaImage* const> selected) {
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

void SourceImagePage::ApplyChanges() {
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

} // namespace velmora::design
