#pragma once
// cICOparser: icon and cursor files, a directory of images each stored as a
// bitmap with an AND mask or as complete PNG data. It picks the entry that
// best fits a wanted size and depth and turns it into the surface, lists
// the directory for callers that only want the sizes, and converts icon
// handles.
//
// The reader repairs the source bytes it is given (bit counts and the
// chosen entry's header), so a caller that keeps them keeps the repairs.

#include "platform/gdi/types.h"

#include <cstdint>
#include <span>
#include <vector>

namespace surface {
class DibSurface;
} // namespace surface

class cICOparser {
public:
    // True when the range is an icon or cursor file. Without a host only
    // the directory is read and checked; with one the best entry for cx x cy
    // (below 1: 32) at wantedBitDepth is decoded into it. A streamLength of
    // 0 means to the end of the array and is replaced by the length read.
    bool LoadStream(std::span<std::uint8_t> inStream, std::int32_t cx, std::int32_t cy,
                    surface::DibSurface* cHost, std::int32_t& streamOffset,
                    std::int32_t& streamLength, std::int32_t wantedBitDepth, std::int32_t gdiToken);

    bool ConvertstdPicTo32bpp(platform::HICON hIcon, surface::DibSurface& cHost);

    // Per entry, 1-based; 0 (False) for an index outside the directory.
    std::int32_t IconCount() const { return static_cast<std::int32_t>(entries_.size()); }
    std::int32_t Width(std::int32_t Index) const;
    std::int32_t Height(std::int32_t Index) const;
    std::int32_t bitDepth(std::int32_t Index) const;
    bool IsIconPNG(std::int32_t Index) const;
    std::int32_t ColorCount(std::int32_t Index) const;
    std::int32_t ColorByteOffset(std::int32_t Index) const;

private:
    struct Entry {
        std::uint8_t width = 0; // 0 reads as 256
        std::uint8_t height = 0;
        std::uint8_t colorCount = 0;
        std::uint8_t reserved = 0;
        std::uint16_t planes = 0; // 1, or 255 for a PNG entry
        std::uint16_t bitCount = 0;
        std::uint32_t bytesInRes = 0;
        std::uint32_t imageOffset = 0;
    };
    static constexpr std::uint16_t kPngMarker = 255;

    const Entry* entry(std::int32_t index) const;
    void validatePng(Entry& e) const;
    std::int32_t chooseEntry(std::int32_t cx, std::int32_t cy, std::int32_t depth) const;
    bool decodePng(const Entry& e, surface::DibSurface& host, std::int32_t gdiToken);
    void decodeBitmap(std::int32_t index, surface::DibSurface& host);
    std::int64_t xorSize(const Entry& e) const;
    std::int64_t andSize(const Entry& e) const;
    void applyMask(surface::DibSurface& host, std::span<const std::uint8_t> mask) const;

    std::span<std::uint8_t> data_;
    std::int32_t resourceType_ = 0; // 1 icon, 2 cursor (0 for a cursor handle)
    std::vector<Entry> entries_;
};
