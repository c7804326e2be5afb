#pragma once
// Builds small PNG files for tests: chunks with correct (or chosen) CRCs,
// image data compressed by zlib or written as stored blocks by hand.

#include <cstdint>
#include <string>
#include <vector>
#include <zlib.h>

namespace testpng {

using Bytes = std::vector<std::uint8_t>;

inline void put32(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 24));
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

inline Bytes signature() {
    return {137, 80, 78, 71, 13, 10, 26, 10};
}

// A chunk; crcOverride replaces the correct CRC when given.
inline Bytes chunk(const std::string& type, const Bytes& data,
                   const std::uint32_t* crcOverride = nullptr) {
    Bytes out;
    put32(out, static_cast<std::uint32_t>(data.size()));
    Bytes typeAndData(type.begin(), type.end());
    typeAndData.insert(typeAndData.end(), data.begin(), data.end());
    out.insert(out.end(), typeAndData.begin(), typeAndData.end());
    const auto crc = static_cast<std::uint32_t>(
        ::crc32(0, typeAndData.data(), static_cast<uInt>(typeAndData.size())));
    put32(out, crcOverride ? *crcOverride : crc);
    return out;
}

inline Bytes ihdr(std::uint32_t w, std::uint32_t h, std::uint8_t depth, std::uint8_t colourType,
                  std::uint8_t interlace = 0) {
    Bytes d;
    put32(d, w);
    put32(d, h);
    d.insert(d.end(), {depth, colourType, 0, 0, interlace});
    return d;
}

inline Bytes zlibCompress(const Bytes& raw, int level = 9) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes out(size);
    compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), level);
    out.resize(size);
    return out;
}

// A zlib stream of stored blocks, with a correct Adler-32 unless told otherwise.
inline Bytes storedZlib(const Bytes& raw, bool breakNlen = false, bool breakAdler = false) {
    Bytes out{0x78, 0x01};
    std::size_t pos = 0;
    do {
        const std::size_t n = std::min<std::size_t>(raw.size() - pos, 65535);
        const bool last = pos + n == raw.size();
        out.push_back(last ? 1 : 0);
        const auto len = static_cast<std::uint16_t>(n);
        auto nlen = static_cast<std::uint16_t>(~len);
        if (breakNlen) nlen ^= 0x0100;
        out.insert(out.end(),
                   {static_cast<std::uint8_t>(len), static_cast<std::uint8_t>(len >> 8),
                    static_cast<std::uint8_t>(nlen), static_cast<std::uint8_t>(nlen >> 8)});
        out.insert(out.end(), raw.begin() + static_cast<std::ptrdiff_t>(pos),
                   raw.begin() + static_cast<std::ptrdiff_t>(pos + n));
        pos += n;
    } while (pos < raw.size());
    std::uint32_t adler =
        static_cast<std::uint32_t>(::adler32(1, raw.data(), static_cast<uInt>(raw.size())));
    if (breakAdler) adler ^= 0xFFFFFFFF;
    put32(out, adler);
    return out;
}

// A whole file: signature, IHDR, the extra chunks, IDAT, IEND.
inline Bytes file(const Bytes& header, const Bytes& idat, const std::vector<Bytes>& extra = {}) {
    Bytes out = signature();
    const Bytes h = chunk("IHDR", header);
    out.insert(out.end(), h.begin(), h.end());
    for (const Bytes& c : extra)
        out.insert(out.end(), c.begin(), c.end());
    const Bytes d = chunk("IDAT", idat);
    out.insert(out.end(), d.begin(), d.end());
    const Bytes e = chunk("IEND", {});
    out.insert(out.end(), e.begin(), e.end());
    return out;
}

// Rows of raw samples, each prefixed with filter type `filter` (default None).
inline Bytes rows(const std::vector<Bytes>& lines, std::uint8_t filter = 0) {
    Bytes out;
    for (const Bytes& l : lines) {
        out.push_back(filter);
        out.insert(out.end(), l.begin(), l.end());
    }
    return out;
}

} // namespace testpng
