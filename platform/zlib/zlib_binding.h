#pragma once
// zlib found at run time, never linked: the codecs work with or without it.
// The library names are tried in order; the first one counts as id 2 and the
// second as id 1, and a library counts only if it exports "crc32".
//
// This platform has one calling convention, so the convention probe of the
// original 32-bit program reduces to "the library is there or not": the
// cdecl flag is always false and the functions are called directly.

#include "platform/system/library.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform {

// The names tried, most wanted first (the environment's zlibLibraryNames).
std::vector<std::string> ZlibLibraryNames();

struct ZlibLocation {
    std::string name;
    std::int32_t libraryId = 0; // 2 the first name, 1 the second, 0 none
    bool cdecl = false;
    bool hasCompress2 = false;
};

// Finds the first library that loads and exports "crc32". With
// skipConvention nothing beyond existence is decided (the convention is
// never read on this platform anyway).
std::optional<ZlibLocation> FindZlibLibrary(bool skipConvention);

// zlib's return codes that callers test.
inline constexpr int Z_OK = 0;
inline constexpr int Z_STREAM_END = 1;
inline constexpr int Z_BUF_ERROR = -5;
inline constexpr int Z_DATA_ERROR = -3;

// A codec's binding: bound once, when the codec first needs zlib, and alive
// as long as the codec.
class ZlibBinding {
public:
    ZlibBinding() = default; // unbound: no zlib
    static ZlibBinding bind();

    bool available() const { return library_.loaded() && crc32_ != nullptr; }
    std::int32_t libraryId() const { return location_.libraryId; }
    // The writer's combined value: the id, plus 32 when "compress2" exists.
    std::int32_t writerId() const {
        return available() ? location_.libraryId + (compress2_ ? 32 : 0) : 0;
    }
    bool hasCompress2() const { return compress2_ != nullptr; }
    const std::string& libraryName() const { return location_.name; }

    // The CRC-32 of the bytes, as zlib answers it (native order).
    std::uint32_t crc32(std::span<const std::uint8_t> data, std::uint32_t crc = 0) const;
    // Inflates a zlib stream; outLength is the capacity in, the bytes written
    // out. Returns zlib's code (Z_OK on success); Z_DATA_ERROR without zlib.
    int uncompress(std::span<std::uint8_t> out, std::size_t& outLength,
                   std::span<const std::uint8_t> in) const;
    // Deflates at level 9 with "compress2", or with "compress" (zlib's default
    // level) when the library lacks "compress2".
    int compress(std::span<std::uint8_t> out, std::size_t& outLength,
                 std::span<const std::uint8_t> in) const;
    // Whether the library offers zlib's streaming inflate (InflateStream).
    bool canStream() const {
        return inflateInit2_ != nullptr && inflate_ != nullptr && inflateEnd_ != nullptr;
    }

private:
    friend class InflateStream;
    using Crc32Fn = unsigned long (*)(unsigned long, const unsigned char*, unsigned int);
    using UncompressFn = int (*)(unsigned char*, unsigned long*, const unsigned char*,
                                 unsigned long);
    using CompressFn = int (*)(unsigned char*, unsigned long*, const unsigned char*, unsigned long);
    using Compress2Fn = int (*)(unsigned char*, unsigned long*, const unsigned char*, unsigned long,
                                int);
    using InflateInit2Fn = int (*)(void*, int, const char*, int);
    using InflateFn = int (*)(void*, int);
    using InflateEndFn = int (*)(void*);

    Library library_;
    ZlibLocation location_;
    Crc32Fn crc32_ = nullptr;
    UncompressFn uncompress_ = nullptr;
    CompressFn compress_ = nullptr;
    Compress2Fn compress2_ = nullptr;
    InflateInit2Fn inflateInit2_ = nullptr;
    InflateFn inflate_ = nullptr;
    InflateEndFn inflateEnd_ = nullptr;
};

// zlib's inflate over data that arrives in pieces, into output taken in
// pieces: a decoder can stream compressed data to its rows without holding
// either whole. Valid while the binding it was made from lives.
class InflateStream {
public:
    // Raw DEFLATE blocks: nothing is read before them or after the last.
    explicit InflateStream(const ZlibBinding& zlib);
    ~InflateStream();
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;

    // False when the library lacks the streaming entries or refused to start.
    bool ready() const { return started_; }
    // Inflates from `in` into `out`, advancing both past what was used.
    // zlib's code: Z_OK (progress, or nothing more to do with these
    // spans), Z_STREAM_END once the stream's end and its check have been
    // read, Z_BUF_ERROR when no progress was possible, or an error.
    int inflate(std::span<const std::uint8_t>& in, std::span<std::uint8_t>& out);

private:
    struct State;
    const ZlibBinding& zlib_;
    std::unique_ptr<State> state_;
    bool started_ = false;
};

} // namespace platform
