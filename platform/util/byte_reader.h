#pragma once
// Byte-order loads and stores, and bounds-checked reading of untrusted
// bytes. Every ByteReader read either succeeds within the view or reports
// failure and leaves the position alone, so a parser never reads outside the
// caller's range. The files here are little-endian except PNG, which is
// big-endian; these are the only places either order is spelled out.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <type_traits>

namespace velmora {

class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> data) : data_(data) {}

    std::size_t position() const { return pos_; }
    std::size_t size() const { return data_.size(); }
    std::size_t remaining() const { return data_.size() - pos_; }
    bool atEnd() const { return pos_ == data_.size(); }
    std::span<const std::uint8_t> data() const { return data_; }

    bool seek(std::size_t position) {
        if (position > data_.size()) return false;
        pos_ = position;
        return true;
    }
    bool skip(std::size_t count) {
        if (count > remaining()) return false;
        pos_ += count;
        return true;
    }

    std::optional<std::span<const std::uint8_t>> bytes(std::size_t count) {
        if (count > remaining()) return std::nullopt;
        auto out = data_.subspan(pos_, count);
        pos_ += count;
        return out;
    }

    std::optional<std::uint8_t> u8() {
        if (remaining() < 1) return std::nullopt;
        return data_[pos_++];
    }
    std::optional<std::uint16_t> u16le() { return read<2, false>(); }
    std::optional<std::uint32_t> u32le() { return read<4, false>(); }
    std::optional<std::uint16_t> u16be() { return read<2, true>(); }
    std::optional<std::uint32_t> u32be() { return read<4, true>(); }
    std::optional<std::int32_t> i32le() {
        auto v = u32le();
        if (!v) return std::nullopt;
        return static_cast<std::int32_t>(*v);
    }

private:
    template <std::size_t N, bool BigEndian>
    auto read() -> std::optional<std::conditional_t<N == 2, std::uint16_t, std::uint32_t>> {
        using T = std::conditional_t<N == 2, std::uint16_t, std::uint32_t>;
        if (remaining() < N) return std::nullopt;
        T value = 0;
        for (std::size_t i = 0; i < N; ++i) {
            const std::size_t shift = BigEndian ? (N - 1 - i) * 8 : i * 8;
            value = static_cast<T>(value | (T{data_[pos_ + i]} << shift));
        }
        pos_ += N;
        return value;
    }

    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
};

// Unchecked loads for callers that have already proven the range.
inline std::uint32_t loadU32be(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}
inline std::uint32_t loadU32le(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}
inline std::uint16_t loadU16le(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
// Eight bytes in one load, for bit readers that refill a 64-bit buffer.
inline std::uint64_t loadU64le(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}
inline void storeU32be(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}
inline void storeU16le(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void storeU32le(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

// Loads at an offset of a view: 0 when the field does not lie wholly inside
// it, for readers whose missing fields read as zero on purpose.
inline std::uint16_t loadU16le(std::span<const std::uint8_t> d, std::size_t at) {
    return at <= d.size() && d.size() - at >= 2 ? loadU16le(d.data() + at) : 0;
}
inline std::uint32_t loadU32le(std::span<const std::uint8_t> d, std::size_t at) {
    return at <= d.size() && d.size() - at >= 4 ? loadU32le(d.data() + at) : 0;
}

} // namespace velmora
