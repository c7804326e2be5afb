#include "platform/picture/gif_decoder.h"

#include "platform/picture/bitmap_decoder.h"
#include "platform/util/byte_reader.h"
#include "platform/util/checked.h"
#include "platform/util/limits.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <new>
#include <string_view>

namespace platform {

using velmora::Failure;

namespace {

constexpr int kMaxCodes = 4096;

// Reads codes least significant bit first across the data sub-blocks, so
// the LZW stage never sees the block boundaries.
class CodeReader {
public:
    explicit CodeReader(std::span<const std::uint8_t> data) : data_(data) {}

    // -1 at the end of the data.
    int read(int bits) {
        while (count_ < bits) {
            if (left_ == 0) {
                if (pos_ >= data_.size()) return -1;
                left_ = data_[pos_++];
                if (left_ == 0) {
                    pos_ = data_.size(); // the terminator: nothing follows
                    return -1;
                }
            }
            if (pos_ >= data_.size()) return -1;
            buffer_ |= std::uint32_t{data_[pos_++]} << count_;
            count_ += 8;
            --left_;
        }
        const int code = static_cast<int>(buffer_ & ((1u << bits) - 1));
        buffer_ >>= bits;
        count_ -= bits;
        return code;
    }

private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
    std::size_t left_ = 0; // bytes left in the current sub-block
    std::uint32_t buffer_ = 0;
    int count_ = 0;
};

// Position after a run of sub-blocks starting at `at`; 0 when they run past
// the end of the data.
std::size_t skipSubBlocks(std::span<const std::uint8_t> d, std::size_t at) {
    while (at < d.size()) {
        const std::size_t n = d[at];
        ++at;
        if (n == 0) return at;
        at += n;
    }
    return 0;
}

std::vector<RGBQUAD> readTable(std::span<const std::uint8_t> d, std::size_t at,
                               std::size_t entries) {
    std::vector<RGBQUAD> table(entries);
    for (std::size_t i = 0; i < entries; ++i)
        table[i] = RGBQUAD{d[at + i * 3 + 2], d[at + i * 3 + 1], d[at + i * 3], 0};
    return table;
}

// Interlaced images store rows in four passes: every 8th row from 0, every
// 8th from 4, every 4th from 2, every 2nd from 1.
void deinterlace(GifImage& image) {
    const std::size_t w = static_cast<std::size_t>(image.width);
    std::vector<std::uint8_t> out(image.indexes.size());
    std::size_t source = 0;
    constexpr std::array<std::pair<int, int>, 4> passes{{{0, 8}, {4, 8}, {2, 4}, {1, 2}}};
    for (const auto& [start, step] : passes)
        for (std::int32_t y = start; y < image.height; y += step, ++source)
            std::copy_n(image.indexes.begin() + static_cast<std::ptrdiff_t>(source * w), w,
                        out.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(y) * w));
    image.indexes = std::move(out);
}

} // namespace

std::string_view ErrorText(GifError error) {
    switch (error) {
    case GifError::NotGif:
        return "not a GIF";
    case GifError::Truncated:
        return "block cut short";
    case GifError::NoImage:
        return "no image";
    case GifError::BadBlock:
        return "unknown block";
    case GifError::BadExtension:
        return "graphic control extension too short";
    case GifError::BadDimensions:
        return "bad width or height";
    case GifError::BadCodeSize:
        return "bad LZW code size";
    case GifError::TooLarge:
        return "picture too large";
    case GifError::OutOfMemory:
        return "out of memory";
    case GifError::NoColourTable:
        return "no colour table";
    case GifError::NotDrawn:
        return "image could not be drawn";
    }
    return "unknown";
}

std::size_t DecodeGifLzw(int minCodeSize, std::span<const std::uint8_t> data,
                         std::span<std::uint8_t> out) {
    if (minCodeSize < 1 || minCodeSize > 11) return 0;
    std::array<std::uint16_t, kMaxCodes> prefix{};
    std::array<std::uint8_t, kMaxCodes> suffix{};
    std::array<std::uint8_t, kMaxCodes> first{};
    std::array<std::uint8_t, kMaxCodes> stack{};

    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    for (int i = 0; i < clear; ++i) {
        suffix[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
        first[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    }
    int size = minCodeSize + 1;
    int next = clear + 2;
    int prev = -1;
    std::size_t written = 0;
    CodeReader reader(data);

    while (written < out.size()) {
        const int code = reader.read(size);
        if (code < 0 || code == end) break;
        if (code == clear) {
            size = minCodeSize + 1;
            next = clear + 2;
            prev = -1;
            continue;
        }
        if (prev < 0) {
            // After a clear only a root code can come; anything else is
            // corrupt and ends the image.
            if (code >= clear) break;
            out[written++] = static_cast<std::uint8_t>(code);
            prev = code;
            // At code size 1 the first free code (4) already needs three
            // bits: writers grow the size right after the first code.
            if (next == (1 << size)) ++size;
            continue;
        }
        if (code > next || (code == next && next >= kMaxCodes)) break;

        // The string of `code`, or for the code about to be defined the
        // previous string plus its own first index.
        const bool known = code < next;
        std::size_t depth = 0;
        if (!known) stack[depth++] = first[static_cast<std::size_t>(prev)];
        for (int c = known ? code : prev;; c = prefix[static_cast<std::size_t>(c)]) {
            stack[depth++] = suffix[static_cast<std::size_t>(c)];
            if (c < clear) break;
        }
        const std::uint8_t head = stack[depth - 1];
        while (depth > 0 && written < out.size())
            out[written++] = stack[--depth];

        if (next < kMaxCodes) {
            prefix[static_cast<std::size_t>(next)] = static_cast<std::uint16_t>(prev);
            suffix[static_cast<std::size_t>(next)] = head;
            first[static_cast<std::size_t>(next)] = first[static_cast<std::size_t>(prev)];
            ++next;
            // The code size grows once every code of the current size is
            // used; at 12 bits the table is full and stays as it is until a
            // clear code (a "deferred clear").
            if (next == (1 << size) && size < 12) ++size;
        }
        prev = code;
    }
    return written;
}

velmora::Result<GifLayout, GifError> WalkGif(std::span<const std::uint8_t> d) {
    if (d.size() < 6) return Failure{GifError::NotGif};
    std::array<char, 6> sig{};
    for (std::size_t i = 0; i < 6; ++i)
        sig[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(d[i])));
    const std::string_view text(sig.data(), 6);
    if (text != "gif87a" && text != "gif89a") return Failure{GifError::NotGif};
    const auto header = velmora::disk::readHeader<velmora::disk::GifHeader>(d);
    if (!header) return Failure{GifError::Truncated};

    GifLayout layout;
    layout.header = *header;
    std::size_t pos = sizeof(velmora::disk::GifHeader);
    if (header->packed & 0x80) {
        const std::size_t entries = std::size_t{2} << (header->packed & 7);
        if (pos + entries * 3 > d.size()) return Failure{GifError::Truncated};
        layout.globalTableAt = pos;
        layout.globalEntries = entries;
        pos += entries * 3;
    }
    layout.headerEnd = pos;

    for (;;) {
        if (pos >= d.size()) return Failure{GifError::NoImage};
        const std::uint8_t introducer = d[pos];
        if (introducer == 0) { // stray padding some writers leave
            ++pos;
            continue;
        }
        if (introducer == 0x3B) return Failure{GifError::NoImage};
        if (introducer == 0x21) {
            if (pos + 2 >= d.size()) return Failure{GifError::Truncated};
            const bool control = d[pos + 1] == 0xF9;
            // The graphic control fields are read only when the block says
            // it holds them and the data really does (the whole block lies
            // inside once its sub-blocks are skipped).
            if (control && d[pos + 2] < 4) return Failure{GifError::BadExtension};
            const std::size_t after = skipSubBlocks(d, pos + 2);
            if (after == 0) return Failure{GifError::Truncated};
            if (control) {
                velmora::disk::GifGraphicControl c;
                c.packed = d[pos + 3];
                c.delay = velmora::loadU16le(d.data() + pos + 4);
                c.transparentIndex = d[pos + 6];
                layout.control = c;
            }
            pos = after;
            continue;
        }
        if (introducer != 0x2C) return Failure{GifError::BadBlock};
        break;
    }
    const auto descriptor = velmora::disk::readHeader<velmora::disk::GifImageDescriptor>(d, pos);
    if (!descriptor) return Failure{GifError::Truncated};
    layout.imageAt = pos;
    layout.descriptor = *descriptor;
    return layout;
}

velmora::Result<GifTableInUse, GifError> FindGifTable(const GifLayout& layout,
                                                      std::span<const std::uint8_t> d) {
    GifTableInUse table;
    std::size_t pos = layout.imageAt + sizeof(velmora::disk::GifImageDescriptor);
    const std::uint8_t packed = layout.descriptor.packed;
    if (packed & 0x80) {
        const std::size_t entries = std::size_t{2} << (packed & 7);
        if (pos + entries * 3 > d.size()) return Failure{GifError::Truncated};
        table.tableAt = pos;
        table.entries = entries;
        table.local = true;
        pos += entries * 3;
    } else {
        table.tableAt = layout.globalTableAt;
        table.entries = layout.globalEntries;
    }
    if (pos >= d.size()) return Failure{GifError::Truncated};
    table.dataAt = pos;
    return table;
}

velmora::Result<GifImage, GifError> DecodeGif(std::span<const std::uint8_t> d) {
    const auto layout = WalkGif(d);
    if (!layout) return Failure{layout.error()};
    GifImage image;
    image.transparentIndex = layout->transparentIndex();
    image.width = layout->descriptor.width;
    image.height = layout->descriptor.height;
    const std::uint8_t packed = layout->descriptor.packed;
    if (image.width == 0 || image.height == 0) return Failure{GifError::BadDimensions};
    const auto table = FindGifTable(*layout, d);
    if (!table) return Failure{table.error()};
    if (table->entries != 0) image.palette = readTable(d, table->tableAt, table->entries);
    std::size_t pos = table->dataAt;
    const int minCodeSize = d[pos++];
    // Indexes are at most 8 bits: a larger root would name colours no table has.
    if (minCodeSize < 1 || minCodeSize > 8) return Failure{GifError::BadCodeSize};

    const std::size_t pixels =
        static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    if (pixels > velmora::CurrentLimits().maxPixels) return Failure{GifError::TooLarge};
    try {
        image.indexes.assign(pixels, 0);
    } catch (const std::bad_alloc&) {
        return Failure{GifError::OutOfMemory};
    }
    DecodeGifLzw(minCodeSize, d.subspan(pos), image.indexes);
    if (packed & 0x40) deinterlace(image);
    return image;
}

} // namespace platform
