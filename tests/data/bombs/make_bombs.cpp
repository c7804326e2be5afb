// Writes the decompression bombs the imaging library must refuse cheaply
// into the folder named on the command line: for each format the smallest
// header declaring the largest picture the default pixel limit allows,
// scans cut short (at the end of the data and at a marker), arithmetic-coded
// zeros and a lossless WebP that hold a whole flat picture, a JPEG whose
// 999 cheap scans each revisit the whole picture, TIFF strip tables that
// promise more than the file holds, and a blank fax page.
//   make_bombs FOLDER

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
// jpeglib.h needs size_t and FILE declared first.
#include <filesystem>
#include <fstream>
#include <jpeglib.h>
#include <random>
#include <string>
#include <tiffio.h>
#include <vector>
#include <zlib.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

// 23170 x 23170 is the largest square within 2^31 / 4 pixels.
constexpr std::uint32_t kSide = 23170;

void put16be(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v >> 8));
    b.push_back(static_cast<std::uint8_t>(v));
}
void put32be(Bytes& b, std::uint32_t v) {
    put16be(b, v >> 16);
    put16be(b, v & 0xFFFF);
}
void put16le(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32le(Bytes& b, std::uint32_t v) {
    put16le(b, v & 0xFFFF);
    put16le(b, v >> 16);
}

// --- JPEG ----------------------------------------------------------------------

void segment(Bytes& b, std::uint8_t marker, const Bytes& payload) {
    b.push_back(0xFF);
    b.push_back(marker);
    put16be(b, static_cast<std::uint32_t>(payload.size() + 2));
    b.insert(b.end(), payload.begin(), payload.end());
}

Bytes greyFrame(std::uint8_t sof) {
    Bytes b = {0xFF, 0xD8};
    Bytes dqt = {0x00};
    dqt.resize(65, 1);
    segment(b, 0xDB, dqt);
    Bytes frame = {8};
    put16be(frame, kSide);
    put16be(frame, kSide);
    frame.insert(frame.end(), {1, 1, 0x11, 0});
    segment(b, sof, frame);
    return b;
}

// A Huffman table of one symbol with a one-bit code.
void oneSymbolTable(Bytes& b, std::uint8_t classAndId, std::uint8_t symbol) {
    Bytes t = {classAndId, 1};
    t.resize(17, 0);
    t.push_back(symbol);
    segment(b, 0xC4, t);
}

void scanHeader(Bytes& b, int ss, int se) {
    segment(b, 0xDA,
            {1, 1, 0x00, static_cast<std::uint8_t>(ss), static_cast<std::uint8_t>(se), 0x00});
}

// Entropy-coded bits, most significant first, with 0xFF stuffed and the
// last byte padded with ones.
class BitWriter {
public:
    explicit BitWriter(Bytes& out) : out_(out) {}
    void put(std::uint32_t bits, int count) {
        for (int i = count - 1; i >= 0; --i) {
            acc_ = static_cast<std::uint8_t>(acc_ << 1 | (bits >> i & 1));
            if (++filled_ == 8) flushByte();
        }
    }
    void finish() {
        while (filled_ != 0)
            put(1, 1);
    }

private:
    void flushByte() {
        out_.push_back(acc_);
        if (acc_ == 0xFF) out_.push_back(0x00);
        acc_ = 0;
        filled_ = 0;
    }
    Bytes& out_;
    std::uint8_t acc_ = 0;
    int filled_ = 0;
};

constexpr std::uint64_t kBlocks = std::uint64_t{(kSide + 7) / 8} * ((kSide + 7) / 8);

Bytes jpegHeaderOnly(std::uint8_t sof) {
    Bytes b = greyFrame(sof);
    if (sof == 0xC0) {
        oneSymbolTable(b, 0x00, 0x00);
        oneSymbolTable(b, 0x10, 0x00);
    }
    scanHeader(b, 0, 63);
    b.insert(b.end(), {0x00, 0x00, 0x00, 0x00, 0xFF, 0xD9});
    return b;
}

// An arithmetic-coded scan of a few hundred zero bytes: the coder may
// spend as little as 2^-15 bit a block, so these could in theory carry the
// whole picture, and libjpeg reads on past them without complaint. A
// sequential scan codes every coefficient whatever band its header names.
Bytes jpegArithmeticFlat(int ss) {
    Bytes b = greyFrame(0xC9);
    scanHeader(b, ss, 63);
    b.resize(b.size() + 256, 0x00);
    b.insert(b.end(), {0xFF, 0xD9});
    return b;
}

// A progressive file whose DC scan sends every block for a bit, followed by
// 999 AC scans of end-of-band runs of 32767 blocks each: about 1.5 MB that
// make libjpeg visit 8.4 million blocks a thousand times.
Bytes jpegScanBomb() {
    Bytes b = greyFrame(0xC2);
    oneSymbolTable(b, 0x00, 0x00);
    oneSymbolTable(b, 0x10, 0xE0);
    segment(b, 0xDA, {1, 1, 0x00, 0, 0, 0x00});
    {
        BitWriter w(b);
        for (std::uint64_t i = 0; i < kBlocks; ++i)
            w.put(0, 1);
        w.finish();
    }
    for (int scan = 0; scan < 999; ++scan) {
        scanHeader(b, 1, 63);
        BitWriter w(b);
        for (std::uint64_t done = 0; done < kBlocks; done += 32767) {
            w.put(0, 1);       // EOB14
            w.put(0x3FFF, 14); // run 16384 + 16383
        }
        w.finish();
    }
    b.insert(b.end(), {0xFF, 0xD9});
    return b;
}

// Noise, so every byte of the scan carries picture, then cut.
Bytes jpegNoise() {
    constexpr int kSize = 512;
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&c, &out, &outSize);
    c.image_width = kSize;
    c.image_height = kSize;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::mt19937 random(26);
    std::vector<std::uint8_t> row(kSize * 3);
    while (c.next_scanline < c.image_height) {
        for (auto& v : row)
            v = static_cast<std::uint8_t>(random());
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    Bytes bytes(out, out + outSize);
    jpeg_destroy_compress(&c);
    std::free(out);
    return bytes;
}

// --- PNG -----------------------------------------------------------------------

void chunk(Bytes& b, const char* type, const Bytes& data) {
    put32be(b, static_cast<std::uint32_t>(data.size()));
    const std::size_t from = b.size();
    b.insert(b.end(), type, type + 4);
    b.insert(b.end(), data.begin(), data.end());
    put32be(b, static_cast<std::uint32_t>(
                   crc32(0, b.data() + from, static_cast<uInt>(b.size() - from))));
}

Bytes deflated(const Bytes& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes out(size);
    compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 9);
    out.resize(size);
    return out;
}

Bytes png(std::uint32_t side, const Bytes& idat) {
    Bytes b = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes ihdr;
    put32be(ihdr, side);
    put32be(ihdr, side);
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});
    chunk(b, "IHDR", ihdr);
    chunk(b, "IDAT", idat);
    chunk(b, "IEND", {});
    return b;
}

Bytes pngShortData() {
    constexpr std::uint32_t kSize = 512;
    Bytes raw;
    std::mt19937 random(26);
    for (std::uint32_t y = 0; y < kSize; ++y) {
        raw.push_back(0);
        for (std::uint32_t x = 0; x < kSize * 4; ++x)
            raw.push_back(static_cast<std::uint8_t>(random()));
    }
    Bytes z = deflated(raw);
    z.resize(z.size() / 2);
    return png(kSize, z);
}

// --- TIFF ----------------------------------------------------------------------

struct Entry {
    std::uint16_t tag;
    std::uint16_t type; // 3 SHORT, 4 LONG
    std::uint32_t count;
    std::uint32_t value; // or offset
};

// A little-endian grey TIFF of kSide x kSide with the entries given; the
// directory follows the header, `tail` follows the directory.
Bytes tiff(const std::vector<Entry>& strips, std::uint16_t compression, std::uint32_t rowsPerStrip,
           const Bytes& tail) {
    std::vector<Entry> entries = {
        {256, 4, 1, kSide},        {257, 4, 1, kSide}, {258, 3, 1, 8},
        {259, 3, 1, compression},  {262, 3, 1, 1},     {277, 3, 1, 1},
        {278, 4, 1, rowsPerStrip},
    };
    entries.insert(entries.end(), strips.begin(), strips.end());
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
    Bytes b = {'I', 'I', 42, 0};
    put32le(b, 8);
    put16le(b, static_cast<std::uint32_t>(entries.size()));
    for (const Entry& e : entries) {
        put16le(b, e.tag);
        put16le(b, e.type);
        put32le(b, e.count);
        if (e.type == 3 && e.count == 1) {
            put16le(b, e.value);
            put16le(b, 0);
        } else {
            put32le(b, e.value);
        }
    }
    put32le(b, 0);
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
}

std::uint32_t directoryEnd(std::size_t entries) {
    return static_cast<std::uint32_t>(8 + 2 + 12 * (7 + entries) + 4);
}

// One strip declared as big as the whole picture, uncompressed.
Bytes tiffStripBeyondFile() {
    const std::uint32_t data = directoryEnd(2);
    return tiff({{273, 4, 1, data}, {279, 4, 1, kSide * kSide}}, 1, kSide, Bytes(16, 0));
}

// A strip a row, the tables pointing past the end of the file.
Bytes tiffStripTableBeyondFile() {
    return tiff({{273, 4, kSide, 0x7FFFFF00u}, {279, 4, kSide, 0x7FFFFFF0u}}, 1, 1, {});
}

// A strip a row, every one the same ten Deflate bytes: far too little for
// the picture however well it packs.
Bytes tiffStripsTooShort() {
    const std::uint32_t offsets = directoryEnd(2);
    const std::uint32_t counts = offsets + 4 * kSide;
    const std::uint32_t data = counts + 4 * kSide;
    Bytes tail;
    for (std::uint32_t i = 0; i < kSide; ++i)
        put32le(tail, data);
    for (std::uint32_t i = 0; i < kSide; ++i)
        put32le(tail, 10);
    const Bytes z = deflated(Bytes(kSide, 0));
    tail.insert(tail.end(), z.begin(), z.end());
    tail.resize(tail.size() + 16, 0);
    return tiff({{273, 4, kSide, offsets}, {279, 4, kSide, counts}}, 8, 1, tail);
}

// A blank page of 23170 x 23170 in Group 4 fax coding, which codes each
// white row in one bit: a valid picture of 2 GB in 3 KB, written by libtiff.
void writeBlankFaxPage(const std::filesystem::path& path) {
    TIFF* t = TIFFOpen(path.c_str(), "w");
    if (t == nullptr) std::exit(1);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kSide);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, kSide);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, kSide);
    std::vector<std::uint8_t> row((kSide + 7) / 8, 0);
    for (std::uint32_t y = 0; y < kSide; ++y)
        if (TIFFWriteScanline(t, row.data(), y, 0) != 1) std::exit(1);
    TIFFClose(t);
}

// --- WebP ----------------------------------------------------------------------

// A lossy key frame of 16383 x 16383 in a few dozen bytes.
Bytes webpHeaderOnly() {
    Bytes frame;
    const std::uint32_t firstPartition = 1;
    const std::uint32_t tag = 0 /* key frame */ | 0 << 1 | 1 << 4 | firstPartition << 5;
    frame.push_back(static_cast<std::uint8_t>(tag));
    frame.push_back(static_cast<std::uint8_t>(tag >> 8));
    frame.push_back(static_cast<std::uint8_t>(tag >> 16));
    frame.insert(frame.end(), {0x9D, 0x01, 0x2A});
    put16le(frame, 16383);
    put16le(frame, 16383);
    frame.resize(frame.size() + 10, 0);
    Bytes b = {'R', 'I', 'F', 'F'};
    put32le(b, static_cast<std::uint32_t>(4 + 8 + frame.size()));
    b.insert(b.end(), {'W', 'E', 'B', 'P', 'V', 'P', '8', ' '});
    put32le(b, static_cast<std::uint32_t>(frame.size()));
    b.insert(b.end(), frame.begin(), frame.end());
    return b;
}

// A lossless canvas of 16383 x 16383 whose five prefix codes each have a
// single symbol, so that every pixel costs no bit at all: a whole, valid
// (flat) picture in 68 bytes.
Bytes webpLosslessFlat() {
    Bytes frame = {0x2F};
    std::uint64_t bits = 0;
    int count = 0;
    const auto put = [&](std::uint64_t value, int n) {
        bits |= value << count;
        count += n;
    };
    put(16383 - 1, 14);
    put(16383 - 1, 14);
    put(0, 1 + 3); // no alpha, version 0
    put(0, 3);     // no transform, no colour cache, no meta prefix codes
    for (int code = 0; code < 5; ++code)
        put(1, 4); // simple code: one symbol of one bit, symbol 0
    for (; count > 0; count -= 8, bits >>= 8)
        frame.push_back(static_cast<std::uint8_t>(bits));
    frame.resize(frame.size() + 40, 0);
    Bytes b = {'R', 'I', 'F', 'F'};
    put32le(b, static_cast<std::uint32_t>(4 + 8 + frame.size()));
    b.insert(b.end(), {'W', 'E', 'B', 'P', 'V', 'P', '8', 'L'});
    put32le(b, static_cast<std::uint32_t>(frame.size()));
    b.insert(b.end(), frame.begin(), frame.end());
    return b;
}

void write(const std::filesystem::path& folder, const std::string& name, const Bytes& bytes) {
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_bombs FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);

    write(folder, "jpeg-header-only.jpg", jpegHeaderOnly(0xC0));
    write(folder, "jpeg-arithmetic-header-only.jpg", jpegHeaderOnly(0xC9));
    write(folder, "jpeg-arithmetic-flat.jpg", jpegArithmeticFlat(0));
    write(folder, "jpeg-arithmetic-flat-band-1.jpg", jpegArithmeticFlat(1));
    write(folder, "jpeg-999-scans.jpg", jpegScanBomb());
    Bytes noise = jpegNoise();
    noise.resize(noise.size() * 3 / 5);
    write(folder, "jpeg-scan-cut-at-end.jpg", noise);
    noise.insert(noise.end(), {0xFF, 0xD9});
    write(folder, "jpeg-scan-cut-at-marker.jpg", noise);

    write(folder, "png-header-only.png", png(kSide, deflated(Bytes(64, 0))));
    write(folder, "png-image-data-cut.png", pngShortData());

    write(folder, "tiff-strip-beyond-file.tif", tiffStripBeyondFile());
    write(folder, "tiff-strip-tables-beyond-file.tif", tiffStripTableBeyondFile());
    write(folder, "tiff-strips-too-short.tif", tiffStripsTooShort());
    writeBlankFaxPage(folder / "tiff-blank-fax-page.tif");

    write(folder, "webp-header-only.webp", webpHeaderOnly());
    write(folder, "webp-lossless-flat.webp", webpLosslessFlat());
    return 0;
}
