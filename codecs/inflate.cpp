#include "codecs/inflate.h"

#include "codecs/inflate_core.h"
#include "platform/util/byte_reader.h"

#include <cstring>

namespace codecs {
namespace {

using velmora::Failure;
using velmora::Result;
using namespace inflate_core;

class Inflater {
public:
    Inflater(std::span<const std::uint8_t> in, std::span<std::uint8_t> out)
        : in_(in.data()), inEnd_(in.data() + in.size()), outStart_(out.data()), out_(out.data()),
          outEnd_(out.data() + out.size()) {}

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
                tables_.buildFixed();
                VELMORA_TRY(huffmanBlock(tables_.fixedLitLen, tables_.fixedDist));
                break;
            case 2:
                VELMORA_TRY(readDynamicTables<InflateError>(*this, tables_));
                VELMORA_TRY(huffmanBlock(tables_.litLen, tables_.dist));
                break;
            default:
                return Failure{InflateError::BadBlockType};
            }
        }
        return static_cast<std::size_t>(out_ - outStart_);
    }

    // The bit reader readDynamicTables() uses.
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
    std::uint64_t bits() const { return bits_; }
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

private:
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

    velmora::Status<InflateError> huffmanBlock(const LitLenTable& litLen, const DistTable& dist) {
        std::size_t runLength = 0;
        if (inEnd_ - in_ >= kFastInputMargin && outEnd_ - out_ >= kFastOutputMargin) {
            FastCursor cursor{in_, out_, bits_, bitCount_};
            const FastEnd end = fastLoop(litLen, dist, cursor, inEnd_ - kFastInputMargin,
                                         outEnd_ - kFastOutputMargin, outStart_, runLength);
            if (end == FastEnd::InvalidSymbol) return Failure{InflateError::InvalidSymbol};
            if (end == FastEnd::DistanceTooFar) return Failure{InflateError::DistanceTooFar};
            in_ = cursor.in;
            out_ = cursor.out;
            bits_ = cursor.bits;
            bitCount_ = cursor.count;
            if (end == FastEnd::EndOfBlock) return {};
        }
        return carefulLoop(litLen, dist, 3 - static_cast<unsigned>(runLength % 3));
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
            out_ = copyMatch(out_, length, distance, room);
        }
    }

    const std::uint8_t* in_;
    const std::uint8_t* inEnd_;
    std::uint8_t* outStart_;
    std::uint8_t* out_;
    std::uint8_t* outEnd_;
    std::uint64_t bits_ = 0;
    unsigned bitCount_ = 0;
    unsigned phantomBits_ = 0;
    CodeTables tables_;
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
