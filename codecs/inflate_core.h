#pragma once
// The DEFLATE decoder core both inflaters share: the table entry format,
// the code tables and the reading of a block's codes, the match copies, and
// the fast loop that decodes while the input and the output have room for a
// whole round without a test. The whole-buffer inflater (inflate.cpp) and
// the windowed one (inflate_stream.cpp) keep only their bit readers and
// careful loops, which differ in where bytes come from and go to.

#include "platform/util/byte_reader.h"
#include "platform/util/result.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

namespace codecs::inflate_core {

// A decoding table entry packs everything the hot loop needs into 32 bits:
//   bits 0-5    bits the code takes (for a subtable link: the primary bits)
//   bits 8-12   bits the code and its extra bits take together (for a
//               subtable link: the subtable's index bits)
//   bits 13-15  exception flags
//   bits 16-30  length or distance base, or subtable offset
// With the extra bits counted in, a length or distance is one mask and one
// shift of the bit buffer, and the buffer drops both fields in one step.
// Literal entries differ:
//   bits 0-5    bits of the one or two literal codes the entry holds
//   bit 6       two literals
//   bit 7       literal
//   bits 8-12   bits of the first literal's code alone
//   bits 16-31  the literals, first in the low byte
// Photographs' filtered rows are mostly short literal codes, so most
// lookups yield two bytes.
inline constexpr std::uint32_t kLiteralPair = 1u << 6;
inline constexpr std::uint32_t kLiteral = 1u << 7;
inline constexpr std::uint32_t kInvalid = 1u << 13;
inline constexpr std::uint32_t kEndOfBlock = 1u << 14;
inline constexpr std::uint32_t kSubtable = 1u << 15;

constexpr std::uint32_t entry(std::uint32_t value, std::uint32_t extra, std::uint32_t flags) {
    return flags | (value << 16) | (extra << 8);
}
// A code's length goes into both bit counts once the table knows it.
constexpr std::uint32_t withCodeLength(std::uint32_t e, unsigned length) {
    return e + (length << 8) + length;
}
constexpr unsigned codeBits(std::uint32_t e) {
    return e & 0x3F;
}
constexpr unsigned totalBits(std::uint32_t e) {
    return (e >> 8) & 0x1F;
}
constexpr std::uint32_t entryValue(std::uint32_t e) {
    return (e >> 16) & 0x7FFF;
}
// A literal entry's first byte and the bits of its code alone.
constexpr std::uint8_t firstLiteral(std::uint32_t e) {
    return static_cast<std::uint8_t>(e >> 16);
}
constexpr unsigned firstLiteralBits(std::uint32_t e) {
    return totalBits(e);
}
constexpr unsigned literalCount(std::uint32_t e) {
    return 1 + ((e >> 6) & 1);
}
constexpr std::uint64_t lowBits(unsigned n) {
    return (std::uint64_t{1} << n) - 1;
}
// The base plus the extra bits that follow the code at the bottom of bits.
inline std::size_t decodeValue(std::uint32_t e, std::uint64_t bits) {
    return entryValue(e) + static_cast<std::size_t>((bits & lowBits(totalBits(e))) >> codeBits(e));
}

inline constexpr unsigned kMaxCodeBits = 15;
inline constexpr unsigned kLitLenPrimaryBits = 11;
inline constexpr unsigned kDistPrimaryBits = 8;
inline constexpr unsigned kPrecodePrimaryBits = 7;
inline constexpr unsigned kMaxLitLenSymbols = 288;
inline constexpr unsigned kMaxDistSymbols = 32;
inline constexpr unsigned kPrecodeSymbols = 19;

// Room for the primary table and one subtable per code that outgrows it
// (a generous bound: codes sharing a prefix share a subtable).
constexpr std::size_t tableCapacity(unsigned primaryBits, unsigned symbols) {
    return (std::size_t{1} << primaryBits) +
           symbols * (std::size_t{1} << (kMaxCodeBits - primaryBits));
}

inline constexpr std::array<std::uint16_t, 29> kLengthBase{
    3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
    31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
inline constexpr std::array<std::uint8_t, 29> kLengthExtra{
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
inline constexpr std::array<std::uint16_t, 30> kDistBase{
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
inline constexpr std::array<std::uint8_t, 30> kDistExtra{0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                         4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                         9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
inline constexpr std::array<std::uint8_t, kPrecodeSymbols> kPrecodeOrder{
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

inline constexpr std::array<std::uint8_t, 256> kReversedBytes = [] {
    std::array<std::uint8_t, 256> r{};
    for (unsigned b = 0; b < 256; ++b)
        for (unsigned i = 0; i < 8; ++i)
            if (b & (1u << i)) r[b] |= static_cast<std::uint8_t>(0x80u >> i);
    return r;
}();

// Codes are stored most significant bit first but read from the low end of
// the bit buffer, so table indexes are the codes reversed.
inline unsigned reverseBits(unsigned code, unsigned len) {
    const unsigned r16 = (unsigned{kReversedBytes[code & 0xFF]} << 8) | kReversedBytes[code >> 8];
    return r16 >> (16 - len);
}

inline std::uint32_t litLenEntry(unsigned symbol) {
    if (symbol < 256) return entry(symbol, 0, kLiteral);
    if (symbol == 256) return entry(0, 0, kEndOfBlock);
    if (symbol < 286) return entry(kLengthBase[symbol - 257], kLengthExtra[symbol - 257], 0);
    return kInvalid; // 286 and 287 take part in the fixed code but mean nothing
}
inline std::uint32_t distEntry(unsigned symbol) {
    if (symbol < 30) return entry(kDistBase[symbol], kDistExtra[symbol], 0);
    return kInvalid;
}
inline std::uint32_t precodeEntry(unsigned symbol) {
    return entry(symbol, 0, 0);
}

// A canonical Huffman code as a two-level table: the primary table is
// indexed directly by the next primaryBits of input; the few longer codes
// go through a small subtable, which keeps the table cheap to build for
// every dynamic block. Every entry of a subtable holds the whole code's
// length, so a lookup consumes nothing until the caller drops the bits.
template <unsigned PrimaryBits>
class HuffmanTable {
public:
    static constexpr std::size_t kPrimarySize = std::size_t{1} << PrimaryBits;

    explicit HuffmanTable(std::uint32_t* storage) : table_(storage) {}

    // Incomplete codes are accepted (a single distance code is common);
    // their unused patterns decode as invalid. False for an oversubscribed
    // code.
    [[nodiscard]] bool build(const std::uint8_t* lengths, unsigned count,
                             std::uint32_t (*makeEntry)(unsigned), bool pairLiterals = false) {
        std::array<unsigned, kMaxCodeBits + 1> perLength{};
        for (unsigned s = 0; s < count; ++s)
            ++perLength[lengths[s]];
        perLength[0] = 0;

        int left = 1;
        unsigned shortest = 0;
        unsigned longest = 0;
        for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
            left = left * 2 - static_cast<int>(perLength[len]);
            if (left < 0) return false;
            if (perLength[len]) {
                if (!shortest) shortest = len;
                longest = len;
            }
        }
        if (longest == 0) {
            std::fill_n(table_, kPrimarySize, kInvalid);
            return true;
        }

        // Symbols sorted by code length, then by value: canonical order.
        std::array<unsigned, kMaxCodeBits + 2> offsets{};
        for (unsigned len = 1; len <= kMaxCodeBits; ++len)
            offsets[len + 1] = offsets[len] + perLength[len];
        std::array<std::uint16_t, kMaxLitLenSymbols> sorted;
        for (unsigned s = 0; s < count; ++s)
            if (lengths[s]) sorted[offsets[lengths[s]]++] = static_cast<std::uint16_t>(s);

        // The primary table grows with the code length: while it is 2^len
        // entries long, a code of len bits has exactly one entry, and
        // doubling the table repeats every shorter code for the new top bit.
        unsigned tableBits = std::min(shortest, PrimaryBits);
        std::fill_n(table_, std::size_t{1} << tableBits, kInvalid);
        unsigned code = 0;
        unsigned index = 0;
        // Where each literal code shorter than the index sits first.
        std::array<std::uint16_t, kMaxLitLenSymbols> literals;
        unsigned literalCount = 0;
        for (unsigned len = 1; len <= std::min(longest, PrimaryBits); ++len) {
            if (len > tableBits) {
                std::memcpy(table_ + (std::size_t{1} << tableBits), table_,
                            (std::size_t{4} << tableBits));
                ++tableBits;
            }
            for (unsigned n = 0; n < perLength[len]; ++n, ++code) {
                const unsigned at = reverseBits(code, len);
                const std::uint32_t e = withCodeLength(makeEntry(sorted[index++]), len);
                table_[at] = e;
                if ((e & kLiteral) && len < PrimaryBits)
                    literals[literalCount++] = static_cast<std::uint16_t>(at);
            }
            code <<= 1;
        }
        for (; tableBits < PrimaryBits; ++tableBits)
            std::memcpy(table_ + (std::size_t{1} << tableBits), table_,
                        (std::size_t{4} << tableBits));
        if (pairLiterals) pairUp(std::span(literals).first(literalCount));
        if (longest <= PrimaryBits) return true;

        const unsigned subBits = longest - PrimaryBits;
        const std::size_t subSize = std::size_t{1} << subBits;
        std::size_t nextSub = kPrimarySize;
        for (unsigned len = PrimaryBits + 1; len <= longest; ++len) {
            for (unsigned n = 0; n < perLength[len]; ++n, ++code) {
                const std::uint32_t e = withCodeLength(makeEntry(sorted[index++]), len);
                const unsigned reversed = reverseBits(code, len);
                const unsigned prefix = reversed & static_cast<unsigned>(kPrimarySize - 1);
                if (!(table_[prefix] & kSubtable)) {
                    table_[prefix] =
                        entry(static_cast<std::uint32_t>(nextSub), subBits, kSubtable) |
                        PrimaryBits;
                    std::fill_n(table_ + nextSub, subSize, kInvalid);
                    nextSub += subSize;
                }
                std::uint32_t* sub = table_ + entryValue(table_[prefix]);
                const unsigned rest = reversed >> PrimaryBits;
                for (std::size_t i = rest; i < subSize; i += std::size_t{1} << (len - PrimaryBits))
                    sub[i] = e;
            }
            code <<= 1;
        }
        return true;
    }

    // The entry for the code at the bottom of bits (at least 15 valid bits).
    std::uint32_t lookup(std::uint64_t bits) const {
        std::uint32_t e = table_[bits & (kPrimarySize - 1)];
        if (e & kSubtable) [[unlikely]]
            e = table_[entryValue(e) + ((bits >> PrimaryBits) & lowBits(totalBits(e)))];
        return e;
    }

private:
    // Where a literal's code leaves room in the index for a second whole
    // literal code, the entry takes that one too. The entries a first code
    // of l bits owns are its own index plus every multiple of 2^l; the rest
    // of such an index, shifted down by l, is where the single entries
    // tell what follows. literals lists each literal code's lowest index.
    void pairUp(std::span<const std::uint16_t> literals) {
        std::array<std::uint32_t, kPrimarySize> singles;
        std::memcpy(singles.data(), table_, sizeof singles);
        for (const unsigned at : literals) {
            const std::uint32_t first = singles[at];
            const unsigned bits = codeBits(first);
            const unsigned room = PrimaryBits - bits;
            // Without branches: whether an entry pairs follows the data,
            // which no predictor guesses.
            for (std::size_t rest = 0; rest < (std::size_t{1} << room); ++rest) {
                const std::uint32_t second = singles[rest];
                const unsigned pairs = ((second & kLiteral) != 0) & (codeBits(second) <= room);
                const std::uint32_t addend =
                    codeBits(second) + kLiteralPair + (std::uint32_t{firstLiteral(second)} << 24);
                table_[at | (rest << bits)] = first + (addend & (0u - pairs));
            }
        }
    }

    std::uint32_t* table_;
};

using LitLenTable = HuffmanTable<kLitLenPrimaryBits>;
using DistTable = HuffmanTable<kDistPrimaryBits>;
using PrecodeTable = HuffmanTable<kPrecodePrimaryBits>;

struct Tables {
    std::array<std::uint32_t, tableCapacity(kLitLenPrimaryBits, kMaxLitLenSymbols)> litLen;
    std::array<std::uint32_t, tableCapacity(kDistPrimaryBits, kMaxDistSymbols)> dist;
    std::array<std::uint32_t, tableCapacity(kPrecodePrimaryBits, kPrecodeSymbols)> precode;
    std::array<std::uint32_t, tableCapacity(kLitLenPrimaryBits, kMaxLitLenSymbols)> fixedLitLen;
    std::array<std::uint32_t, tableCapacity(kDistPrimaryBits, kMaxDistSymbols)> fixedDist;
};

inline void storeU64le(std::uint8_t* p, std::uint64_t v) {
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    std::memcpy(p, &v, sizeof v);
}

// The fast loop runs while every read and write of one round stays inside
// the buffers without a test: two refills read at most 15 bytes, and a
// round writes six literals (in pairs) or four and a match of up to 258
// bytes in whole words of up to 16 bytes.
inline constexpr std::ptrdiff_t kFastInputMargin = 16;
inline constexpr std::ptrdiff_t kFastOutputMargin = 4 + 258 + 16;

// Copies a match in whole words, which may run up to 15 bytes past its
// end; the caller guarantees that room. Overlapping copies repeat the
// data, as LZ77 means.
inline std::uint8_t* copyMatchFast(std::uint8_t* out, std::size_t length, std::size_t distance) {
    const std::uint8_t* src = out - distance;
    std::uint8_t* const end = out + length;
    if (distance >= 16) {
        // Each read lies wholly in bytes already written.
        do {
            std::memcpy(out, src, 16);
            out += 16;
            src += 16;
        } while (out < end);
    } else if (distance >= 8) {
        do {
            std::memcpy(out, src, 8);
            out += 8;
            src += 8;
        } while (out < end);
    } else if (distance == 1) {
        const std::uint64_t word = *src * 0x0101010101010101ull;
        do {
            storeU64le(out, word);
            storeU64le(out + 8, word);
            out += 16;
        } while (out < end);
    } else {
        // A period of 2 to 7 bytes: repeat it across a word, then store
        // the word every whole number of periods.
        std::uint64_t word = velmora::loadU64le(src) & lowBits(8 * static_cast<unsigned>(distance));
        for (unsigned shift = 8 * static_cast<unsigned>(distance); shift < 64; shift *= 2)
            word |= word << shift;
        const std::size_t stride = 8 - 8 % distance;
        do {
            storeU64le(out, word);
            out += stride;
        } while (out < end);
    }
    return end;
}

// Copies a match that fits in room, writing nothing past its end where
// room is short of the whole-word copy's overrun.
inline std::uint8_t* copyMatch(std::uint8_t* out, std::size_t length, std::size_t distance,
                               std::size_t room) {
    if (room >= length + 16) return copyMatchFast(out, length, distance);
    const std::uint8_t* src = out - distance;
    std::uint8_t* const end = out + length;
    if (distance == 1) {
        std::memset(out, *src, length);
    } else {
        // Repeat the period, doubling the copied run each step.
        std::uint8_t* dst = out;
        while (dst < end) {
            const std::size_t chunk =
                std::min(static_cast<std::size_t>(dst - src), static_cast<std::size_t>(end - dst));
            std::memcpy(dst, src, chunk);
            dst += chunk;
        }
    }
    return end;
}

// Where the fast loop stands: the bit buffer and both pointers.
struct FastCursor {
    const std::uint8_t* in;
    std::uint8_t* out;
    std::uint64_t bits;
    unsigned count;
};

enum class FastEnd {
    Margin,         // a margin was reached inside the block; the cursor is stored
    EndOfBlock,     // the block's end code was read; the cursor is stored
    InvalidSymbol,  // as the inflaters' errors of that name
    DistanceTooFar, //
};

// The bulk of a block: the bit buffer and pointers live in registers, and
// the margins stand in for the end-of-input and room tests, so only bad
// codes and distances can stop it early. It runs at least one round, so the
// caller makes sure in <= inLimit and out <= outLimit, with in + 16 and
// outLimit + 278 bytes still inside the buffers, and that count < 64 with
// the bits above count zero or the input's next bits. No bit it consumes
// lies past the input, so it never truncates. Rounds end at outLimit + 262
// at the most. runLength is set to the literals written since the last
// match (or since the start).
[[gnu::always_inline]] inline FastEnd
fastLoop(const LitLenTable& litLen, const DistTable& dist, FastCursor& cursor,
         const std::uint8_t* const inLimit, std::uint8_t* const outLimit,
         const std::uint8_t* const outStart, std::size_t& runLength) {
    const std::uint8_t* in = cursor.in;
    std::uint8_t* out = cursor.out;
    std::uint64_t bits = cursor.bits;
    unsigned count = cursor.count;
    std::uint8_t* runStart = out;
    FastEnd end = FastEnd::Margin;

    const auto refill = [&] {
        bits |= velmora::loadU64le(in) << count;
        in += (63 - count) >> 3;
        count |= 56;
    };
    const auto drop = [&](unsigned n) {
        bits >>= n;
        count -= n;
    };

    do {
        // A refill leaves 56 bits: three literal codes of up to 15 bits,
        // or a length (15 + 5 bits) and a distance (15 + 13 bits).
        refill();
        std::uint32_t e = litLen.lookup(bits);
        if (e & kLiteral) {
            // One or two literals; the second byte is written either way
            // and overwritten by what follows when it is not one.
            drop(codeBits(e));
            velmora::storeU16le(out, static_cast<std::uint16_t>(e >> 16));
            out += literalCount(e);
            e = litLen.lookup(bits);
            if (e & kLiteral) {
                drop(codeBits(e));
                velmora::storeU16le(out, static_cast<std::uint16_t>(e >> 16));
                out += literalCount(e);
                e = litLen.lookup(bits);
                if (e & kLiteral) {
                    drop(codeBits(e));
                    velmora::storeU16le(out, static_cast<std::uint16_t>(e >> 16));
                    out += literalCount(e);
                    continue;
                }
            }
            // A refill only adds bits above those e was decoded from.
            refill();
        }
        if (e & (kEndOfBlock | kInvalid)) [[unlikely]] {
            if (e & kInvalid) return FastEnd::InvalidSymbol;
            drop(codeBits(e));
            end = FastEnd::EndOfBlock;
            break;
        }
        const std::size_t length = decodeValue(e, bits);
        drop(totalBits(e));
        const std::uint32_t d = dist.lookup(bits);
        if (d & kInvalid) [[unlikely]]
            return FastEnd::InvalidSymbol;
        const std::size_t distance = decodeValue(d, bits);
        drop(totalBits(d));
        if (distance > static_cast<std::size_t>(out - outStart)) [[unlikely]]
            return FastEnd::DistanceTooFar;
        out = copyMatchFast(out, length, distance);
        runStart = out;
    } while (in <= inLimit && out <= outLimit);

    runLength = static_cast<std::size_t>(out - runStart);
    cursor = {in, out, bits, count};
    return end;
}

// A decoder's code tables: the dynamic ones, rebuilt for every block, and
// the fixed ones, built once when first needed.
class CodeTables {
public:
    CodeTables()
        : storage_(std::make_unique_for_overwrite<Tables>()), litLen(storage_->litLen.data()),
          dist(storage_->dist.data()), precode(storage_->precode.data()),
          fixedLitLen(storage_->fixedLitLen.data()), fixedDist(storage_->fixedDist.data()) {}

    void buildFixed() {
        if (fixedBuilt_) return;
        std::array<std::uint8_t, kMaxLitLenSymbols> lengths{};
        std::fill(lengths.begin(), lengths.begin() + 144, 8);
        std::fill(lengths.begin() + 144, lengths.begin() + 256, 9);
        std::fill(lengths.begin() + 256, lengths.begin() + 280, 7);
        std::fill(lengths.begin() + 280, lengths.end(), 8);
        std::array<std::uint8_t, kMaxDistSymbols> distLengths;
        distLengths.fill(5);
        // The fixed code is complete, never oversubscribed.
        fixedBuilt_ = fixedLitLen.build(lengths.data(), kMaxLitLenSymbols, litLenEntry, true) &&
                      fixedDist.build(distLengths.data(), kMaxDistSymbols, distEntry);
    }

private:
    std::unique_ptr<Tables> storage_;
    bool fixedBuilt_ = false;

public:
    LitLenTable litLen;
    DistTable dist;
    PrecodeTable precode;
    LitLenTable fixedLitLen;
    DistTable fixedDist;
};

// Reads a dynamic block's header and builds its tables. The reader keeps
// at least 56 bits after refill() and offers bits(), take(), drop() and
// checkTruncation(), which gives its Error; Error names its faults as
// InflateError does.
template <class Error, class Reader>
velmora::Status<Error> readDynamicTables(Reader& reader, CodeTables& tables) {
    using velmora::Failure;
    reader.refill();
    const unsigned hlit = static_cast<unsigned>(reader.take(5)) + 257;
    const unsigned hdist = static_cast<unsigned>(reader.take(5)) + 1;
    const unsigned hclen = static_cast<unsigned>(reader.take(4)) + 4;
    std::array<std::uint8_t, kPrecodeSymbols> precodeLengths{};
    for (unsigned i = 0; i < hclen; ++i) {
        reader.refill();
        precodeLengths[kPrecodeOrder[i]] = static_cast<std::uint8_t>(reader.take(3));
    }
    VELMORA_TRY(reader.checkTruncation());
    if (!tables.precode.build(precodeLengths.data(), kPrecodeSymbols, precodeEntry))
        return Failure{Error::OversubscribedCode};

    std::array<std::uint8_t, kMaxLitLenSymbols + kMaxDistSymbols> lengths{};
    const unsigned total = hlit + hdist;
    unsigned n = 0;
    while (n < total) {
        reader.refill();
        const std::uint32_t e = tables.precode.lookup(reader.bits());
        if (e & kInvalid) return Failure{Error::BadCodeLengths};
        reader.drop(codeBits(e));
        const unsigned symbol = entryValue(e);
        if (symbol < 16) {
            lengths[n++] = static_cast<std::uint8_t>(symbol);
            continue;
        }
        std::uint8_t value = 0;
        unsigned repeat;
        if (symbol == 16) {
            if (n == 0) return Failure{Error::BadCodeLengths};
            value = lengths[n - 1];
            repeat = 3 + static_cast<unsigned>(reader.take(2));
        } else if (symbol == 17) {
            repeat = 3 + static_cast<unsigned>(reader.take(3));
        } else {
            repeat = 11 + static_cast<unsigned>(reader.take(7));
        }
        if (repeat > total - n) return Failure{Error::BadCodeLengths};
        std::fill_n(lengths.begin() + n, repeat, value);
        n += repeat;
    }
    VELMORA_TRY(reader.checkTruncation());
    if (!tables.litLen.build(lengths.data(), hlit, litLenEntry, true) ||
        !tables.dist.build(lengths.data() + hlit, hdist, distEntry))
        return Failure{Error::OversubscribedCode};
    return {};
}

} // namespace codecs::inflate_core
