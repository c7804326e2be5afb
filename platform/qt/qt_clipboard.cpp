#include "platform/qt/qt_clipboard.h"

#include "platform/host/data_object.h"
#include "platform/host/services.h"
#include "platform/util/disk_headers.h"

#include <QImage>
#include <QMimeData>
#include <QUrl>
#include <cstring>
#include <limits>
#include <string>

namespace platform {
namespace {

const QStringList& bitmapTypes() {
    static const QStringList types{QStringLiteral("image/bmp"), QStringLiteral("image/x-bmp"),
                                   QStringLiteral("image/x-MS-bmp")};
    return types;
}

// A bitmap file's bytes as another program put them on the clipboard.
QByteArray bitmapFile(const QMimeData& data) {
    for (const QString& type : bitmapTypes())
        if (data.hasFormat(type)) return data.data(type);
    return {};
}

std::optional<std::vector<std::uint8_t>> packedDib(const QMimeData& data) {
    // A bitmap file's own bytes go to the bitmap reader as they are, so
    // nothing of them is lost to a conversion; the reader checks them.
    const QByteArray file = bitmapFile(data);
    if (file.size() > static_cast<qsizetype>(sizeof(velmora::disk::BitmapFileHeader)) &&
        file[0] == 'B' && file[1] == 'M') {
        const auto* first = reinterpret_cast<const std::uint8_t*>(file.constData());
        return std::vector<std::uint8_t>(first + sizeof(velmora::disk::BitmapFileHeader),
                                         first + file.size());
    }
    if (!data.hasImage()) return std::nullopt;
    const QImage image =
        qvariant_cast<QImage>(data.imageData()).convertToFormat(QImage::Format_ARGB32);
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
        return data->hasImage() || !bitmapFile(*data).isEmpty();
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
