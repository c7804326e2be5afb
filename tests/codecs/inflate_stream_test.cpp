#include "codecs/inflate.h"
#include "codecs/inflate_stream.h"
#include "png_builder.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <zlib.h>

namespace {

using codecs::InflateZlib;
using codecs::InflateZlibStream;
using codecs::StreamInflateError;
using testpng::Bytes;

// The data in pieces of a fixed size; stops instead of giving the piece
// numbered stopAt.
class Pieces final : public codecs::InflateInput {
public:
    Pieces(const Bytes& data, std::size_t size, std::size_t stopAt = SIZE_MAX)
        : data_(data), size_(size), stopAt_(stopAt) {}
    bool next(std::span<const std::uint8_t>& piece) override {
        if (count_++ == stopAt_) return false;
        const std::size_t n = std::min(size_, data_.size() - at_);
        piece = std::span(data_).subspan(at_, n);
        at_ += n;
        return true;
    }

private:
    const Bytes& data_;
    std::size_t size_;
    std::size_t stopAt_;
    std::size_t at_ = 0;
    std::size_t count_ = 0;
};

// Collects the output; stops once it would pass the limit.
class Collect final : public codecs::InflateOutput {
public:
    explicit Collect(std::size_t limit) : limit_(limit) {}
    bool take(std::span<const std::uint8_t> bytes) override {
        stretches.push_back(bytes.size());
        if (bytes.size() > limit_ - out.size()) return false;
        out.insert(out.end(), bytes.begin(), bytes.end());
        return true;
    }
    Bytes out;
    std::vector<std::size_t> stretches; // the size of every take(), in order

private:
    std::size_t limit_;
};

Bytes sample(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes out(size);
    // Repeats near and far (some beyond what one stretch of output holds),
    // so matches reach across the window's moves.
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned r = rng() % 100;
        if (r < 30 && i > 300)
            out[i] = out[i - 1 - rng() % 300];
        else if (r < 40 && i > 30000)
            out[i] = out[i - 1 - rng() % 30000];
        else if (r < 50 && i > 0)
            out[i] = out[i - 1];
        else
            out[i] = static_cast<std::uint8_t>("abcdefghij \n"[rng() % 12]);
    }
    return out;
}

Bytes deflateWith(const Bytes& raw, int level, int strategy) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, 15, 8, strategy);
    Bytes out(deflateBound(&z, static_cast<uLong>(raw.size())));
    z.next_in = const_cast<Bytef*>(raw.data());
    z.avail_in = static_cast<uInt>(raw.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// The streaming inflater must answer as the whole-buffer one does with an
// output buffer of `limit` bytes: the same success, the same bytes.
void expectAgreement(const Bytes& stream, std::size_t limit, std::size_t pieceSize) {
    Bytes whole(limit);
    const auto expected = InflateZlib(stream, whole);
    Pieces input(stream, pieceSize);
    Collect output(limit);
    const auto got = InflateZlibStream(input, output);
    ASSERT_EQ(got.ok(), expected.ok()) << "pieces of " << pieceSize;
    if (!got) return;
    ASSERT_EQ(*got, *expected);
    whole.resize(*expected);
    EXPECT_EQ(output.out, whole) << "pieces of " << pieceSize;
}

TEST(InflateStream, DecodesWhatZlibWritesInAnyPieces) {
    const Bytes raw = sample(400000, 11);
    for (const int strategy : {Z_DEFAULT_STRATEGY, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED}) {
        for (const int level : {0, 1, 6, 9}) {
            SCOPED_TRACE("level " + std::to_string(level) + " strategy " +
                         std::to_string(strategy));
            const Bytes packed = deflateWith(raw, level, strategy);
            for (const std::size_t pieces :
                 {std::size_t{1}, std::size_t{7}, std::size_t{8192}, packed.size()}) {
                Pieces input(packed, pieces);
                Collect output(raw.size());
                const auto n = InflateZlibStream(input, output);
                ASSERT_TRUE(n) << "pieces of " << pieces;
                EXPECT_EQ(*n, raw.size());
                EXPECT_TRUE(output.out == raw) << "pieces of " << pieces;
            }
        }
    }
}

// Damage of every kind (cut short, bytes changed, blocks malformed, more
// output than wanted) fails or succeeds exactly where the whole-buffer
// inflater does.
TEST(InflateStream, AgreesWithTheWholeBufferInflaterOnDamagedStreams) {
    const Bytes raw = sample(60000, 5);
    std::vector<Bytes> streams{testpng::zlibCompress(raw), deflateWith(raw, 1, Z_FIXED),
                               testpng::storedZlib(raw), testpng::storedZlib(raw, true),
                               testpng::storedZlib(raw, false, true)};
    // Blocks of every malformed kind, after a zlib header.
    for (const Bytes& blocks : std::vector<Bytes>{{0x07}, {0x03, 0x00}, {0x05, 0x80, 0x24}}) {
        Bytes stream{0x78, 0x01};
        stream.insert(stream.end(), blocks.begin(), blocks.end());
        streams.push_back(stream);
    }
    std::mt19937 rng(3);
    const Bytes base = deflateWith(raw, 6, Z_DEFAULT_STRATEGY);
    for (int i = 0; i < 300; ++i) {
        Bytes damaged = base;
        for (int flips = 0; flips < 1 + i % 3; ++flips)
            damaged[rng() % damaged.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        streams.push_back(damaged);
    }
    for (std::size_t cut = 0; cut < base.size(); cut += base.size() / 40 + 1)
        streams.emplace_back(base.begin(), base.begin() + static_cast<std::ptrdiff_t>(cut));
    streams.push_back(Bytes{0x78});

    for (std::size_t i = 0; i < streams.size(); ++i) {
        SCOPED_TRACE("stream " + std::to_string(i));
        for (const std::size_t limit : {raw.size(), raw.size() - 1, std::size_t{1} << 20})
            for (const std::size_t pieces : {std::size_t{5}, std::size_t{4096}})
                expectAgreement(streams[i], limit, pieces);
    }
}

// Where a piece of input ends decides whether the fast loop or the careful
// turns decode, which must not show: over streams long enough for the
// window to move, sound or damaged, every cut into pieces gives the same
// fault as the whole-buffer inflater and hands the output on in the same
// stretches.
TEST(InflateStream, PiecesChangeNeitherTheFaultNorTheStretches) {
    const Bytes raw = sample(400000, 13);
    std::vector<Bytes> streams{deflateWith(raw, 6, Z_DEFAULT_STRATEGY),
                               deflateWith(raw, 1, Z_FIXED), deflateWith(raw, 9, Z_RLE)};
    std::mt19937 rng(17);
    for (int i = 0; i < 60; ++i) {
        Bytes damaged = streams[static_cast<std::size_t>(i) % 3];
        damaged[rng() % damaged.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        if (i % 4 == 3) damaged.resize(rng() % damaged.size());
        streams.push_back(damaged);
    }
    const std::map<codecs::InflateError, StreamInflateError> same{
        {codecs::InflateError::TruncatedInput, StreamInflateError::TruncatedInput},
        {codecs::InflateError::BadBlockType, StreamInflateError::BadBlockType},
        {codecs::InflateError::StoredLengthMismatch, StreamInflateError::StoredLengthMismatch},
        {codecs::InflateError::BadCodeLengths, StreamInflateError::BadCodeLengths},
        {codecs::InflateError::OversubscribedCode, StreamInflateError::OversubscribedCode},
        {codecs::InflateError::InvalidSymbol, StreamInflateError::InvalidSymbol},
        {codecs::InflateError::DistanceTooFar, StreamInflateError::DistanceTooFar}};
    const std::size_t room = std::size_t{1} << 22;
    for (std::size_t i = 0; i < streams.size(); ++i) {
        SCOPED_TRACE("stream " + std::to_string(i));
        Bytes whole(room);
        const auto expected = InflateZlib(streams[i], whole);
        if (!expected && expected.error() == codecs::InflateError::OutputFull) continue;
        // Byte by byte, the fast loop never runs.
        Pieces slowInput(streams[i], 1);
        Collect slow(room);
        const auto slowResult = InflateZlibStream(slowInput, slow);
        for (const std::size_t pieces :
             {std::size_t{33}, std::size_t{4096}, std::size_t{65536}, streams[i].size()}) {
            SCOPED_TRACE("pieces of " + std::to_string(pieces));
            Pieces input(streams[i], pieces);
            Collect output(room);
            const auto got = InflateZlibStream(input, output);
            ASSERT_EQ(got.ok(), expected.ok());
            if (got)
                EXPECT_EQ(*got, *expected);
            else
                EXPECT_EQ(got.error(), same.at(expected.error()));
            EXPECT_EQ(got.ok(), slowResult.ok());
            EXPECT_EQ(output.stretches, slow.stretches);
            EXPECT_TRUE(output.out == slow.out);
        }
    }
}

TEST(InflateStream, StopsWhenTheInputOrTheOutputSaysSo) {
    const Bytes raw = sample(300000, 9);
    const Bytes packed = testpng::zlibCompress(raw);
    {
        Pieces input(packed, 1000, 3);
        Collect output(raw.size());
        const auto r = InflateZlibStream(input, output);
        ASSERT_FALSE(r);
        EXPECT_EQ(r.error(), StreamInflateError::Stopped);
    }
    {
        Pieces input(packed, 1000);
        Collect output(1000);
        const auto r = InflateZlibStream(input, output);
        ASSERT_FALSE(r);
        EXPECT_EQ(r.error(), StreamInflateError::Stopped);
    }
}

} // namespace
