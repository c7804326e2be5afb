#pragma once
// Our own DEFLATE decoder, for systems without zlib and for streams zlib
// refuses (a corrupt Adler-32 trailer, for one). It writes into a caller's
// buffer of fixed size and never past it: PNG knows how many bytes its rows
// take, so that size bounds the work a hostile stream can cause.

#include "platform/util/result.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace codecs {

enum class InflateError {
    TruncatedInput,       // the data ended inside a block
    OutputFull,           // the stream produces more than the buffer holds
    BadBlockType,         // block type 3
    StoredLengthMismatch, // a stored block whose NLEN is not the complement of LEN
    BadCodeLengths,       // a dynamic header that cannot describe a code
    OversubscribedCode,   // more codes of some length than the length allows
    InvalidSymbol,        // a bit pattern no code was assigned to, or a symbol out of range
    DistanceTooFar,       // a match reaching back before the start of the output
};

std::string_view ErrorText(InflateError error);

// Decodes raw DEFLATE data into out; the number of bytes written. Bytes of
// out past that count may have been written over (bytes are copied in
// whole words), and on failure out holds no meaningful data.
velmora::Result<std::size_t, InflateError> InflateRaw(std::span<const std::uint8_t> in,
                                                      std::span<std::uint8_t> out);

// Decodes a zlib stream. The two header bytes are skipped unread and the
// Adler-32 trailer is not checked: the caller has its own integrity checks
// (PNG's chunk CRCs) and takes what the blocks produce.
velmora::Result<std::size_t, InflateError> InflateZlib(std::span<const std::uint8_t> in,
                                                       std::span<std::uint8_t> out);

} // namespace codecs
