#pragma once
// The fixed headers of the bitmap, icon and GIF files, laid out byte for
// byte as they are stored (little-endian, no padding), and one checked way
// to read them from untrusted bytes. Readers name fields instead of
// counting offsets; the sizes are asserted so a layout slip cannot compile.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <type_traits>
#include <utility>

namespace velmora::disk {

// The fields are stored little-endian and read by copying, which needs a
// little-endian machine; every target of this program is one.
static_assert(std::endian::native == std::endian::little);

#pragma pack(push, 1)

// A bitmap file's first 14 bytes: "BM", the file size and where the pixel
// bits start.
struct BitmapFileHeader {
    std::uint16_t bfType = 0x4D42; // "BM"
    std::uint32_t bfSize = 0;
    std::uint16_t bfReserved1 = 0;
    std::uint16_t bfReserved2 = 0;
    std::uint32_t bfOffBits = 0;
};
static_assert(sizeof(BitmapFileHeader) == 14);

// The 12-byte header of OS/2 1.x bitmaps.
struct BitmapCoreHeader {
    std::uint32_t bcSize = 12;
    std::uint16_t bcWidth = 0;
    std::uint16_t bcHeight = 0;
    std::uint16_t bcPlanes = 1;
    std::uint16_t bcBitCount = 0;
};
static_assert(sizeof(BitmapCoreHeader) == 12);

// The 40-byte info header; the V4 and V5 forms extend it and begin with it.
struct BitmapInfoHeader {
    std::uint32_t biSize = 40;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0; // positive: bottom-up rows; negative: top-down
    std::uint16_t biPlanes = 1;
    std::uint16_t biBitCount = 0;
    std::uint32_t biCompression = 0; // BI_RGB
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::uint32_t biClrUsed = 0;
    std::uint32_t biClrImportant = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

// Bit-field masks stored right after a 40-byte header (and inside the V4
// and V5 headers at the same place).
struct BitmapMasks {
    std::uint32_t red = 0;
    std::uint32_t green = 0;
    std::uint32_t blue = 0;
};
static_assert(sizeof(BitmapMasks) == 12);

// What a bitmap file starts with when its info header is the common one.
struct BitmapFileInfo {
    BitmapFileHeader file;
    BitmapInfoHeader info;
};
static_assert(sizeof(BitmapFileInfo) == 54);

// An icon or cursor file: this header, then idCount directory entries.
struct IconDir {
    std::uint16_t idReserved = 0;
    std::uint16_t idType = 1; // 1 icon, 2 cursor
    std::uint16_t idCount = 0;
};
static_assert(sizeof(IconDir) == 6);

struct IconDirEntry {
    std::uint8_t bWidth = 0; // 0 stands for 256
    std::uint8_t bHeight = 0;
    std::uint8_t bColorCount = 0;
    std::uint8_t bReserved = 0;
    std::uint16_t wPlanes = 0;   // a cursor's hot spot x
    std::uint16_t wBitCount = 0; // a cursor's hot spot y
    std::uint32_t dwBytesInRes = 0;
    std::uint32_t dwImageOffset = 0;
};
static_assert(sizeof(IconDirEntry) == 16);

// "GIF87a" or "GIF89a" and the logical screen descriptor.
struct GifHeader {
    char signature[6] = {};
    std::uint16_t screenWidth = 0;
    std::uint16_t screenHeight = 0;
    std::uint8_t packed = 0; // bit 7: global table; bits 0-2: its size
    std::uint8_t background = 0;
    std::uint8_t aspect = 0;
};
static_assert(sizeof(GifHeader) == 13);

// An image descriptor, introducer (0x2C) included.
struct GifImageDescriptor {
    std::uint8_t introducer = 0x2C;
    std::uint16_t left = 0;
    std::uint16_t top = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint8_t packed = 0; // bit 7: local table; bit 6: interlaced; bits 0-2: table size
};
static_assert(sizeof(GifImageDescriptor) == 10);

// A graphic control extension in its standard form, introducer, label and
// terminator included.
struct GifGraphicControl {
    std::uint8_t introducer = 0x21;
    std::uint8_t label = 0xF9;
    std::uint8_t blockSize = 4;
    std::uint8_t packed = 0; // bit 0: transparent index in use
    std::uint16_t delay = 0;
    std::uint8_t transparentIndex = 0;
    std::uint8_t terminator = 0;
};
static_assert(sizeof(GifGraphicControl) == 8);

#pragma pack(pop)

template <typename T>
concept DiskHeader = std::is_trivially_copyable_v<T> && std::is_standard_layout_v<T>;

// The header stored at `at`, or none when it does not lie wholly inside
// the data.
template <DiskHeader T>
std::optional<T> readHeader(std::span<const std::uint8_t> data, std::size_t at = 0) {
    if (at > data.size() || data.size() - at < sizeof(T)) return std::nullopt;
    T header;
    std::memcpy(&header, data.data() + at, sizeof(T));
    return header;
}

// The header at `at` as far as the data holds it, the rest zero. For
// readers that accept a header cut short after the fields they use; they
// check the bytes present (fieldEnd) before trusting a field.
template <DiskHeader T>
T readHeaderPrefix(std::span<const std::uint8_t> data, std::size_t at = 0) {
    T header;
    std::memset(static_cast<void*>(&header), 0, sizeof(T));
    if (at < data.size())
        std::memcpy(&header, data.data() + at, std::min(sizeof(T), data.size() - at));
    return header;
}

// Writes a header back into the data (the icon reader repairs headers in
// place); false when it does not fit.
template <DiskHeader T>
bool writeHeader(std::span<std::uint8_t> data, std::size_t at, const T& header) {
    if (at > data.size() || data.size() - at < sizeof(T)) return false;
    std::memcpy(data.data() + at, &header, sizeof(T));
    return true;
}

} // namespace velmora::disk

// Bytes from the start of a header to the end of one of its fields.
#define VELMORA_FIELD_END(type, field) (offsetof(type, field) + sizeof(std::declval<type&>().field))
