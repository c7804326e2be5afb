#include "platform/qt/qt_clipboard.h"

#include "platform/host/data_object.h"
#include "platform/host/services.h"
#include "platform/picture/bitmap_decoder.h"
#include "platform/util/disk_headers.h"

#include <QImage>
#include <QMimeData>
#include <QUrl>
#include <algorithm>
#include <cstring>
#include <limits>
#include <span>
#include <string>

namespace platform {
namespace {

const QStringList& bitmapTypes() {
    static const QStringList types{QStringLiteral("image/bmp"), QStringLiteral("image/x-bmp"),
                                   QStringLiteral("image/x-MS-bmp")};
    return types;
}

// Image formats that carry transparency, in the order they are preferred
// over a bitmap file: programs that offer one of them besides "image/bmp"
// flatten the bitmap onto a background or drop its alpha.
const QStringList& alphaTypes() {
    static const QStringList types{QStringLiteral("image/png"), QStringLiteral("image/webp"),
                                   QStringLiteral("image/tiff"), QStringLiteral("image/gif")};
    return types;
}

// A bitmap file's bytes as another program put them on the clipboard.
QByteArray bitmapFile(const QMimeData& data) {
    for (const QString& type : bitmapTypes())
        if (data.hasFormat(type)) return data.data(type);
    return {};
}

// The first alpha-carrying format offered that Qt can read.
QImage alphaImage(const QMimeData& data) {
    for (const QString& type : alphaTypes()) {
        if (!data.hasFormat(type)) continue;
        const QImage image = QImage::fromData(data.data(type));
        if (!image.isNull()) return image;
    }
    if (data.hasImage()) {
        QImage image = qvariant_cast<QImage>(data.imageData());
        if (image.hasAlphaChannel()) return image;
    }
    return {};
}

// A bitmap file as a packed DIB: its header and colour table, then its bits
// from where the file header says they begin. A gap some writers leave
// before the bits must not be read as pixels.
std::optional<std::vector<std::uint8_t>> packedFromFile(const QByteArray& file) {
    constexpr std::size_t kFileHeader = sizeof(velmora::disk::BitmapFileHeader);
    const auto* first = reinterpret_cast<const std::uint8_t*>(file.constData());
    const std::span<const std::uint8_t> bytes(first, static_cast<std::size_t>(file.size()));
    if (bytes.size() <= kFileHeader || bytes[0] != 'B' || bytes[1] != 'M') return std::nullopt;
    if (const auto parsed = ParseBitmapFile(bytes)) {
        const auto header = bytes.subspan(kFileHeader, parsed->layout.tableEnd);
        std::vector<std::uint8_t> out(header.begin(), header.end());
        out.insert(out.end(), parsed->bits.begin(), parsed->bits.end());
        return out;
    }
    // The reader checks what is damaged and refuses it.
    return std::vector<std::uint8_t>(bytes.begin() + kFileHeader, bytes.end());
}

std::optional<std::vector<std::uint8_t>> packedDib(const QMimeData& data) {
    QImage image = alphaImage(data);
    if (image.isNull()) {
        // A bitmap file's own bytes go to the bitmap reader as they are, so
        // nothing of them is lost to a conversion; the reader checks them.
        if (auto packed = packedFromFile(bitmapFile(data))) return packed;
        if (!data.hasImage()) return std::nullopt;
        image = qvariant_cast<QImage>(data.imageData());
    }
    image = image.convertToFormat(QImage::Format_ARGB32);
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) return std::nullopt;
    const std::size_t row = static_cast<std::size_t>(image.width()) * 4;
    const std::size_t pixels = row * static_cast<std::size_t>(image.height());
    if (pixels > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;

    velmora::disk::BitmapInfoHeader header;
    header.biWidth = image.width();
    header.biHeight = image.height(); // bottom-up
    header.biBitCount = 32;
    header.biSizeImage = static_cast<std::uint32_t>(pixels);
    std::vector<std::uint8_t> out(sizeof header + pixels);
    std::memcpy(out.data(), &header, sizeof header);
    // Format_ARGB32 keeps each pixel as B, G, R, A bytes in memory, the
    // DIB's own order.
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(out.data() + sizeof header +
                        static_cast<std::size_t>(image.height() - 1 - y) * row,
                    image.constScanLine(y), row);
    return out;
}

} // namespace

std::vector<std::string> MimeDataFiles(const QMimeData* data) {
    if (data == nullptr) return {};
    QList<QUrl> urls = data->urls();
    // GNOME's file manager copies as "copy" or "cut", then one address a line.
    const QString gnome = QStringLiteral("x-special/gnome-copied-files");
    if (urls.isEmpty() && data->hasFormat(gnome)) {
        const QList<QByteArray> lines = data->data(gnome).split('\n');
        for (qsizetype i = 1; i < lines.size(); ++i)
            if (!lines[i].trimmed().isEmpty())
                urls.push_back(QUrl::fromEncoded(lines[i].trimmed()));
    }
    std::vector<std::string> files;
    for (const QUrl& url : urls)
        if (url.isLocalFile()) files.push_back(url.toLocalFile().toStdString());
    return files;
}

bool MimeDataOffers(const QMimeData* data, unsigned format) {
    if (data == nullptr) return false;
    switch (format) {
    case CF_DIB:
    case CF_BITMAP:
        return data->hasImage() || !bitmapFile(*data).isEmpty() ||
               std::any_of(alphaTypes().begin(), alphaTypes().end(),
                           [&](const QString& type) { return data->hasFormat(type); });
    case CF_HDROP:
        return !MimeDataFiles(data).empty();
    default:
        return false;
    }
}

std::optional<std::vector<std::uint8_t>> MimeDataBytes(const QMimeData* data, unsigned format) {
    if (!MimeDataOffers(data, format)) return std::nullopt;
    if (format == CF_HDROP) return MakeDropFiles(MimeDataFiles(data), true);
    return packedDib(*data);
}

} // namespace platform
