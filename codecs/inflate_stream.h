#pragma once
// Our own DEFLATE decoder for data that arrives in pieces, handing its
// output on in pieces: it holds the 32 KiB window a match may reach back
// into and a stretch of output, never the whole input or output. A PNG
// decode without zlib streams its rows through it as the zlib path streams
// through zlib's inflate.
//
// It accepts exactly what InflateZlib accepts and produces the same bytes:
// the zlib header is skipped unread, the Adler-32 trailer and whatever
// follows the final block are not read.

#include "platform/util/result.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace codecs {

enum class StreamInflateError {
    Stopped,              // the input or the output asked to stop
    TruncatedInput,       // the data ended inside a block
    BadBlockType,         // block type 3
    StoredLengthMismatch, // a stored block whose NLEN is not the complement of LEN
    BadCodeLengths,       // a dynamic header that cannot describe a code
    OversubscribedCode,   // more codes of some length than the length allows
    InvalidSymbol,        // a bit pattern no code was assigned to, or a symbol out of range
    DistanceTooFar,       // a match reaching back before the start of the output
};

// Where the compressed data comes from.
class InflateInput {
public:
    virtual ~InflateInput() = default;
    // The next piece of data, empty at the end of the data; false to stop
    // the decode. A piece stays valid until the next call.
    virtual bool next(std::span<const std::uint8_t>& piece) = 0;
};

// Where the output goes, in order.
class InflateOutput {
public:
    virtual ~InflateOutput() = default;
    // False to stop the decode.
    virtual bool take(std::span<const std::uint8_t> bytes) = 0;
};

// Decodes a zlib stream from input to output; the number of bytes produced.
// The input may be read a few bytes beyond the stream's final block. There
// is no limit on the output: the output's take() says when it has enough.
velmora::Result<std::uint64_t, StreamInflateError> InflateZlibStream(InflateInput& input,
                                                                     InflateOutput& output);

} // namespace codecs
