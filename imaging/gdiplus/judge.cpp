// The structure of JPEG, PNG and TIFF data judged before the system's
// decoder sees it. GDI+ makes the whole picture in its own memory as it
// decodes, and may show a file cut short half grey, so the declared size
// is checked against the pixel limit and against the data that is to fill
// it here, by bounds-checked walks over the bytes.

#include "imaging/gdiplus/internal.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace vimg {
namespace {

Verdict damaged(const char* reason) {
    return {VELMORA_IMAGING_DAMAGED, reason, 0, 0};
}
Verdict unsupported(const char* reason) {
    return {VELMORA_IMAGING_UNSUPPORTED, reason, 0, 0};
}

std::uint32_t be16(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 8 | p[1];
}

std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b) {
    return (a + b - 1) / b;
}

} // namespace

// --- JPEG ----------------------------------------------------------------------

// Walks the markers to the end of the image: every segment lies within the
// data, the frame comes before its scans, each scan's entropy-coded data
// ends at a marker, and the image ends with its end marker. A sequential
// frame needs at least two bits a block (a DC code and an end of block).
Verdict judgeJpeg(std::span<const std::uint8_t> d) {
    struct Component {
        std::uint32_t id, h, v;
    };
    std::vector<Component> components;
    std::uint32_t width = 0, height = 0;
    bool frame = false, progressive = false, scanned = false;
    std::uint64_t entropyBytes = 0;
    std::size_t at = 2;
    while (true) {
        if (at >= d.size()) return damaged("JPEG data ends before the picture does");
        if (d[at] != 0xFF) return damaged("JPEG data is malformed");
        while (at < d.size() && d[at] == 0xFF)
            ++at;
        if (at >= d.size()) return damaged("JPEG data ends before the picture does");
        const std::uint8_t marker = d[at++];
        if (marker == 0xD9) break; // end of image
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;
        if (d.size() - at < 2) return damaged("JPEG data ends before the picture does");
        const std::uint32_t length = be16(&d[at]);
        if (length < 2 || d.size() - at < length)
            return damaged("JPEG segment runs past the end of the data");
        const std::uint8_t* segment = &d[at + 2];
        const std::uint32_t bytes = length - 2;
        at += length;
        const bool sof =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (sof) {
            if (frame) return damaged("JPEG with two frames");
            if (marker == 0xC3 || marker == 0xC7 || marker == 0xCB || marker == 0xCF)
                return unsupported("lossless JPEG");
            if (marker >= 0xC9) return unsupported("arithmetic-coded JPEG");
            if (bytes < 6) return damaged("JPEG frame header too short");
            height = be16(segment + 1);
            width = be16(segment + 3);
            const std::uint32_t count = segment[5];
            if (count == 0 || bytes < 6 + 3 * count) return damaged("JPEG frame header too short");
            for (std::uint32_t i = 0; i < count; ++i) {
                const std::uint8_t* c = segment + 6 + 3 * i;
                const std::uint32_t h = c[1] >> 4, v = c[1] & 15;
                if (h < 1 || h > 4 || v < 1 || v > 4) return damaged("JPEG sampling is malformed");
                components.push_back({c[0], h, v});
            }
            if (height == 0) return unsupported("JPEG declaring its height after the scans");
            if (width == 0) return damaged("empty picture size");
            if (const Status size = checkSize(width, height); size != VELMORA_IMAGING_OK)
                return {size, lastReason(), 0, 0};
            frame = true;
            progressive = marker == 0xC2 || marker == 0xC6;
        } else if (marker == 0xDA) {
            if (!frame) return damaged("JPEG scan before its frame");
            scanned = true;
            // The entropy-coded data runs to the next marker that is neither
            // a stuffed zero nor a restart.
            while (true) {
                const auto* next = static_cast<const std::uint8_t*>(
                    std::memchr(d.data() + at, 0xFF, d.size() - at));
                if (next == nullptr || next + 1 >= d.data() + d.size())
                    return damaged("JPEG scan ends before the picture does");
                const std::size_t found = static_cast<std::size_t>(next - d.data());
                const std::uint8_t after = d[found + 1];
                entropyBytes += found - at;
                at = found;
                if (after == 0x00 || (after >= 0xD0 && after <= 0xD7) || after == 0xFF) {
                    at = found + (after == 0xFF ? 1 : 2);
                    continue;
                }
                break;
            }
        }
    }
    if (!frame || !scanned) return damaged("JPEG without picture data");
    if (!progressive) {
        std::uint32_t hMax = 1, vMax = 1;
        for (const Component& c : components)
            hMax = std::max(hMax, c.h), vMax = std::max(vMax, c.v);
        std::uint64_t blocks = 0;
        for (const Component& c : components)
            blocks += ceilDiv(ceilDiv(std::uint64_t{width} * c.h, hMax), 8) *
                      ceilDiv(ceilDiv(std::uint64_t{height} * c.v, vMax), 8);
        if (entropyBytes < blocks * 2 / 8)
            return damaged("JPEG scans too short for the declared size");
    }
    return {VELMORA_IMAGING_OK, nullptr, width, height};
}

// --- PNG -----------------------------------------------------------------------

// Walks the chunks to the end chunk: each lies within the data, the header
// is first and sound, and the image data together can inflate to the rows
// the header declares.
Verdict judgePng(std::span<const std::uint8_t> d) {
    const PngLayout png = walkPng(d);
    if (!png.header) return damaged("PNG header unreadable");
    if (png.channels == 0) return damaged("PNG colour type unknown");
    if (png.depth != 1 && png.depth != 2 && png.depth != 4 && png.depth != 8 && png.depth != 16)
        return damaged("PNG bit depth unknown");
    if (png.width == 0 || png.height == 0 || png.width > 0x7FFFFFFF || png.height > 0x7FFFFFFF)
        return damaged("empty picture size");
    if (const Status size =
            checkSize(static_cast<std::int64_t>(png.width), static_cast<std::int64_t>(png.height));
        size != VELMORA_IMAGING_OK)
        return {size, lastReason(), 0, 0};
    if (png.end == PngLayout::End::Truncated) return damaged("PNG data ends before its end chunk");
    if (png.end == PngLayout::End::Overrun)
        return damaged("PNG chunk runs past the end of the data");
    if (pngDataTooShort(png)) return damaged("PNG image data too short for the declared size");
    return {VELMORA_IMAGING_OK, nullptr, static_cast<std::int64_t>(png.width),
            static_cast<std::int64_t>(png.height)};
}

// --- TIFF ----------------------------------------------------------------------

namespace {

// The fields of a TIFF directory, read with the file's byte order, every
// read bounds-checked.
class TiffReader {
public:
    explicit TiffReader(std::span<const std::uint8_t> d) : d_(d), big_(d[0] == 'M') {}

    std::optional<std::uint32_t> u16(std::uint64_t at) const {
        if (at > d_.size() || d_.size() - at < 2) return std::nullopt;
        const std::uint8_t* p = &d_[at];
        return big_ ? be16(p) : std::uint32_t{p[1]} << 8 | p[0];
    }
    std::optional<std::uint32_t> u32(std::uint64_t at) const {
        const auto a = u16(at), b = u16(at + 2);
        if (!a || !b) return std::nullopt;
        return big_ ? *a << 16 | *b : *b << 16 | *a;
    }

    struct Entry {
        std::uint32_t type = 0;
        std::uint64_t count = 0;
        std::uint64_t values = 0; // where the values lie
    };
    // Value `i` of a SHORT or LONG field.
    std::optional<std::uint32_t> value(const Entry& e, std::uint64_t i) const {
        if (i >= e.count) return std::nullopt;
        if (e.type == 3) return u16(e.values + 2 * i);
        if (e.type == 4) return u32(e.values + 4 * i);
        return std::nullopt;
    }
    // Whether the field's values lie within the data.
    bool within(const Entry& e) const {
        const std::uint64_t size = e.type == 3 ? 2 : 4;
        return e.values <= d_.size() && (d_.size() - e.values) / size >= e.count;
    }

private:
    std::span<const std::uint8_t> d_;
    bool big_;
};

} // namespace

// The first directory: it lies within the data, declares a size, and every
// strip or tile it names lies within the data; uncompressed, they hold at
// least the samples of the declared size.
Verdict judgeTiff(std::span<const std::uint8_t> d) {
    if (d.size() < 8) return damaged("TIFF header or directory unreadable");
    const TiffReader r(d);
    const auto directory = r.u32(4);
    const auto count = directory ? r.u16(*directory) : std::nullopt;
    if (!count || d.size() - *directory - 2 < std::uint64_t{*count} * 12)
        return damaged("TIFF header or directory unreadable");
    std::uint32_t width = 0, height = 0, compression = 1, samples = 1, bits = 1;
    TiffReader::Entry offsets, sizes;
    for (std::uint32_t i = 0; i < *count; ++i) {
        const std::uint64_t at = *directory + 2 + std::uint64_t{i} * 12;
        const std::uint32_t tag = *r.u16(at);
        TiffReader::Entry e{*r.u16(at + 2), *r.u32(at + 4), at + 8};
        if (e.type != 3 && e.type != 4) continue;
        if ((e.type == 3 ? 2 : 4) * e.count > 4) e.values = *r.u32(at + 8);
        const std::uint32_t first = r.value(e, 0).value_or(0);
        switch (tag) {
        case 256:
            width = first;
            break;
        case 257:
            height = first;
            break;
        case 258:
            bits = first;
            break;
        case 259:
            compression = first;
            break;
        case 277:
            samples = first;
            break;
        case 273: // strip offsets
        case 324: // tile offsets
            offsets = e;
            break;
        case 279: // strip byte counts
        case 325: // tile byte counts
            sizes = e;
            break;
        default:
            break;
        }
    }
    if (width == 0 || height == 0) return damaged("TIFF without a picture size");
    if (const Status size = checkSize(width, height); size != VELMORA_IMAGING_OK)
        return {size, lastReason(), 0, 0};
    if (offsets.count == 0 || offsets.count != sizes.count || !r.within(offsets) ||
        !r.within(sizes))
        return damaged("TIFF strips missing or outside the data");
    std::uint64_t stored = 0;
    for (std::uint64_t i = 0; i < offsets.count; ++i) {
        const std::uint64_t from = r.value(offsets, i).value_or(0);
        const std::uint64_t length = r.value(sizes, i).value_or(0);
        if (from > d.size() || d.size() - from < length)
            return damaged("TIFF strip beyond the end of the data");
        stored += length;
    }
    if (compression == 1 &&
        stored < std::uint64_t{width} * height * std::max(samples, 1u) * std::max(bits, 1u) / 8)
        return damaged("TIFF strips too short for the declared size");
    return {VELMORA_IMAGING_OK, nullptr, width, height};
}

} // namespace vimg
