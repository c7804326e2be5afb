#include "codecs/cpngparser.h"

#include "codecs/imaging_decode.h"
#include "codecs/inflate_stream.h"
#include "platform/util/byte_reader.h"
#include "platform/util/png_signature.h"
#include "platform/zlib/zlib_binding.h"
#include "surface/dib_surface.h"

#include <algorithm>
#include <array>
#include <climits>
#include <optional>
#include <utility>
#include <vector>

namespace {

using codecs::PngError;
using codecs::png::PngImage;
using velmora::Failure;
using velmora::loadU32be;
using velmora::Result;
using velmora::Status;
namespace png = codecs::png;

using velmora::kPngSignature;

constexpr std::uint32_t chunkTag(const char (&name)[5]) {
    return (std::uint32_t(std::uint8_t(name[0])) << 24) |
           (std::uint32_t(std::uint8_t(name[1])) << 16) |
           (std::uint32_t(std::uint8_t(name[2])) << 8) | std::uint32_t(std::uint8_t(name[3]));
}
constexpr std::uint32_t kIHDR = chunkTag("IHDR");
constexpr std::uint32_t kPLTE = chunkTag("PLTE");
constexpr std::uint32_t kTRNS = chunkTag("tRNS");
constexpr std::uint32_t kIDAT = chunkTag("IDAT");
constexpr std::uint32_t kIEND = chunkTag("IEND");

bool hasSignature(std::span<const std::uint8_t> bytes) {
    return velmora::startsWithPngSignature(bytes);
}

struct Chunk {
    std::uint32_t type = 0;
    std::span<const std::uint8_t> typeAndData; // what the CRC covers
    std::span<const std::uint8_t> data;
    std::uint32_t storedCrc = 0;
};

// The running end of the chunks read so far: every chunk must end within
// the data, and the sum of the lengths must stay a 32-bit signed value.
Result<std::uint32_t, PngError> advanceEnd(std::uint64_t end, std::uint32_t length,
                                           std::uint64_t total) {
    if (length > static_cast<std::uint32_t>(INT32_MAX)) return Failure{PngError::BadChunkLength};
    const std::uint64_t next = end + length + 12;
    if (next > static_cast<std::uint64_t>(INT32_MAX)) return Failure{PngError::LengthsOverflow};
    if (next > total) return Failure{PngError::TruncatedChunk};
    return static_cast<std::uint32_t>(next);
}

// Chunks of data in memory, read in place.
class MemoryChunks {
public:
    explicit MemoryChunks(std::span<const std::uint8_t> data) : data_(data) {}

    Result<Chunk, PngError> next() {
        // Data that stops right after a chunk, without IEND, has no length
        // field to read; a few stray bytes fail the running-end test.
        if (pos_ == data_.size()) return Failure{PngError::EndsWithoutIend};
        if (data_.size() - pos_ < 4) return Failure{PngError::TruncatedChunk};
        const std::uint32_t length = loadU32be(&data_[pos_]);
        auto end = advanceEnd(pos_, length, data_.size());
        if (!end) return Failure{end.error()};
        Chunk chunk;
        chunk.type = loadU32be(&data_[pos_ + 4]);
        chunk.typeAndData = data_.subspan(pos_ + 4, std::size_t{length} + 4);
        chunk.data = data_.subspan(pos_ + 8, length);
        chunk.storedCrc = loadU32be(&data_[pos_ + 8 + length]);
        pos_ = *end;
        return chunk;
    }

private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = kPngSignature.size();
};

// Chunks read one at a time from an open file; only the current chunk is
// held in memory. The file is read in blocks rather than a few bytes at a
// time, as most chunks are small. For a streaming decode (a binding given)
// a long IDAT comes in pieces of a block, each as an IDAT of its own, so
// not even one chunk is held whole; its CRC, where zlib can check it, is
// checked at its last piece, and a mismatch fails that call (the streaming
// decode then gives up, and the whole decode reads the chunk again).
class FileChunks {
public:
    FileChunks(platform::File& file, std::uint64_t total,
               const platform::ZlibBinding* pieces = nullptr)
        : file_(file), total_(total), pieces_(pieces) {}

    Result<Chunk, PngError> next() {
        if (pieceLeft_ > 0) return nextPiece();
        std::array<std::uint8_t, 4> word{};
        if (total_ - pos_ < 4) return Failure{PngError::TruncatedChunk};
        if (!readExact(word)) return Failure{PngError::ReadFailed};
        const std::uint32_t length = loadU32be(word.data());
        // Checked against the file size before anything is allocated, so a
        // length field cannot ask for more memory than the file holds.
        auto end = advanceEnd(pos_, length, total_);
        if (!end) return Failure{end.error()};
        std::array<std::uint8_t, 4> type{};
        if (!readExact(type)) return Failure{PngError::ReadFailed};
        if (pieces_ && loadU32be(type.data()) == kIDAT && length > kBlock) {
            pieceLeft_ = length;
            pieceEnd_ = *end;
            if (pieces_->available()) runningCrc_ = pieces_->crc32(type);
            return nextPiece();
        }
        const std::size_t typeAndData = std::size_t{length} + 4;
        if (chunk_.size() < typeAndData) chunk_.resize(typeAndData);
        const std::span<std::uint8_t> target(chunk_.data(), typeAndData);
        std::copy(type.begin(), type.end(), target.begin());
        if (!readExact(target.subspan(4)) || !readExact(word)) return Failure{PngError::ReadFailed};
        Chunk chunk;
        chunk.type = loadU32be(target.data());
        chunk.typeAndData = target;
        chunk.data = target.subspan(4);
        chunk.storedCrc = loadU32be(word.data());
        pos_ = *end;
        return chunk;
    }

private:
    static constexpr std::size_t kBlock = 64 * 1024;

    // False when the file ends or fails first.
    bool readExact(std::span<std::uint8_t> out) {
        while (!out.empty()) {
            if (at_ == filled_) {
                // What fills a block or more goes straight to its place.
                if (out.size() >= kBlock)
                    return file_.read(out) == static_cast<std::int64_t>(out.size());
                if (block_.empty()) block_.resize(kBlock);
                const std::int64_t got = file_.read(block_);
                if (got <= 0) return false;
                at_ = 0;
                filled_ = static_cast<std::size_t>(got);
            }
            const std::size_t part = std::min(out.size(), filled_ - at_);
            std::copy_n(block_.begin() + static_cast<std::ptrdiff_t>(at_), part, out.begin());
            at_ += part;
            out = out.subspan(part);
        }
        return true;
    }

    // The next piece of a long IDAT; a stored CRC of 0 tells the reader
    // there is none to check, as this one is checked here.
    Result<Chunk, PngError> nextPiece() {
        const std::size_t n = std::min<std::size_t>(pieceLeft_, kBlock);
        if (chunk_.size() < n) chunk_.resize(n);
        const std::span<std::uint8_t> piece(chunk_.data(), n);
        if (!readExact(piece)) return Failure{PngError::ReadFailed};
        pieceLeft_ -= n;
        if (pieces_->available()) runningCrc_ = pieces_->crc32(piece, runningCrc_);
        if (pieceLeft_ == 0) {
            std::array<std::uint8_t, 4> word{};
            if (!readExact(word)) return Failure{PngError::ReadFailed};
            const std::uint32_t stored = loadU32be(word.data());
            if (pieces_->available() && stored != 0 && stored != runningCrc_)
                return Failure{PngError::CrcMismatch};
            pos_ = pieceEnd_;
        }
        Chunk chunk;
        chunk.type = kIDAT;
        chunk.data = piece;
        return chunk;
    }

    platform::File& file_;
    std::uint64_t total_;
    const platform::ZlibBinding* pieces_;
    std::uint64_t pos_ = kPngSignature.size();
    std::uint64_t pieceLeft_ = 0; // of the IDAT being read in pieces
    std::uint64_t pieceEnd_ = 0;
    std::uint32_t runningCrc_ = 0;
    std::vector<std::uint8_t> chunk_;
    std::vector<std::uint8_t> block_; // read ahead of the chunks
    std::size_t at_ = 0;
    std::size_t filled_ = 0;
};

class ChunkReader {
public:
    ChunkReader(PngImage& image, const platform::ZlibBinding& zlib, std::uint64_t total)
        : image_(image), zlib_(zlib), total_(total) {}

    template <typename Source>
    Status<PngError> readAll(Source& source) {
        for (;;) {
            auto chunk = source.next();
            if (!chunk) return Failure{chunk.error()};
            const Chunk& c = *chunk;
            if (c.type == kIEND) return {};
            if (c.data.empty()) continue;
            // No chunk order is enforced: a later IHDR, PLTE or tRNS replaces
            // an earlier one, and IDATs join whatever lies between them.
            if (c.type == kIDAT) {
                VELMORA_TRY(imageData(c));
            } else {
                VELMORA_TRY(description(c));
            }
        }
    }

    // IHDR, PLTE and tRNS; anything else, critical or not, is skipped unread.
    Status<PngError> description(const Chunk& c) {
        if (c.type == kIHDR) return header(c);
        if (c.type == kPLTE) return palette(c);
        if (c.type == kTRNS) transparency(c);
        return {};
    }

    // CRCs are checked only where zlib supplies crc32; a stored CRC of 0 is
    // taken as "not given".
    bool crcMatches(const Chunk& c) const {
        if (!zlib_.available() || c.storedCrc == 0) return true;
        return zlib_.crc32(c.typeAndData) == c.storedCrc;
    }

private:
    Status<PngError> header(const Chunk& c) {
        if (!crcMatches(c)) return Failure{PngError::CrcMismatch};
        if (c.data.size() < 13) return Failure{PngError::BadHeader};
        png::Header h;
        h.width = static_cast<std::int32_t>(loadU32be(&c.data[0]));
        h.height = static_cast<std::int32_t>(loadU32be(&c.data[4]));
        h.bitDepth = c.data[8];
        h.colourType = c.data[9];
        h.interlace = c.data[12];
        if (h.width < 1 || h.height < 1) return Failure{PngError::BadHeader};
        if (c.data[10] != 0 || c.data[11] != 0) return Failure{PngError::BadHeader};
        const auto d = h.bitDepth;
        if (d != 1 && d != 2 && d != 4 && d != 8 && d != 16) return Failure{PngError::BadHeader};
        const auto t = h.colourType;
        if (t != 0 && t != 2 && t != 3 && t != 4 && t != 6) return Failure{PngError::BadHeader};
        if (h.interlace > 1) return Failure{PngError::BadHeader};
        // Room for 32 bits per pixel in 32-bit signed arithmetic, the limit
        // of the surface.
        // (Asked as a division: the product of two 31-bit sides can pass 63 bits.)
        if (std::int64_t{h.width} * 32 > INT32_MAX / h.height)
            return Failure{PngError::ImageTooLarge};
        const auto expected = png::ExpectedInflatedSize(h);
        if (!expected) return Failure{PngError::ImageTooLarge};
        image_.header = h;
        image_.hasHeader = true;
        image_.expectedSize = *expected;
        return {};
    }

    Status<PngError> palette(const Chunk& c) {
        const auto t = image_.header.colourType;
        if (t != png::kRgb && t != png::kPalette && t != png::kRgba) return {};
        if (!crcMatches(c)) return Failure{PngError::CrcMismatch};
        if (c.data.size() % 3 != 0) return Failure{PngError::BadPalette};
        image_.palette.emplace(c.data.begin(), c.data.end());
        return {};
    }

    // Transparency is a nicety: a damaged tRNS leaves the image opaque
    // rather than losing it.
    void transparency(const Chunk& c) {
        const auto t = image_.header.colourType;
        if (t != png::kGrey && t != png::kRgb && t != png::kPalette) return;
        if (!crcMatches(c)) return;
        auto& trns = image_.transparency;
        trns.assign(c.data.begin(), c.data.end());
        image_.transparentKey = -1;
        if (t == png::kGrey) {
            if (trns.size() >= 2) image_.transparentKey = trns[1];
        } else if (t == png::kRgb) {
            if (trns.size() >= 6)
                image_.transparentKey = (trns[1] << 16) | (trns[3] << 8) | trns[5];
        } else {
            if (trns.size() < 256) trns.resize(256, 255);
            image_.transparentKey = 0;
        }
    }

    Status<PngError> imageData(const Chunk& c) {
        if (!crcMatches(c)) return Failure{PngError::CrcMismatch};
        auto& data = image_.imageData;
        // The image data cannot exceed the chunks that hold it, so one
        // reservation of the whole size serves every IDAT without moving the
        // bytes again; pages never written are never touched.
        if (data.capacity() == 0) data.reserve(static_cast<std::size_t>(total_));
        data.insert(data.end(), c.data.begin(), c.data.end());
        return {};
    }

    PngImage& image_;
    const platform::ZlibBinding& zlib_;
    std::uint64_t total_;
};

// The image data as our own inflater pulls it: the IDATs' data in order,
// other chunks skipped. A chunk that would make a whole decode come out
// differently (see decodeStreaming) or cannot be read stops the decode.
template <typename Source>
class ImageDataInput final : public codecs::InflateInput {
public:
    ImageDataInput(Source& source, const ChunkReader& reader, std::span<const std::uint8_t> first)
        : source_(source), reader_(reader), first_(first) {}

    bool next(std::span<const std::uint8_t>& piece) override {
        if (!first_.empty()) {
            piece = std::exchange(first_, {});
            return true;
        }
        piece = {};
        if (ended_) return true;
        for (;;) {
            auto chunk = source_.next();
            if (!chunk) return false;
            const Chunk& c = *chunk;
            if (c.type == kIEND) {
                ended_ = true;
                return true;
            }
            if (c.data.empty()) continue;
            if (c.type == kIDAT) {
                if (!reader_.crcMatches(c)) return false;
                piece = c.data;
                return true;
            }
            if (c.type == kIHDR || c.type == kPLTE || c.type == kTRNS) return false;
        }
    }
    // Reads on to IEND once the inflater has stopped, judging the chunks
    // that follow the stream's final block as next() does.
    bool readToEnd() {
        std::span<const std::uint8_t> piece;
        do {
            if (!next(piece)) return false;
        } while (!piece.empty());
        return true;
    }

private:
    Source& source_;
    const ChunkReader& reader_;
    std::span<const std::uint8_t> first_;
    bool ended_ = false;
};

class RowOutput final : public codecs::InflateOutput {
public:
    explicit RowOutput(png::RowStream& rows) : rows_(rows) {}
    bool take(std::span<const std::uint8_t> bytes) override { return rows_.take(bytes); }

private:
    png::RowStream& rows_;
};

// The usual decode of a plain image streams: every IDAT goes through the
// inflater to the rows as it is read, through zlib when it is at hand and
// through our own inflater on a system without zlib. Anything that would
// make a whole decode come out differently (a later IHDR, PLTE or tRNS
// changing what earlier data meant, a damaged chunk, a stream only our own
// inflater accepts) gives the streaming up; false then, and the caller
// decodes again from the first chunk.
template <typename Source>
bool decodeStreaming(Source& source, const platform::ZlibBinding& zlib, std::uint64_t total,
                     surface::DibSurface& host) {
    // A zlib without the streaming entries still inflates whole data, as
    // DecodePixels does; only a system without zlib uses our inflater.
    const bool withZlib = zlib.canStream();
    if (!withZlib && zlib.available()) return false;
    PngImage image;
    ChunkReader reader(image, zlib, total);
    std::optional<png::RowStream> rows;
    std::span<const std::uint8_t> firstData; // valid until the source reads on
    for (;;) {
        auto chunk = source.next();
        if (!chunk) return false;
        const Chunk& c = *chunk;
        if (c.type == kIEND) return rows && rows->finish();
        if (c.data.empty()) continue;
        if (c.type == kIDAT) {
            if (!reader.crcMatches(c)) return false;
            if (!rows) {
                rows.emplace(image, withZlib ? &zlib : nullptr, host);
                if (!rows->start()) return false;
                if (!withZlib) {
                    firstData = c.data;
                    break;
                }
            }
            if (!rows->feed(c.data)) return false;
        } else if (c.type == kIHDR || c.type == kPLTE || c.type == kTRNS) {
            if (rows || !reader.description(c)) return false;
        }
    }
    // Our own inflater pulls the rest of the data from here on.
    ImageDataInput<Source> input(source, reader, firstData);
    RowOutput output(*rows);
    if (!codecs::InflateZlibStream(input, output)) return false;
    if (!input.readToEnd()) return false;
    return rows->finish();
}

// makeSource(pieces) gives the chunks from the first one on, each time it is
// called; for the streaming decode with the binding that may check pieces.
template <typename MakeSource>
PngError decodeOwn(MakeSource makeSource, std::uint64_t total, surface::DibSurface& host) {
    const platform::ZlibBinding zlib = platform::ZlibBinding::bind();
    {
        auto source = makeSource(&zlib);
        if (!source) return PngError::ReadFailed;
        if (decodeStreaming(*source, zlib, total, host)) return PngError::None;
        host.DestroyDIB();
    }
    auto source = makeSource(nullptr);
    if (!source) return PngError::ReadFailed;
    PngImage image;
    ChunkReader reader(image, zlib, total);
    Status<PngError> status = reader.readAll(*source);
    if (status) status = png::DecodePixels(image, zlib, host);
    if (status) return PngError::None;
    host.DestroyDIB();
    return status.error();
}

} // namespace

bool cPNGparser::LoadStream(std::span<const std::uint8_t> Stream, surface::DibSurface& cHost,
                            std::int32_t streamOffset, std::int32_t streamLength,
                            std::int32_t gdiToken) {
    error_ = PngError::None;
    const std::size_t start = std::min<std::size_t>(std::max(streamOffset, 0), Stream.size());
    std::size_t length = Stream.size() - start;
    if (streamLength > 0) length = std::min<std::size_t>(length, streamLength);
    const auto view = Stream.subspan(start, length);
    if (!hasSignature(view)) return false;

    // The imaging service is asked whatever the surface's own setting is.
    if (codecs::LoadWithImagingService({}, view, cHost, gdiToken)) return true;
    error_ = decodeOwn(
        [view](const platform::ZlibBinding*) {
            return std::optional<MemoryChunks>(std::in_place, view);
        },
        view.size(), cHost);
    // A failure that leaves the reader leaves its answer unsaid: the data
    // counts as not recognised.
    return !codecs::LeavesReader(error_);
}

bool cPNGparser::LoadFile(platform::File& fileHandle, const std::string& FileName,
                          surface::DibSurface& cHost, std::int32_t gdiToken) {
    error_ = PngError::None;
    if (fileHandle.seek(0, platform::SeekOrigin::Begin) != 0) return false;
    const std::int64_t total = fileHandle.size();
    std::array<std::uint8_t, 58> head{};
    const std::int64_t got = fileHandle.read(head);
    if (total < 0 || got < 0) return false;
    if (!hasSignature(std::span(head).first(static_cast<std::size_t>(got)))) return false;

    if (codecs::LoadWithImagingService(FileName, {}, cHost, gdiToken)) return true;
    const auto size = static_cast<std::uint64_t>(total);
    error_ = decodeOwn(
        [&fileHandle, size](const platform::ZlibBinding* pieces) -> std::optional<FileChunks> {
            constexpr auto start = static_cast<std::int64_t>(kPngSignature.size());
            if (fileHandle.seek(start, platform::SeekOrigin::Begin) != start) return std::nullopt;
            return std::optional<FileChunks>(std::in_place, fileHandle, size, pieces);
        },
        size, cHost);
    if (error_ != PngError::None) cHost.DestroyDIB();
    return !codecs::LeavesReader(error_);
}
