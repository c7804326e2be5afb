#include "codecs/inflate.h"
#include "png_builder.h"

#include <gtest/gtest.h>
#include <random>
#include <zlib.h>

namespace {

using codecs::InflateError;
using codecs::InflateRaw;
using codecs::InflateZlib;
using testpng::Bytes;

// Writes DEFLATE bits: plain fields least significant bit first, Huffman
// codes most significant bit first.
class BitWriter {
public:
    void bits(std::uint32_t value, unsigned n) {
        for (unsigned i = 0; i < n; ++i)
            bit((value >> i) & 1);
    }
    void code(std::uint32_t value, unsigned n) {
        for (unsigned i = n; i-- > 0;)
            bit((value >> i) & 1);
    }
    Bytes done() const { return out_; }

private:
    void bit(unsigned b) {
        if (used_ == 0) out_.push_back(0);
        out_.back() |= static_cast<std::uint8_t>(b << used_);
        used_ = (used_ + 1) & 7;
    }
    Bytes out_;
    unsigned used_ = 0;
};

Bytes sample(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes out(size);
    // Text-like data with repeats near and far, so every code path runs.
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned r = rng() % 100;
        if (r < 40 && i > 300)
            out[i] = out[i - 1 - rng() % 300];
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

TEST(Inflate, DecodesWhatZlibWritesAtEveryLevelAndStrategy) {
    const Bytes raw = sample(200000, 7);
    for (const int strategy : {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED}) {
        for (int level = 0; level <= 9; ++level) {
            const Bytes packed = deflateWith(raw, level, strategy);
            Bytes out(raw.size());
            const auto n = InflateZlib(packed, out);
            ASSERT_TRUE(n) << "level " << level << " strategy " << strategy << ": "
                           << codecs::ErrorText(n.error());
            EXPECT_EQ(*n, raw.size());
            EXPECT_EQ(out, raw) << "level " << level << " strategy " << strategy;
        }
    }
}

TEST(Inflate, IsBoundedByTheOutputAndTheInput) {
    const Bytes raw = sample(5000, 3);
    const Bytes packed = testpng::zlibCompress(raw);
    Bytes small(raw.size() - 1);
    const auto full = InflateZlib(packed, small);
    ASSERT_FALSE(full);
    EXPECT_EQ(full.error(), InflateError::OutputFull);

    // A stream cut anywhere before its last block ends fails; only the
    // Adler-32 trailer may be missing.
    Bytes out(raw.size());
    for (std::size_t cut = 0; cut + 4 < packed.size(); cut += 7) {
        const auto r = InflateZlib(std::span(packed).first(cut), out);
        EXPECT_FALSE(r) << "cut at " << cut;
    }
    EXPECT_TRUE(InflateZlib(std::span(packed).first(packed.size() - 4), out));
}

TEST(Inflate, IgnoresTheAdlerTrailer) {
    const Bytes raw = sample(1000, 5);
    Bytes out(raw.size());
    const auto r = InflateZlib(testpng::storedZlib(raw, false, true), out);
    ASSERT_TRUE(r);
    EXPECT_EQ(out, raw);
}

TEST(Inflate, RejectsMalformedBlocks) {
    Bytes out(1000);
    const auto expectError = [&](const Bytes& raw, InflateError error) {
        const auto r = InflateRaw(raw, out);
        ASSERT_FALSE(r);
        EXPECT_EQ(r.error(), error) << codecs::ErrorText(r.error());
    };

    expectError({0x07}, InflateError::BadBlockType); // final, type 3

    Bytes stored = testpng::storedZlib(Bytes(10, 'x'), true);
    expectError(Bytes(stored.begin() + 2, stored.end()), InflateError::StoredLengthMismatch);

    { // four precode lengths of 1: more codes than one bit can tell apart
        BitWriter w;
        w.bits(1, 1), w.bits(2, 2), w.bits(0, 5), w.bits(0, 5), w.bits(0, 4);
        for (int i = 0; i < 4; ++i)
            w.bits(1, 3);
        expectError(w.done(), InflateError::OversubscribedCode);
    }
    { // "repeat the previous length" before any length
        BitWriter w;
        w.bits(1, 1), w.bits(2, 2), w.bits(0, 5), w.bits(0, 5), w.bits(0, 4);
        for (const unsigned len : {1, 0, 0, 1})
            w.bits(len, 3); // symbols 16, 17, 18, 0
        w.code(1, 1);       // symbol 16
        w.bits(0, 2);
        expectError(w.done(), InflateError::BadCodeLengths);
    }
    { // zero runs beyond HLIT + HDIST lengths
        BitWriter w;
        w.bits(1, 1), w.bits(2, 2), w.bits(0, 5), w.bits(0, 5), w.bits(0, 4);
        for (const unsigned len : {0, 0, 1, 1})
            w.bits(len, 3);           // 18 and 0 have codes
        w.code(1, 1), w.bits(127, 7); // 138 zeros
        w.code(1, 1), w.bits(127, 7); // 138 more: past 258
        expectError(w.done(), InflateError::BadCodeLengths);
    }
    { // a match before any output
        BitWriter w;
        w.bits(1, 1), w.bits(1, 2);
        w.code(1, 7); // length 3
        w.code(0, 5); // distance 1
        w.code(0, 7); // end of block
        expectError(w.done(), InflateError::DistanceTooFar);
    }
}

TEST(Inflate, OverlappingMatchesRepeatTheData) {
    BitWriter w;
    w.bits(1, 1), w.bits(1, 2);
    w.code(0x30 + 'a', 8); // literal 'a'
    w.code(0x30 + 'b', 8); // literal 'b'
    w.code(8, 7);          // symbol 264: length 10
    w.code(1, 5);          // distance 2
    w.code(0, 7);          // end of block
    Bytes out(12);
    const auto r = InflateRaw(w.done(), out);
    ASSERT_TRUE(r);
    EXPECT_EQ(*r, 12u);
    EXPECT_EQ(std::string(out.begin(), out.end()), "abababababab");
}

} // namespace
