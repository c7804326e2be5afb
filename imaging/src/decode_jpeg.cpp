// JPEG through libjpeg-turbo: baseline and progressive, greyscale, YCbCr
// and RGB straight into BGRA rows, CMYK and YCCK (Adobe's inverted form
// included) converted here.
//
// libjpeg reports errors by a long jump. The functions that set the jump
// point own nothing with a destructor, and every allocation after it comes
// from libjpeg's own pools, released by jpeg_destroy_decompress.

#include "imaging/src/internal.h"
#include "imaging/src/runtime_library.h"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>
#include <memory>
#include <vector>

namespace vimg {
namespace {

// The runtime name of libjpeg-turbo's libjpeg interface.
constexpr const char* kJpegLibrary = "libjpeg.so.62";

// The functions of libjpeg the reader calls.
struct JpegLibrary {
    RuntimeLibrary library;
    decltype(&::jpeg_std_error) jpeg_std_error = nullptr;
    decltype(&::jpeg_CreateDecompress) jpeg_CreateDecompress = nullptr;
    decltype(&::jpeg_destroy_decompress) jpeg_destroy_decompress = nullptr;
    decltype(&::jpeg_mem_src) jpeg_mem_src = nullptr;
    decltype(&::jpeg_read_header) jpeg_read_header = nullptr;
    decltype(&::jpeg_calc_output_dimensions) jpeg_calc_output_dimensions = nullptr;
    decltype(&::jpeg_start_decompress) jpeg_start_decompress = nullptr;
    decltype(&::jpeg_read_scanlines) jpeg_read_scanlines = nullptr;

    explicit JpegLibrary(const char* soname) : library(soname) {}
};

// A progressive file may carry any number of scans, each re-reading the
// whole picture; far more than any encoder writes is refused as damaged.
constexpr int kMaxScans = 1000;
// What all scans together may cost, in blocks decoded, per block of the
// picture. Encoders' progressions visit each block five to twenty times;
// beyond this the scans cost far more than the picture they make.
constexpr std::uint64_t kScanVisitsPerBlock = 32;
// A small picture may spend its scans freely.
constexpr std::uint64_t kScanVisitsFloor = 1u << 20;
// libjpeg's own memory besides the coefficients of a multi-scan file: row
// and colour buffers of a picture at most 65535 pixels wide.
constexpr long kWorkingMemory = 64L << 20;
// The coefficients of a multi-scan file are held whole, 128 bytes a block;
// no more than the largest picture itself (2^31 bytes).
constexpr std::uint64_t kCoefficientCap = std::uint64_t{1} << 31;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    Status status;
    const char* reason;
    bool ours; // the failure was judged here, not by libjpeg
};

[[noreturn]] void onError(j_common_ptr info) {
    auto* err = reinterpret_cast<ErrorManager*>(info->err);
    std::longjmp(err->jump, 1);
}

[[noreturn]] void failWith(j_common_ptr info, Status status, const char* reason) {
    auto* err = reinterpret_cast<ErrorManager*>(info->err);
    err->status = status;
    err->reason = reason;
    err->ours = true;
    onError(info);
}

// Warnings are silent, except those saying the data ended before the
// picture did (at the end of the data or at a marker): libjpeg fills the
// rest grey, but a cut-off file is refused, not shown half grey.
void onMessage(j_common_ptr info, int level) {
    if (level >= 0) return;
    const int code = info->err->msg_code;
    if (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER)
        failWith(info, VELMORA_IMAGING_DAMAGED, "JPEG scan ends before the picture does");
}

void silent(j_common_ptr) {}

void onProgress(j_common_ptr info) {
    auto* d = reinterpret_cast<j_decompress_ptr>(info);
    if (d->input_scan_number > kMaxScans)
        failWith(info, VELMORA_IMAGING_DAMAGED, "JPEG has too many scans");
}

void installErrors(const JpegLibrary& jpeg, ErrorManager& err) {
    jpeg.jpeg_std_error(&err.pub);
    err.pub.error_exit = onError;
    err.pub.emit_message = onMessage;
    err.pub.output_message = silent;
    err.status = VELMORA_IMAGING_DAMAGED;
    err.reason = "JPEG data is malformed";
}

// --- the file's structure, judged before anything is decoded --------------------

struct Component {
    int id = 0;
    int h = 1;
    int v = 1;
};

struct Frame {
    bool seen = false;
    bool progressive = false;
    bool arithmetic = false;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<Component> components;
};

// A verdict on the structure: OK, or a status with its reason.
struct Verdict {
    Status status = VELMORA_IMAGING_OK;
    const char* reason = nullptr;
    std::uint64_t coefficientBytes = 0; // of a multi-scan file
};

Verdict refused(Status status, const char* reason) {
    return {status, reason, 0};
}

std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b) {
    return (a + b - 1) / b;
}

struct Geometry {
    int hmax = 1;
    int vmax = 1;
    std::uint64_t mcusAcross = 0;
    std::uint64_t mcusDown = 0;

    explicit Geometry(const Frame& f) {
        for (const Component& c : f.components) {
            hmax = std::max(hmax, c.h);
            vmax = std::max(vmax, c.v);
        }
        mcusAcross = ceilDiv(f.width, 8u * static_cast<unsigned>(hmax));
        mcusDown = ceilDiv(f.height, 8u * static_cast<unsigned>(vmax));
    }
    std::uint64_t blocksAcross(const Frame& f, const Component& c) const {
        return ceilDiv(ceilDiv(std::uint64_t{f.width} * c.h, hmax), 8);
    }
    std::uint64_t blocksDown(const Frame& f, const Component& c) const {
        return ceilDiv(ceilDiv(std::uint64_t{f.height} * c.v, vmax), 8);
    }
};

std::uint64_t pictureBlocks(const Frame& f) {
    const Geometry g(f);
    std::uint64_t blocks = 0;
    for (const Component& c : f.components)
        blocks += g.blocksAcross(f, c) * g.blocksDown(f, c);
    return blocks;
}

// The fewest bytes of entropy-coded data that can carry `blocks` blocks of
// a scan. Huffman codes are at least a bit long: a sequential block needs
// a DC and an end-of-block code, a progressive DC scan a code (or a
// refinement bit) a block, and an AC scan at least 15 bits for a run of up
// to 32767 empty blocks. The arithmetic coder makes at least one decision
// a block, and its most skewed state, a probability of 1 - 2^-15, spends
// no less than 2^-15 bits on one.
//
// That last bound lets a hundred bytes declare a picture of 2 GB (the
// decoder reads zeros past the end of a scan, which is legal there), and
// an encoder does write a flat picture of millions of blocks in a few
// bytes: such a file cannot be told from a bomb by its data. So a picture
// of more than kArithmeticFreeBlocks blocks needs a byte of data for every
// kArithmeticBlocksPerByte blocks in each scan that codes the DC
// coefficients: a photograph has a hundred times that, and a file padded
// with zeros to pass still cannot make more than 1024 pixels of a byte. A
// flat picture that large is refused with the bombs.
constexpr std::uint64_t kArithmeticFreeBlocks = std::uint64_t{1} << 20;
constexpr std::uint64_t kArithmeticBlocksPerByte = 16;

std::uint64_t leastBytes(const Frame& f, std::uint64_t frameBlocks, bool dcScan,
                         std::uint64_t blocks) {
    if (f.arithmetic) {
        if (dcScan && frameBlocks > kArithmeticFreeBlocks) return blocks / kArithmeticBlocksPerByte;
        return blocks >> 18;
    }
    if (!f.progressive) return blocks / 4;
    if (dcScan) return blocks / 8;
    return blocks * 15 / (8 * 32767);
}

// Walks the markers of the whole file as libjpeg will meet them and judges
// the frame against its scans: each scan must hold at least the bytes its
// blocks need, every component must get its DC coefficients, and the scans
// together may not cost more than kScanVisitsPerBlock visits per block.
Verdict judgeStructure(std::span<const std::uint8_t> d) {
    const auto damaged = [](const char* reason) {
        return refused(VELMORA_IMAGING_DAMAGED, reason);
    };
    Frame frame;
    std::vector<bool> dcSent;
    std::uint64_t visits = 0;
    std::uint64_t scans = 0;
    std::size_t at = 2; // past SOI
    const std::size_t n = d.size();
    while (at < n) {
        // libjpeg skips stray bytes before a marker, and fill bytes.
        while (at < n && d[at] != 0xFF)
            ++at;
        while (at < n && d[at] == 0xFF)
            ++at;
        if (at >= n) break;
        const std::uint8_t marker = d[at++];
        if (marker == 0xD9) break; // EOI
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
        if (n - at < 2) return damaged("JPEG marker segment cut short");
        const std::size_t length = std::size_t{d[at]} << 8 | d[at + 1];
        if (length < 2 || length > n - at) return damaged("JPEG marker segment cut short");
        const std::uint8_t* seg = d.data() + at + 2;
        const std::size_t segLength = length - 2;
        at += length;

        const bool sof =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (sof) {
            if (frame.seen) continue; // libjpeg refuses a second frame itself
            if (segLength < 6) return damaged("JPEG frame header cut short");
            frame.seen = true;
            frame.progressive =
                marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
            frame.arithmetic = marker >= 0xC9;
            frame.height = std::uint32_t{seg[1]} << 8 | seg[2];
            frame.width = std::uint32_t{seg[3]} << 8 | seg[4];
            const std::size_t count = seg[5];
            if (segLength < 6 + 3 * count || count == 0)
                return damaged("JPEG frame header cut short");
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint8_t* c = seg + 6 + 3 * i;
                const int h = c[1] >> 4, v = c[1] & 15;
                if (h < 1 || h > 4 || v < 1 || v > 4)
                    return damaged("JPEG sampling factors out of range");
                frame.components.push_back({c[0], h, v});
            }
            dcSent.assign(count, false);
            continue;
        }
        if (marker != 0xDA) continue;

        // A scan: its header, then entropy-coded bytes up to the next marker
        // that is neither a stuffed 0xFF nor a restart.
        if (!frame.seen || frame.width == 0 || frame.height == 0)
            return damaged("JPEG scan before a frame");
        if (segLength < 1) return damaged("JPEG scan header cut short");
        const std::size_t inScan = seg[0];
        if (inScan == 0 || segLength < 1 + 2 * inScan + 3)
            return damaged("JPEG scan header cut short");
        const int ss = seg[1 + 2 * inScan];
        const int ah = seg[3 + 2 * inScan] >> 4;
        const std::size_t start = at;
        while (at + 1 < n) {
            if (d[at] != 0xFF) {
                ++at;
                continue;
            }
            const std::uint8_t next = d[at + 1];
            if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) {
                at += 2;
            } else if (next == 0xFF) {
                ++at;
            } else {
                break;
            }
        }
        if (at + 1 >= n) at = n;
        const std::uint64_t bytes = at - start;

        const Geometry g(frame);
        std::uint64_t blocks = 0;
        for (std::size_t i = 0; i < inScan; ++i) {
            const int id = seg[1 + 2 * i];
            const auto found = std::find_if(frame.components.begin(), frame.components.end(),
                                            [id](const Component& c) { return c.id == id; });
            if (found == frame.components.end())
                return damaged("JPEG scan of an unknown component");
            const Component& c = *found;
            // Interleaved scans code whole MCUs, padding blocks included.
            blocks += inScan == 1 ? g.blocksAcross(frame, c) * g.blocksDown(frame, c)
                                  : g.mcusAcross * g.mcusDown * c.h * c.v;
            const bool carriesDc = !frame.progressive || (ss == 0 && ah == 0);
            if (carriesDc)
                dcSent[static_cast<std::size_t>(found - frame.components.begin())] = true;
        }
        // A sequential scan codes every coefficient whatever its header's
        // band says (libjpeg only warns about the band).
        const bool dcScan = !frame.progressive || ss == 0;
        if (bytes < leastBytes(frame, pictureBlocks(frame), dcScan, blocks))
            return damaged("JPEG scan too short for the declared size");
        visits += blocks;
        ++scans;
    }
    if (!frame.seen || scans == 0) return damaged("JPEG without a frame or a scan");
    if (std::find(dcSent.begin(), dcSent.end(), false) != dcSent.end())
        return damaged("JPEG component without a scan");

    const Geometry g(frame);
    std::uint64_t coefficients = 0;
    for (const Component& c : frame.components) {
        // libjpeg keeps whole MCUs of each component.
        coefficients += ceilDiv(g.blocksAcross(frame, c), c.h) * c.h *
                        (ceilDiv(g.blocksDown(frame, c), c.v) * c.v) * 128;
    }
    if (scans > static_cast<std::uint64_t>(kMaxScans)) return damaged("JPEG has too many scans");
    if (visits > std::max(kScanVisitsFloor, kScanVisitsPerBlock * pictureBlocks(frame)))
        return damaged("JPEG scans cost far more than the picture");
    Verdict ok;
    if (frame.progressive || scans > 1) {
        if (coefficients > kCoefficientCap)
            return refused(VELMORA_IMAGING_TOO_LARGE, "JPEG coefficients over the memory cap");
        ok.coefficientBytes = coefficients;
    }
    return ok;
}

inline std::uint8_t mul255(std::uint32_t a, std::uint32_t b) {
    return static_cast<std::uint8_t>((a * b + 127) / 255);
}

// CMYK samples to opaque BGRA. Adobe's encoders store the four inks
// inverted (0 = full ink), which the Adobe marker tells.
void cmykRow(const std::uint8_t* in, std::uint8_t* out, std::uint32_t width, bool inverted) {
    for (std::uint32_t x = 0; x < width; ++x, in += 4, out += 4) {
        std::uint32_t c = in[0], m = in[1], y = in[2], k = in[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        out[0] = mul255(y, k);
        out[1] = mul255(m, k);
        out[2] = mul255(c, k);
        out[3] = 255;
    }
}

Status decodeWith(const JpegLibrary& jpeg, std::span<const std::uint8_t> data,
                  const Allocator& allocator) {
    jpeg_decompress_struct info{};
    ErrorManager err{};
    jpeg_progress_mgr progress{};
    installErrors(jpeg, err);
    info.err = &err.pub;
    if (setjmp(err.jump)) {
        jpeg.jpeg_destroy_decompress(&info);
        if (!err.ours &&
            (err.pub.msg_code == JERR_OUT_OF_MEMORY || err.pub.msg_code == JERR_NO_BACKING_STORE))
            return refuse(VELMORA_IMAGING_TOO_LARGE, "JPEG needs more memory than its cap");
        return refuse(err.status, err.reason);
    }
    jpeg.jpeg_CreateDecompress(&info, JPEG_LIB_VERSION, sizeof info);
    progress.progress_monitor = onProgress;
    info.progress = &progress;
    jpeg.jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
    if (jpeg.jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK)
        onError(reinterpret_cast<j_common_ptr>(&info));

    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    jpeg.jpeg_calc_output_dimensions(&info);
    if (const Status size = checkSize(info.output_width, info.output_height);
        size != VELMORA_IMAGING_OK)
        failWith(reinterpret_cast<j_common_ptr>(&info), size, "picture over the pixel limit");

    const Verdict verdict = judgeStructure(data);
    if (verdict.status != VELMORA_IMAGING_OK)
        failWith(reinterpret_cast<j_common_ptr>(&info), verdict.status, verdict.reason);
    info.mem->max_memory_to_use = kWorkingMemory + static_cast<long>(verdict.coefficientBytes);

    // A multi-scan file is read whole here, into libjpeg's own (capped)
    // memory, before the picture's memory is asked for.
    jpeg.jpeg_start_decompress(&info);
    Pixels px;
    if (const Status made = allocator.make(info.output_width, info.output_height, px);
        made != VELMORA_IMAGING_OK)
        failWith(reinterpret_cast<j_common_ptr>(&info), made, lastReason());
    err.status = VELMORA_IMAGING_DAMAGED;

    if (cmyk) {
        JSAMPARRAY scratch = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info),
                                                       JPOOL_IMAGE, info.output_width * 4, 1);
        const bool inverted = info.saw_Adobe_marker != 0;
        while (info.output_scanline < info.output_height) {
            const auto y = static_cast<std::int32_t>(info.output_scanline);
            if (jpeg.jpeg_read_scanlines(&info, scratch, 1) != 1)
                onError(reinterpret_cast<j_common_ptr>(&info));
            cmykRow(scratch[0], px.row(y), info.output_width, inverted);
        }
    } else {
        // Several rows a call let the library run its colour conversion
        // over whole MCU rows.
        constexpr JDIMENSION kBatch = 16;
        JSAMPROW rows[kBatch];
        while (info.output_scanline < info.output_height) {
            const JDIMENSION first = info.output_scanline;
            const JDIMENSION count = std::min<JDIMENSION>(kBatch, info.output_height - first);
            for (JDIMENSION k = 0; k < count; ++k)
                rows[k] = px.row(static_cast<std::int32_t>(first + k));
            if (jpeg.jpeg_read_scanlines(&info, rows, count) == 0)
                onError(reinterpret_cast<j_common_ptr>(&info));
        }
    }
    // The picture is complete; what follows it in the file is not read.
    jpeg.jpeg_destroy_decompress(&info);
    return VELMORA_IMAGING_OK;
}

// libjpeg refuses a decompressor whose structure differs from the one its
// caller was built with: a library of another ABI is not used.
bool usable(const JpegLibrary& jpeg) {
    jpeg_decompress_struct info{};
    ErrorManager err{};
    installErrors(jpeg, err);
    info.err = &err.pub;
    if (setjmp(err.jump)) {
        jpeg.jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg.jpeg_CreateDecompress(&info, JPEG_LIB_VERSION, sizeof info);
    jpeg.jpeg_destroy_decompress(&info);
    return true;
}

// Null when the library is missing, lacks a function or is of another ABI.
std::unique_ptr<const JpegLibrary> loadJpeg(const char* soname) {
    auto jpeg = std::make_unique<JpegLibrary>(soname);
    const RuntimeLibrary& lib = jpeg->library;
    const bool complete = VIMG_RESOLVE(lib, *jpeg, jpeg_std_error) &&
                          VIMG_RESOLVE(lib, *jpeg, jpeg_CreateDecompress) &&
                          VIMG_RESOLVE(lib, *jpeg, jpeg_destroy_decompress) &&
                          VIMG_RESOLVE(lib, *jpeg, jpeg_mem_src) &&
                          VIMG_RESOLVE(lib, *jpeg, jpeg_read_header) &&
                          VIMG_RESOLVE(lib, *jpeg, jpeg_calc_output_dimensions) &&
                          VIMG_RESOLVE(lib, *jpeg, jpeg_start_decompress) &&
                          VIMG_RESOLVE(lib, *jpeg, jpeg_read_scanlines);
    if (!complete || !usable(*jpeg)) return nullptr;
    return jpeg;
}

Status decodeOn(const JpegLibrary* jpeg, std::span<const std::uint8_t> data,
                const Allocator& allocator) {
    if (!jpeg)
        return refuse(VELMORA_IMAGING_UNSUPPORTED,
                      "JPEG decoding unavailable: its library could not be loaded");
    return decodeWith(*jpeg, data, allocator);
}

} // namespace

Status decodeJpeg(std::span<const std::uint8_t> data, const Allocator& allocator) {
    // Loaded on the first JPEG and kept for the process.
    static const std::unique_ptr<const JpegLibrary> jpeg = loadJpeg(kJpegLibrary);
    return decodeOn(jpeg.get(), data, allocator);
}

Status decodeJpegOn(const char* soname, std::span<const std::uint8_t> data,
                    const Allocator& allocator) {
    return decodeOn(loadJpeg(soname).get(), data, allocator);
}

} // namespace vimg
