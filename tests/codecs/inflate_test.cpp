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

// Matches of every period from 1 to 20 bytes and of every length, between
// stretches of noise: each kind of match copy the decoder has.
Bytes periodic(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes out;
    while (out.size() < size) {
        const std::size_t run = 1 + rng() % 300;
        const std::size_t period = std::min<std::size_t>(1 + rng() % 20, out.size());
        for (std::size_t i = 0; i < run; ++i)
            out.push_back(period == 0 || rng() % 4 == 0 ? static_cast<std::uint8_t>(rng())
                                                        : out[out.size() - period]);
    }
    out.resize(size);
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

// The decoder runs a fast loop while both buffers have room to spare and a
// careful one near their ends; wherever the output or the input ends, the
// bytes and the verdict are the same.
TEST(Inflate, DecodesAlikeWhereverTheBuffersEnd) {
    for (const std::size_t size : {1u, 40u, 277u, 290u, 1000u, 4099u, 30000u}) {
        for (unsigned seed = 0; seed < 6; ++seed) {
            const Bytes raw = periodic(size, seed);
            for (const int strategy : {Z_DEFAULT_STRATEGY, Z_RLE, Z_FIXED}) {
                const int level = static_cast<int>(1 + seed % 3 * 4);
                const Bytes packed = deflateWith(raw, level, strategy);
                const auto where = [&] {
                    return testing::Message()
                           << "size " << size << " seed " << seed << " strategy " << strategy;
                };
                for (const std::size_t room : {size - 1, size, size + 1, size + 15, size + 300}) {
                    Bytes out(room, 0xA5);
                    const auto r = InflateZlib(packed, out);
                    if (room < size) {
                        ASSERT_FALSE(r) << where() << " room " << room;
                        EXPECT_EQ(r.error(), InflateError::OutputFull) << where();
                        continue;
                    }
                    ASSERT_TRUE(r)
                        << where() << " room " << room << ": " << codecs::ErrorText(r.error());
                    EXPECT_EQ(*r, size) << where();
                    EXPECT_TRUE(std::equal(raw.begin(), raw.end(), out.begin()))
                        << where() << " room " << room;
                }
                // Cut anywhere in its last bytes, the stream ends inside its
                // final block.
                Bytes out(size);
                const std::size_t end = packed.size() - 4;
                for (std::size_t cut = end > 40 ? end - 40 : 0; cut < end; ++cut)
                    EXPECT_FALSE(InflateZlib(std::span(packed).first(cut), out))
                        << where() << " cut at " << cut;
            }
        }
    }
}

// Bad codes and distances met deep inside a block, where the fast loop
// decodes, are refused as they are at the start.
TEST(Inflate, RefusesBadCodesAfterLongRunsOfLiterals) {
    struct Fault {
        const char* what;
        void (*write)(BitWriter&);
        InflateError error;
    };
    const Fault faults[] = {
        {"literal/length symbol 286", [](BitWriter& w) { w.code(0xC6, 8); },
         InflateError::InvalidSymbol},
        {"distance symbol 30",
         [](BitWriter& w) {
             w.code(1, 7);  // length 3
             w.code(30, 5); // no such distance
         },
         InflateError::InvalidSymbol},
        {"distance past the start",
         [](BitWriter& w) {
             w.code(1, 7);  // length 3
             w.code(29, 5); // distance 24577 + ...
             w.bits(0, 13);
         },
         InflateError::DistanceTooFar},
    };
    for (const Fault& fault : faults) {
        for (const int literals : {0, 1, 2, 3, 200}) {
            BitWriter w;
            w.bits(1, 1), w.bits(1, 2);
            for (int i = 0; i < literals; ++i)
                w.code(0x30 + 'a' + i % 26, 8);
            fault.write(w);
            w.code(0, 7);                // end of block
            for (int i = 0; i < 40; ++i) // input to spare
                w.bits(0, 8);
            Bytes out(2000);
            const auto r = InflateRaw(w.done(), out);
            ASSERT_FALSE(r) << fault.what << " after " << literals << " literals";
            EXPECT_EQ(r.error(), fault.error) << fault.what << " after " << literals;
        }
    }
}

} // namespace
