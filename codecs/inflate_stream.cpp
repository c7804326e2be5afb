#include "codecs/inflate_stream.h"

#include "platform/util/byte_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace codecs {
namespace {

using velmora::Failure;
using velmora::Result;
using velmora::Status;
using Error = StreamInflateError;

// The decoding tables are those of the whole-buffer inflater (inflate.cpp),
// kept apart so each decoder stands alone.
// A decoding table entry packs everything the hot loop needs into 32 bits:
//   bits 0-4    bits the code takes (for a subtable link: the primary bits)
//   bits 8-11   extra bits after the code (length/distance), or subtable bits
//   bits 12-15  kind flags
//   bits 16-31  literal byte, length or distance base, or subtable offset
// Length and distance entries carry no flag, so the common literal test is
// a single bit.
constexpr std::uint32_t kLiteral = 1u << 12;
constexpr std::uint32_t kEndOfBlock = 1u << 13;
constexpr std::uint32_t kSubtable = 1u << 14;
constexpr std::uint32_t kInvalid = 1u << 15;

constexpr std::uint32_t entry(std::uint32_t value, std::uint32_t extra, std::uint32_t flags) {
    return (value << 16) | (extra << 8) | flags;
}
constexpr unsigned codeBits(std::uint32_t e) {
    return e & 0x1F;
}
constexpr unsigned extraBits(std::uint32_t e) {
    return (e >> 8) & 0xF;
}
constexpr std::uint32_t entryValue(std::uint32_t e) {
    return e >> 16;
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
// every dynamic block.
class HuffmanTable {
public:
    HuffmanTable(std::uint32_t* storage, unsigned primaryBits)
        : table_(storage), maxPrimaryBits_(primaryBits) {}

    // Incomplete codes are accepted (a single distance code is common);
    // their unused patterns decode as invalid.
    Status<Error> build(const std::uint8_t* lengths, unsigned count,
                        std::uint32_t (*makeEntry)(unsigned)) {
        std::array<unsigned, kMaxCodeBits + 1> perLength{};
        for (unsigned s = 0; s < count; ++s)
            ++perLength[lengths[s]];
        perLength[0] = 0;

        int left = 1;
        unsigned longest = 0;
        for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
            left = left * 2 - static_cast<int>(perLength[len]);
            if (left < 0) return Failure{Error::OversubscribedCode};
            if (perLength[len]) longest = len;
        }

        primaryBits_ = std::max(1u, std::min(maxPrimaryBits_, longest));
        const std::size_t primarySize = std::size_t{1} << primaryBits_;
        std::fill_n(table_, primarySize, kInvalid);
        if (longest == 0) return {};
        const unsigned subBits = longest > primaryBits_ ? longest - primaryBits_ : 0;
        const std::size_t subSize = std::size_t{1} << subBits;
        std::size_t nextSub = primarySize;

        // Symbols sorted by code length, then by value: canonical order.
        std::array<unsigned, kMaxCodeBits + 2> offsets{};
        for (unsigned len = 1; len <= kMaxCodeBits; ++len)
            offsets[len + 1] = offsets[len] + perLength[len];
        std::array<std::uint16_t, kMaxLitLenSymbols> sorted{};
        for (unsigned s = 0; s < count; ++s)
            if (lengths[s]) sorted[offsets[lengths[s]]++] = static_cast<std::uint16_t>(s);

        unsigned code = 0;
        unsigned index = 0;
        for (unsigned len = 1; len <= longest; ++len) {
            for (unsigned n = 0; n < perLength[len]; ++n, ++code) {
                const std::uint32_t e = makeEntry(sorted[index++]) | len;
                // Codes are stored most significant bit first but read from
                // the low end of the bit buffer, so the index is reversed.
                const unsigned reversed = reverseBits(code, len);
                if (len <= primaryBits_) {
                    for (std::size_t i = reversed; i < primarySize; i += std::size_t{1} << len)
                        table_[i] = e;
                    continue;
                }
                const unsigned prefix = reversed & static_cast<unsigned>(primarySize - 1);
                if (!(table_[prefix] & kSubtable)) {
                    table_[prefix] =
                        entry(static_cast<std::uint32_t>(nextSub), subBits, kSubtable) |
                        primaryBits_;
                    std::fill_n(table_ + nextSub, subSize, kInvalid);
                    nextSub += subSize;
                }
                std::uint32_t* sub = table_ + entryValue(table_[prefix]);
                const unsigned rest = reversed >> primaryBits_;
                for (std::size_t i = rest; i < subSize; i += std::size_t{1} << (len - primaryBits_))
                    sub[i] = e;
            }
            code <<= 1;
        }
        return {};
    }

    // The entry for the code at the bottom of bits (at least 15 valid bits).
    std::uint32_t lookup(std::uint64_t bits) const {
        std::uint32_t e = table_[bits & ((std::uint64_t{1} << primaryBits_) - 1)];
        if (e & kSubtable) [[unlikely]]
            e = table_[entryValue(e) +
                       ((bits >> primaryBits_) & ((std::uint64_t{1} << extraBits(e)) - 1))];
        return e;
    }

private:
    static unsigned reverseBits(unsigned code, unsigned len) {
        unsigned out = 0;
        for (unsigned i = 0; i < len; ++i) {
            out = (out << 1) | (code & 1);
            code >>= 1;
        }
        return out;
    }

    std::uint32_t* table_;
    unsigned maxPrimaryBits_;
    unsigned primaryBits_ = 1;
};

struct Tables {
    std::array<std::uint32_t, tableCapacity(kLitLenPrimaryBits, kMaxLitLenSymbols)> litLen;
    std::array<std::uint32_t, tableCapacity(kDistPrimaryBits, kMaxDistSymbols)> dist;
    std::array<std::uint32_t, tableCapacity(kPrecodePrimaryBits, kPrecodeSymbols)> precode;
    std::array<std::uint32_t, tableCapacity(kLitLenPrimaryBits, kMaxLitLenSymbols)> fixedLitLen;
    std::array<std::uint32_t, tableCapacity(kDistPrimaryBits, kMaxDistSymbols)> fixedDist;
};

// The farthest a match reaches back.
constexpr std::size_t kWindow = 32768;
// Output gathered before it is handed on; the window is kept in front of it.
constexpr std::size_t kStretch = 128 * 1024;
// The most one turn of the decoding loop writes: two literals and a match
// of 258 bytes whose eight-byte copy may run seven bytes past its end.
constexpr std::size_t kTurnRoom = 288;

class StreamInflater {
public:
    StreamInflater(InflateInput& input, InflateOutput& output)
        : input_(input), output_(output), tables_(std::make_unique<Tables>()),
          window_(std::make_unique_for_overwrite<std::uint8_t[]>(kWindow + kStretch)),
          litLen_(tables_->litLen.data(), kLitLenPrimaryBits),
          dist_(tables_->dist.data(), kDistPrimaryBits),
          precode_(tables_->precode.data(), kPrecodePrimaryBits),
          fixedLitLen_(tables_->fixedLitLen.data(), kLitLenPrimaryBits),
          fixedDist_(tables_->fixedDist.data(), kDistPrimaryBits) {
        outStart_ = window_.get();
        out_ = outStart_;
        handed_ = outStart_;
        outEnd_ = outStart_ + kWindow + kStretch;
    }

    Result<std::uint64_t, Error> run() {
        // The zlib header, skipped unread.
        std::array<std::uint8_t, 2> header{};
        VELMORA_TRY(readBytes(header.data(), header.size()));
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
                return Failure{Error::BadBlockType};
            }
        }
        VELMORA_TRY(handOn());
        if (stopped_) return Failure{Error::Stopped};
        return slid_ + static_cast<std::uint64_t>(out_ - outStart_);
    }

private:
    // Moves to the next non-empty piece of input; at the end of the data
    // (or a stop) the input stays empty.
    void nextPiece() {
        while (!ended_) {
            std::span<const std::uint8_t> piece;
            if (!input_.next(piece)) {
                stopped_ = true;
                ended_ = true;
            } else if (piece.empty()) {
                ended_ = true;
            } else {
                in_ = piece.data();
                inEnd_ = piece.data() + piece.size();
                return;
            }
        }
    }

    // Keeps at least 56 bits in the buffer, as the whole-buffer inflater
    // does: past the end of the data it feeds zero bytes and counts them.
    void refill() {
        if (inEnd_ - in_ >= 8) [[likely]] {
            bits_ |= velmora::loadU64le(in_) << bitCount_;
            in_ += (63 - bitCount_) >> 3;
            bitCount_ |= 56;
            return;
        }
        // Bits above the count are either zero or the very bytes that come
        // next (the wide load above leaves them), so OR-ing bytes in one at
        // a time stays right across pieces.
        while (bitCount_ <= 56) {
            if (in_ == inEnd_) nextPiece();
            if (in_ < inEnd_)
                bits_ |= std::uint64_t{*in_++} << bitCount_;
            else
                phantomBits_ += 8;
            bitCount_ += 8;
        }
    }
    std::uint64_t peek(unsigned n) const { return bits_ & ((std::uint64_t{1} << n) - 1); }
    void drop(unsigned n) {
        bits_ >>= n;
        bitCount_ -= n;
    }
    std::uint64_t take(unsigned n) {
        const std::uint64_t v = peek(n);
        drop(n);
        return v;
    }
    Status<Error> checkTruncation() const {
        if (stopped_) [[unlikely]]
            return Failure{Error::Stopped};
        if (bitCount_ < phantomBits_) [[unlikely]]
            return Failure{Error::TruncatedInput};
        return {};
    }

    // Whole bytes at a byte boundary: first those still in the bit buffer,
    // then straight from the input.
    Status<Error> readBytes(std::uint8_t* to, std::size_t n) {
        while (n > 0 && bitCount_ >= phantomBits_ + 8) {
            *to++ = static_cast<std::uint8_t>(bits_);
            drop(8);
            --n;
        }
        if (n == 0) return {};
        if (phantomBits_ != 0) return Failure{stopped_ ? Error::Stopped : Error::TruncatedInput};
        bits_ = 0;
        bitCount_ = 0;
        while (n > 0) {
            if (in_ == inEnd_) nextPiece();
            if (in_ == inEnd_) return Failure{stopped_ ? Error::Stopped : Error::TruncatedInput};
            const std::size_t part = std::min(n, static_cast<std::size_t>(inEnd_ - in_));
            std::memcpy(to, in_, part);
            to += part;
            in_ += part;
            n -= part;
        }
        return {};
    }

    // Hands the output not yet handed on to the output.
    Status<Error> handOn() {
        if (out_ == handed_) return {};
        if (!output_.take({handed_, out_})) {
            stopped_ = true;
            return Failure{Error::Stopped};
        }
        handed_ = out_;
        return {};
    }

    // Hands the output on and moves the window to the front, making room.
    Status<Error> makeRoom() {
        VELMORA_TRY(handOn());
        const std::size_t keep = std::min(static_cast<std::size_t>(out_ - outStart_), kWindow);
        const std::size_t gone = static_cast<std::size_t>(out_ - outStart_) - keep;
        std::memmove(outStart_, out_ - keep, keep);
        slid_ += gone;
        out_ = outStart_ + keep;
        handed_ = out_;
        return {};
    }

    Status<Error> storedBlock() {
        drop(bitCount_ & 7);
        std::array<std::uint8_t, 4> lengths{};
        VELMORA_TRY(readBytes(lengths.data(), lengths.size()));
        std::size_t len = velmora::loadU16le(lengths.data());
        const unsigned nlen = velmora::loadU16le(lengths.data() + 2);
        if (len != (~nlen & 0xFFFFu)) return Failure{Error::StoredLengthMismatch};
        while (len > 0) {
            if (out_ == outEnd_) VELMORA_TRY(makeRoom());
            const std::size_t part = std::min(len, static_cast<std::size_t>(outEnd_ - out_));
            VELMORA_TRY(readBytes(out_, part));
            out_ += part;
            len -= part;
        }
        return {};
    }

    Status<Error> buildFixed() {
        std::array<std::uint8_t, kMaxLitLenSymbols> lengths{};
        std::fill(lengths.begin(), lengths.begin() + 144, 8);
        std::fill(lengths.begin() + 144, lengths.begin() + 256, 9);
        std::fill(lengths.begin() + 256, lengths.begin() + 280, 7);
        std::fill(lengths.begin() + 280, lengths.end(), 8);
        VELMORA_TRY(fixedLitLen_.build(lengths.data(), kMaxLitLenSymbols, litLenEntry));
        std::array<std::uint8_t, kMaxDistSymbols> distLengths;
        distLengths.fill(5);
        return fixedDist_.build(distLengths.data(), kMaxDistSymbols, distEntry);
    }

    Status<Error> readDynamicTables() {
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
            if (e & kInvalid) return Failure{Error::BadCodeLengths};
            drop(codeBits(e));
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
                repeat = 3 + static_cast<unsigned>(take(2));
            } else if (symbol == 17) {
                repeat = 3 + static_cast<unsigned>(take(3));
            } else {
                repeat = 11 + static_cast<unsigned>(take(7));
            }
            if (repeat > total - n) return Failure{Error::BadCodeLengths};
            std::fill_n(lengths.begin() + n, repeat, value);
            n += repeat;
        }
        VELMORA_TRY(checkTruncation());
        VELMORA_TRY(litLen_.build(lengths.data(), hlit, litLenEntry));
        return dist_.build(lengths.data() + hlit, hdist, distEntry);
    }

    Status<Error> huffmanBlock(const HuffmanTable& litLen, const HuffmanTable& dist) {
        for (;;) {
            // One check a turn instead of one a byte: the turn below writes
            // at most kTurnRoom bytes.
            if (static_cast<std::size_t>(outEnd_ - out_) < kTurnRoom) [[unlikely]]
                VELMORA_TRY(makeRoom());
            refill();
            std::uint32_t e = litLen.lookup(bits_);
            if (e & kLiteral) {
                // A refill leaves bits for three codes of up to 15 bits.
                drop(codeBits(e));
                *out_++ = static_cast<std::uint8_t>(entryValue(e));
                e = litLen.lookup(bits_);
                if (e & kLiteral) {
                    drop(codeBits(e));
                    *out_++ = static_cast<std::uint8_t>(entryValue(e));
                    e = litLen.lookup(bits_);
                    if (e & kLiteral) {
                        drop(codeBits(e));
                        *out_++ = static_cast<std::uint8_t>(entryValue(e));
                        VELMORA_TRY(checkTruncation());
                        continue;
                    }
                }
                VELMORA_TRY(checkTruncation());
                // e was decoded from at least 15 valid bits; a refill only
                // adds bits above them, so it stays right.
                refill();
            }
            if (e & (kEndOfBlock | kInvalid)) [[unlikely]] {
                if (e & kInvalid) return Failure{Error::InvalidSymbol};
                drop(codeBits(e));
                return checkTruncation();
            }
            // A length code: at most 15 + 5 bits, then a distance of at most
            // 15 + 13 bits; 56 buffered bits cover both.
            drop(codeBits(e));
            const std::size_t length = entryValue(e) + take(extraBits(e));
            const std::uint32_t d = dist.lookup(bits_);
            if (d & kInvalid) [[unlikely]]
                return Failure{Error::InvalidSymbol};
            drop(codeBits(d));
            const std::size_t distance = entryValue(d) + take(extraBits(d));
            VELMORA_TRY(checkTruncation());
            // Once the window has moved, a whole window lies behind out_.
            if (distance > static_cast<std::size_t>(out_ - outStart_)) [[unlikely]]
                return Failure{Error::DistanceTooFar};
            copyMatch(length, distance);
        }
    }

    // Copies a match; overlapping copies repeat the data, as LZ77 means.
    // The turn's room lets every copy run up to seven bytes long.
    void copyMatch(std::size_t length, std::size_t distance) {
        const std::uint8_t* src = out_ - distance;
        std::uint8_t* const end = out_ + length;
        if (distance >= 8) {
            std::uint8_t* dst = out_;
            do {
                std::memcpy(dst, src, 8);
                dst += 8;
                src += 8;
            } while (dst < end);
        } else if (distance == 1) {
            std::memset(out_, *src, length);
        } else {
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

    InflateInput& input_;
    InflateOutput& output_;
    const std::uint8_t* in_ = nullptr;
    const std::uint8_t* inEnd_ = nullptr;
    bool ended_ = false;
    bool stopped_ = false;
    std::uint64_t bits_ = 0;
    unsigned bitCount_ = 0;
    unsigned phantomBits_ = 0;
    std::unique_ptr<Tables> tables_;
    std::unique_ptr<std::uint8_t[]> window_;
    std::uint8_t* outStart_ = nullptr;
    std::uint8_t* out_ = nullptr;
    std::uint8_t* outEnd_ = nullptr;
    std::uint8_t* handed_ = nullptr; // output before this went to output_
    std::uint64_t slid_ = 0;         // output moved out of the window
    HuffmanTable litLen_;
    HuffmanTable dist_;
    HuffmanTable precode_;
    HuffmanTable fixedLitLen_;
    HuffmanTable fixedDist_;
    bool fixedBuilt_ = false;
};

} // namespace

Result<std::uint64_t, StreamInflateError> InflateZlibStream(InflateInput& input,
                                                            InflateOutput& output) {
    return StreamInflater(input, output).run();
}

} // namespace codecs
