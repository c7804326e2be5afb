#include "codecs/inflate.h"

#include "platform/util/byte_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>

namespace codecs {
namespace {

using velmora::Failure;
using velmora::Result;

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
constexpr std::uint32_t kLiteralPair = 1u << 6;
constexpr std::uint32_t kLiteral = 1u << 7;
constexpr std::uint32_t kInvalid = 1u << 13;
constexpr std::uint32_t kEndOfBlock = 1u << 14;
constexpr std::uint32_t kSubtable = 1u << 15;

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

constexpr unsigned kMaxCodeBits = 15;
constexpr unsigned kLitLenPrimaryBits = 11;
constexpr unsigned kDistPrimaryBits = 8;
constexpr unsigned kPrecodePrimaryBits = 7;
constexpr unsigned kMaxLitLenSymbols = 288;
constexpr unsigned kMaxDistSymbols = 32;
constexpr unsigned kPrecodeSymbols = 19;

// Room for the primary table and one subtable per code that outgrows it
// (a generous bound: codes sharing a prefix share a subtable).
constexpr std::size_t tableCapacity(unsigned primaryBits, unsigned symbols) {
    return (std::size_t{1} << primaryBits) +
           symbols * (std::size_t{1} << (kMaxCodeBits - primaryBits));
}

constexpr std::array<std::uint16_t, 29> kLengthBase{3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                    15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                    67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> kLengthExtra{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                    2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> kDistBase{
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> kDistExtra{0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                  4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                  9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::array<std::uint8_t, kPrecodeSymbols> kPrecodeOrder{
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

constexpr std::array<std::uint8_t, 256> kReversedBytes = [] {
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

std::uint32_t litLenEntry(unsigned symbol) {
    if (symbol < 256) return entry(symbol, 0, kLiteral);
    if (symbol == 256) return entry(0, 0, kEndOfBlock);
    if (symbol < 286) return entry(kLengthBase[symbol - 257], kLengthExtra[symbol - 257], 0);
    return kInvalid; // 286 and 287 take part in the fixed code but mean nothing
}
std::uint32_t distEntry(unsigned symbol) {
    if (symbol < 30) return entry(kDistBase[symbol], kDistExtra[symbol], 0);
    return kInvalid;
}
std::uint32_t precodeEntry(unsigned symbol) {
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
    // their unused patterns decode as invalid.
    velmora::Status<InflateError> build(const std::uint8_t* lengths, unsigned count,
                                        std::uint32_t (*makeEntry)(unsigned),
                                        bool pairLiterals = false) {
        std::array<unsigned, kMaxCodeBits + 1> perLength{};
        for (unsigned s = 0; s < count; ++s)
            ++perLength[lengths[s]];
        perLength[0] = 0;

        int left = 1;
        unsigned shortest = 0;
        unsigned longest = 0;
        for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
            left = left * 2 - static_cast<int>(perLength[len]);
            if (left < 0) return Failure{InflateError::OversubscribedCode};
            if (perLength[len]) {
                if (!shortest) shortest = len;
                longest = len;
            }
        }
        if (longest == 0) {
            std::fill_n(table_, kPrimarySize, kInvalid);
            return {};
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
        if (longest <= PrimaryBits) return {};

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
        return {};
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
constexpr std::ptrdiff_t kFastInputMargin = 16;
constexpr std::ptrdiff_t kFastOutputMargin = 4 + 258 + 16;

class Inflater {
public:
    Inflater(std::span<const std::uint8_t> in, std::span<std::uint8_t> out)
        : in_(in.data()), inEnd_(in.data() + in.size()), outStart_(out.data()), out_(out.data()),
          outEnd_(out.data() + out.size()), tables_(std::make_unique_for_overwrite<Tables>()),
          litLen_(tables_->litLen.data()), dist_(tables_->dist.data()),
          precode_(tables_->precode.data()), fixedLitLen_(tables_->fixedLitLen.data()),
          fixedDist_(tables_->fixedDist.data()) {}

    Result<std::size_t, InflateError> run() {
        bool last = false;
        while (!last) {
            refill();
            last = take(1) != 0;
            const unsigned type = static_cast<unsigned>(take(2));
            VELMORA_TRY(checkTruncation());
            switch (type) {
            case 0:
                VELMORA_TRY(storedBlock());
                break;
            case 1:
                if (!fixedBuilt_) {
                    VELMORA_TRY(buildFixed());
                    fixedBuilt_ = true;
                }
                VELMORA_TRY(huffmanBlock(fixedLitLen_, fixedDist_));
                break;
            case 2:
                VELMORA_TRY(readDynamicTables());
                VELMORA_TRY(huffmanBlock(litLen_, dist_));
                break;
            default:
                return Failure{InflateError::BadBlockType};
            }
        }
        return static_cast<std::size_t>(out_ - outStart_);
    }

private:
    // Keeps at least 56 bits in the buffer. Past the end of the input it
    // feeds zero bytes and counts them, so the decoding loop need not test
    // for the end on every symbol; consuming any of those bits is caught by
    // checkTruncation(). The buffer's bits above the count hold the input
    // that follows (or zeros), so a wide load may overlap them.
    void refill() {
        if (inEnd_ - in_ >= 8) [[likely]] {
            bits_ |= velmora::loadU64le(in_) << bitCount_;
            in_ += (63 - bitCount_) >> 3;
            bitCount_ |= 56;
            return;
        }
        while (bitCount_ <= 56) {
            if (in_ < inEnd_)
                bits_ |= std::uint64_t{*in_++} << bitCount_;
            else
                phantomBits_ += 8;
            bitCount_ += 8;
        }
    }
    std::uint64_t peek(unsigned n) const { return bits_ & lowBits(n); }
    void drop(unsigned n) {
        bits_ >>= n;
        bitCount_ -= n;
    }
    std::uint64_t take(unsigned n) {
        const std::uint64_t v = peek(n);
        drop(n);
        return v;
    }
    velmora::Status<InflateError> checkTruncation() const {
        if (bitCount_ < phantomBits_) [[unlikely]]
            return Failure{InflateError::TruncatedInput};
        return {};
    }

    velmora::Status<InflateError> storedBlock() {
        drop(bitCount_ & 7);
        // Give back the whole bytes still buffered and read the block
        // straight from the input.
        const std::size_t buffered = (bitCount_ - phantomBits_) / 8;
        in_ -= buffered;
        bits_ = 0;
        bitCount_ = 0;
        phantomBits_ = 0;
        if (inEnd_ - in_ < 4) return Failure{InflateError::TruncatedInput};
        const unsigned len = velmora::loadU16le(in_);
        const unsigned nlen = velmora::loadU16le(in_ + 2);
        in_ += 4;
        if (len != (~nlen & 0xFFFFu)) return Failure{InflateError::StoredLengthMismatch};
        if (static_cast<std::size_t>(inEnd_ - in_) < len)
            return Failure{InflateError::TruncatedInput};
        if (static_cast<std::size_t>(outEnd_ - out_) < len)
            return Failure{InflateError::OutputFull};
        if (len) std::memcpy(out_, in_, len);
        in_ += len;
        out_ += len;
        return {};
    }

    velmora::Status<InflateError> buildFixed() {
        std::array<std::uint8_t, kMaxLitLenSymbols> lengths{};
        std::fill(lengths.begin(), lengths.begin() + 144, 8);
        std::fill(lengths.begin() + 144, lengths.begin() + 256, 9);
        std::fill(lengths.begin() + 256, lengths.begin() + 280, 7);
        std::fill(lengths.begin() + 280, lengths.end(), 8);
        VELMORA_TRY(fixedLitLen_.build(lengths.data(), kMaxLitLenSymbols, litLenEntry, true));
        std::array<std::uint8_t, kMaxDistSymbols> distLengths;
        distLengths.fill(5);
        return fixedDist_.build(distLengths.data(), kMaxDistSymbols, distEntry);
    }

    velmora::Status<InflateError> readDynamicTables() {
        refill();
        const unsigned hlit = static_cast<unsigned>(take(5)) + 257;
        const unsigned hdist = static_cast<unsigned>(take(5)) + 1;
        const unsigned hclen = static_cast<unsigned>(take(4)) + 4;
        std::array<std::uint8_t, kPrecodeSymbols> precodeLengths{};
        for (unsigned i = 0; i < hclen; ++i) {
            refill();
            precodeLengths[kPrecodeOrder[i]] = static_cast<std::uint8_t>(take(3));
        }
        VELMORA_TRY(checkTruncation());
        VELMORA_TRY(precode_.build(precodeLengths.data(), kPrecodeSymbols, precodeEntry));

        std::array<std::uint8_t, kMaxLitLenSymbols + kMaxDistSymbols> lengths{};
        const unsigned total = hlit + hdist;
        unsigned n = 0;
        while (n < total) {
            refill();
            const std::uint32_t e = precode_.lookup(bits_);
            if (e & kInvalid) return Failure{InflateError::BadCodeLengths};
            drop(codeBits(e));
            const unsigned symbol = entryValue(e);
            if (symbol < 16) {
                lengths[n++] = static_cast<std::uint8_t>(symbol);
                continue;
            }
            std::uint8_t value = 0;
            unsigned repeat;
            if (symbol == 16) {
                if (n == 0) return Failure{InflateError::BadCodeLengths};
                value = lengths[n - 1];
                repeat = 3 + static_cast<unsigned>(take(2));
            } else if (symbol == 17) {
                repeat = 3 + static_cast<unsigned>(take(3));
            } else {
                repeat = 11 + static_cast<unsigned>(take(7));
            }
            if (repeat > total - n) return Failure{InflateError::BadCodeLengths};
            std::fill_n(lengths.begin() + n, repeat, value);
            n += repeat;
        }
        VELMORA_TRY(checkTruncation());
        VELMORA_TRY(litLen_.build(lengths.data(), hlit, litLenEntry, true));
        return dist_.build(lengths.data() + hlit, hdist, distEntry);
    }

    velmora::Status<InflateError> huffmanBlock(const LitLenTable& litLen, const DistTable& dist) {
        bool ended = false;
        std::size_t runLength = 0;
        VELMORA_TRY(fastLoop(litLen, dist, ended, runLength));
        if (ended) return {};
        return carefulLoop(litLen, dist, 3 - static_cast<unsigned>(runLength % 3));
    }

    // The bulk of a block: the bit buffer and pointers live in registers,
    // and the margins stand in for the end-of-input and room tests, so
    // only bad codes and distances can stop it early. No bit it consumes
    // lies past the input, so it never truncates.
    // It ends with ended set at the end of the block, or with runLength
    // holding the literals since the last match, for the careful loop.
    velmora::Status<InflateError> fastLoop(const LitLenTable& litLen, const DistTable& dist,
                                           bool& ended, std::size_t& runLength) {
        if (inEnd_ - in_ < kFastInputMargin || outEnd_ - out_ < kFastOutputMargin) return {};
        const std::uint8_t* in = in_;
        const std::uint8_t* const inLimit = inEnd_ - kFastInputMargin;
        std::uint8_t* out = out_;
        std::uint8_t* const outLimit = outEnd_ - kFastOutputMargin;
        std::uint8_t* const outStart = outStart_;
        std::uint64_t bits = bits_;
        unsigned count = bitCount_;
        std::uint8_t* runStart = out;

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
                if (e & kInvalid) return Failure{InflateError::InvalidSymbol};
                drop(codeBits(e));
                ended = true;
                break;
            }
            const std::size_t length = decodeValue(e, bits);
            drop(totalBits(e));
            const std::uint32_t d = dist.lookup(bits);
            if (d & kInvalid) [[unlikely]]
                return Failure{InflateError::InvalidSymbol};
            const std::size_t distance = decodeValue(d, bits);
            drop(totalBits(d));
            if (distance > static_cast<std::size_t>(out - outStart)) [[unlikely]]
                return Failure{InflateError::DistanceTooFar};
            out = copyMatchFast(out, length, distance);
            runStart = out;
        } while (in <= inLimit && out <= outLimit);

        runLength = static_cast<std::size_t>(out - runStart);
        in_ = in;
        out_ = out;
        bits_ = bits;
        bitCount_ = count;
        return {};
    }

    // Copies a match in whole words, which may run up to 15 bytes past its
    // end; the caller guarantees that room. Overlapping copies repeat the
    // data, as LZ77 means.
    static std::uint8_t* copyMatchFast(std::uint8_t* out, std::size_t length,
                                       std::size_t distance) {
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
            std::uint64_t word =
                velmora::loadU64le(src) & lowBits(8 * static_cast<unsigned>(distance));
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

    // Symbol by symbol near the ends of the buffers, where every read and
    // write is tested. It takes literals in rounds of three per refill,
    // counted from the last match, and tests for truncation after each
    // round, so a bad stream meets its faults in the same order wherever
    // the fast loop handed over; slots is what is left of the current
    // round.
    velmora::Status<InflateError> carefulLoop(const LitLenTable& litLen, const DistTable& dist,
                                              unsigned slots) {
        for (;;) {
            refill();
            std::uint32_t e = litLen.lookup(bits_);
            if (e & kLiteral) {
                // Only the first of a pair: the second has an entry of its own.
                do {
                    drop(firstLiteralBits(e));
                    if (out_ == outEnd_) [[unlikely]]
                        return Failure{InflateError::OutputFull};
                    *out_++ = firstLiteral(e);
                    if (--slots == 0) break;
                    e = litLen.lookup(bits_);
                } while (e & kLiteral);
                VELMORA_TRY(checkTruncation());
                if (slots == 0) {
                    slots = 3;
                    continue;
                }
                slots = 3;
                refill();
            }
            if (e & (kEndOfBlock | kInvalid)) [[unlikely]] {
                if (e & kInvalid) return Failure{InflateError::InvalidSymbol};
                drop(codeBits(e));
                return checkTruncation();
            }
            slots = 3;
            const std::size_t length = decodeValue(e, bits_);
            drop(totalBits(e));
            const std::uint32_t d = dist.lookup(bits_);
            if (d & kInvalid) [[unlikely]]
                return Failure{InflateError::InvalidSymbol};
            const std::size_t distance = decodeValue(d, bits_);
            drop(totalBits(d));
            VELMORA_TRY(checkTruncation());
            if (distance > static_cast<std::size_t>(out_ - outStart_)) [[unlikely]]
                return Failure{InflateError::DistanceTooFar};
            const std::size_t room = static_cast<std::size_t>(outEnd_ - out_);
            if (length > room) [[unlikely]]
                return Failure{InflateError::OutputFull};
            copyMatch(length, distance, room);
        }
    }

    void copyMatch(std::size_t length, std::size_t distance, std::size_t room) {
        if (room >= length + 16) {
            out_ = copyMatchFast(out_, length, distance);
            return;
        }
        const std::uint8_t* src = out_ - distance;
        std::uint8_t* const end = out_ + length;
        if (distance == 1) {
            std::memset(out_, *src, length);
        } else {
            // Repeat the period, doubling the copied run each step.
            std::uint8_t* dst = out_;
            while (dst < end) {
                const std::size_t chunk = std::min(static_cast<std::size_t>(dst - src),
                                                   static_cast<std::size_t>(end - dst));
                std::memcpy(dst, src, chunk);
                dst += chunk;
            }
        }
        out_ = end;
    }

    const std::uint8_t* in_;
    const std::uint8_t* inEnd_;
    std::uint8_t* outStart_;
    std::uint8_t* out_;
    std::uint8_t* outEnd_;
    std::uint64_t bits_ = 0;
    unsigned bitCount_ = 0;
    unsigned phantomBits_ = 0;
    std::unique_ptr<Tables> tables_;
    LitLenTable litLen_;
    DistTable dist_;
    PrecodeTable precode_;
    LitLenTable fixedLitLen_;
    DistTable fixedDist_;
    bool fixedBuilt_ = false;
};

} // namespace

std::string_view ErrorText(InflateError error) {
    switch (error) {
    case InflateError::TruncatedInput:
        return "compressed data ends inside a block";
    case InflateError::OutputFull:
        return "compressed data expands beyond the expected size";
    case InflateError::BadBlockType:
        return "invalid block type";
    case InflateError::StoredLengthMismatch:
        return "stored block length does not match its complement";
    case InflateError::BadCodeLengths:
        return "invalid code lengths";
    case InflateError::OversubscribedCode:
        return "over-subscribed code lengths";
    case InflateError::InvalidSymbol:
        return "invalid code";
    case InflateError::DistanceTooFar:
        return "distance reaches before the start of the data";
    }
    return "unknown inflate error";
}

Result<std::size_t, InflateError> InflateRaw(std::span<const std::uint8_t> in,
                                             std::span<std::uint8_t> out) {
    return Inflater(in, out).run();
}

Result<std::size_t, InflateError> InflateZlib(std::span<const std::uint8_t> in,
                                              std::span<std::uint8_t> out) {
    if (in.size() < 2) return Failure{InflateError::TruncatedInput};
    return InflateRaw(in.subspan(2), out);
}

} // namespace codecs
