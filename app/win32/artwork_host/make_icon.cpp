// Writes the Windows application icon from the artwork's PNG files: the
// small sizes as 32-bit bitmaps with their mask, which every version of the
// system reads, and 256 pixels as PNG, as the system keeps that size.
//
//   make_icon OUTPUT.ico PNG...

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

void Put16(QByteArray& out, std::uint16_t value) {
    out.append(static_cast<char>(value & 0xff));
    out.append(static_cast<char>(value >> 8));
}

void Put32(QByteArray& out, std::uint32_t value) {
    Put16(out, static_cast<std::uint16_t>(value & 0xffff));
    Put16(out, static_cast<std::uint16_t>(value >> 16));
}

// A 32-bit bitmap entry: the header (twice the height, for the mask), the
// straight-alpha pixels bottom row first, then the mask that older systems
// draw with, set where the picture is fully transparent.
QByteArray BitmapEntry(const QImage& picture) {
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    const int width = image.width(), height = image.height();
    const int maskStride = (width + 31) / 32 * 4;
    QByteArray out;
    Put32(out, 40);
    Put32(out, static_cast<std::uint32_t>(width));
    Put32(out, static_cast<std::uint32_t>(height * 2));
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, 0); // BI_RGB
    Put32(out, static_cast<std::uint32_t>(width * height * 4 + maskStride * height));
    for (int i = 0; i < 4; ++i)
        Put32(out, 0);
    for (int y = height - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < width; ++x)
            Put32(out, row[x]); // 0xAARRGGBB is B, G, R, A in memory order
    }
    for (int y = height - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        QByteArray mask(maskStride, '\0');
        for (int x = 0; x < width; ++x)
            if (qAlpha(row[x]) == 0)
                mask[x / 8] = static_cast<char>(mask[x / 8] | (0x80 >> (x % 8)));
        out.append(mask);
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_icon OUTPUT.ico PNG...\n");
        return 2;
    }
    struct Entry {
        int size;
        QByteArray bytes;
    };
    std::vector<Entry> entries;
    for (int i = 2; i < argc; ++i) {
        QFile file(QString::fromLocal8Bit(argv[i]));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "make_icon: cannot read %s\n", argv[i]);
            return 1;
        }
        const QByteArray png = file.readAll();
        const QImage image = QImage::fromData(png, "PNG");
        if (image.isNull() || image.width() != image.height() || image.width() > 256) {
            std::fprintf(stderr, "make_icon: %s is no square PNG of at most 256 pixels\n", argv[i]);
            return 1;
        }
        entries.push_back({image.width(), image.width() == 256 ? png : BitmapEntry(image)});
    }
    QByteArray out;
    Put16(out, 0);
    Put16(out, 1); // an icon, not a cursor
    Put16(out, static_cast<std::uint16_t>(entries.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(entries.size());
    for (const Entry& entry : entries) {
        // 256 is written as 0 in the directory's byte.
        out.append(static_cast<char>(entry.size & 0xff));
        out.append(static_cast<char>(entry.size & 0xff));
        out.append('\0'); // no palette
        out.append('\0');
        Put16(out, 1);
        Put16(out, 32);
        Put32(out, static_cast<std::uint32_t>(entry.bytes.size()));
        Put32(out, offset);
        offset += static_cast<std::uint32_t>(entry.bytes.size());
    }
    for (const Entry& entry : entries)
        out.append(entry.bytes);
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size()) {
        std::fprintf(stderr, "make_icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
