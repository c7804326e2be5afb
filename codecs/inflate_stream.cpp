#include "codecs/inflate_stream.h"

#include "codecs/inflate_core.h"
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
using namespace inflate_core;

// The farthest a match reaches back.
constexpr std::size_t kWindow = 32768;
// Output gathered before it is handed on; the window is kept in front of it.
constexpr std::size_t kStretch = 128 * 1024;
// The room a turn of the careful loop starts with: two literals and a
// match of 258 bytes, whose whole-word copy may run 15 bytes past its end.
constexpr std::size_t kTurnRoom = 288;
// The fast loop stops short of the points where the careful loop alone
// would act otherwise than decode: it leaves the end of a piece of input to
// the careful turns, which ask for the next piece after the same symbol as
// ever (a round reads at most 78 bits past its start; 32 bytes keep it more
// than 56 bits short of the piece's end), and it stops a round of up to 262
// bytes before a turn would make room, so the output goes on in the same
// stretches.
constexpr std::ptrdiff_t kStreamInputMargin = 32;
constexpr std::ptrdiff_t kStreamOutputMargin = kTurnRoom + 262;
static_assert(kStreamInputMargin >= kFastInputMargin &&
              kStreamOutputMargin >= kFastOutputMargin + 262);

class StreamInflater {
public:
    StreamInflater(InflateInput& input, InflateOutput& output)
        : input_(input), output_(output),
          window_(std::make_unique_for_overwrite<std::uint8_t[]>(kWindow + kStretch)) {
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
                tables_.buildFixed();
                VELMORA_TRY(huffmanBlock(tables_.fixedLitLen, tables_.fixedDist));
                break;
            case 2:
                VELMORA_TRY(readDynamicTables<Error>(*this, tables_));
                VELMORA_TRY(huffmanBlock(tables_.litLen, tables_.dist));
                break;
            default:
                return Failure{Error::BadBlockType};
            }
        }
        VELMORA_TRY(handOn());
        if (stopped_) return Failure{Error::Stopped};
        return slid_ + static_cast<std::uint64_t>(out_ - outStart_);
    }

    // The bit reader readDynamicTables() uses.
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
    Status<Error> checkTruncation() const {
        if (stopped_) [[unlikely]]
            return Failure{Error::Stopped};
        if (bitCount_ < phantomBits_) [[unlikely]]
            return Failure{Error::TruncatedInput};
        return {};
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

    // Turn by turn, as the whole-buffer inflater's careful loop goes, with
    // the fast loop taking over at the start of a turn wherever the input
    // and the window have room for it. A turn takes up to three literals
    // after a refill, or up to two and a match, counted from the last
    // match; slots is what is left of the current turn.
    Status<Error> huffmanBlock(const LitLenTable& litLen, const DistTable& dist) {
        unsigned slots = 3;
        for (;;) {
            if (slots == 3) {
                // One check a turn instead of one a byte: a turn writes less
                // than kTurnRoom bytes.
                if (static_cast<std::size_t>(outEnd_ - out_) < kTurnRoom) [[unlikely]]
                    VELMORA_TRY(makeRoom());
                if (inEnd_ - in_ >= kStreamInputMargin && outEnd_ - out_ >= kStreamOutputMargin &&
                    bitCount_ < 64) {
                    FastCursor cursor{in_, out_, bits_, bitCount_};
                    std::size_t runLength = 0;
                    const FastEnd end =
                        fastLoop(litLen, dist, cursor, inEnd_ - kStreamInputMargin,
                                 outEnd_ - kStreamOutputMargin, outStart_, runLength);
                    if (end == FastEnd::InvalidSymbol) return Failure{Error::InvalidSymbol};
                    if (end == FastEnd::DistanceTooFar) return Failure{Error::DistanceTooFar};
                    in_ = cursor.in;
                    out_ = cursor.out;
                    bits_ = cursor.bits;
                    bitCount_ = cursor.count;
                    if (end == FastEnd::EndOfBlock) return {};
                    slots = 3 - static_cast<unsigned>(runLength % 3);
                    if (slots == 3) continue;
                }
            }
            refill();
            std::uint32_t e = litLen.lookup(bits_);
            if (e & kLiteral) {
                // Only the first of a pair: the second has an entry of its own.
                do {
                    drop(firstLiteralBits(e));
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
                // e was decoded from at least 15 valid bits; a refill only
                // adds bits above them, so it stays right.
                refill();
            }
            if (e & (kEndOfBlock | kInvalid)) [[unlikely]] {
                if (e & kInvalid) return Failure{Error::InvalidSymbol};
                drop(codeBits(e));
                return checkTruncation();
            }
            slots = 3;
            const std::size_t length = decodeValue(e, bits_);
            drop(totalBits(e));
            const std::uint32_t d = dist.lookup(bits_);
            if (d & kInvalid) [[unlikely]]
                return Failure{Error::InvalidSymbol};
            const std::size_t distance = decodeValue(d, bits_);
            drop(totalBits(d));
            VELMORA_TRY(checkTruncation());
            // Once the window has moved, a whole window lies behind out_.
            if (distance > static_cast<std::size_t>(out_ - outStart_)) [[unlikely]]
                return Failure{Error::DistanceTooFar};
            out_ = copyMatchFast(out_, length, distance);
        }
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
    CodeTables tables_;
    std::unique_ptr<std::uint8_t[]> window_;
    std::uint8_t* outStart_ = nullptr;
    std::uint8_t* out_ = nullptr;
    std::uint8_t* outEnd_ = nullptr;
    std::uint8_t* handed_ = nullptr; // output before this went to output_
    std::uint64_t slid_ = 0;         // output moved out of the window
};

} // namespace

Result<std::uint64_t, StreamInflateError> InflateZlibStream(InflateInput& input,
                                                            InflateOutput& output) {
    return StreamInflater(input, output).run();
}

} // namespace codecs
