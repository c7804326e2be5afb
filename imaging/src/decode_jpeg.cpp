// JPEG through libjpeg-turbo: baseline and progressive, greyscale, YCbCr
// and RGB straight into BGRA rows, CMYK and YCCK (Adobe's inverted form
// included) converted here.
//
// libjpeg reports errors by a long jump. The functions that set the jump
// point own nothing with a destructor, and every allocation after it comes
// from libjpeg's own pools, released by jpeg_destroy_decompress.

#include "imaging/src/internal.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>

namespace vimg {
namespace {

// A progressive file may carry any number of scans, each re-reading the
// whole picture; far more than any encoder writes is refused as damaged.
constexpr int kMaxScans = 1000;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    Status status;
};

[[noreturn]] void onError(j_common_ptr info) {
    auto* err = reinterpret_cast<ErrorManager*>(info->err);
    std::longjmp(err->jump, 1);
}

// Warnings are silent; the one that means the data ended before the
// picture did is an error: a cut-off file is refused, not shown half grey.
void onMessage(j_common_ptr info, int level) {
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) onError(info);
}

void silent(j_common_ptr) {}

void onProgress(j_common_ptr info) {
    auto* d = reinterpret_cast<j_decompress_ptr>(info);
    if (d->input_scan_number > kMaxScans) onError(info);
}

void installErrors(ErrorManager& err) {
    jpeg_std_error(&err.pub);
    err.pub.error_exit = onError;
    err.pub.emit_message = onMessage;
    err.pub.output_message = silent;
    err.status = VELMORA_IMAGING_DAMAGED;
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

} // namespace

Status decodeJpeg(std::span<const std::uint8_t> data, const Allocator& allocator) {
    jpeg_decompress_struct info{};
    ErrorManager err{};
    jpeg_progress_mgr progress{};
    installErrors(err);
    info.err = &err.pub;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&info);
        return err.status;
    }
    jpeg_create_decompress(&info);
    progress.progress_monitor = onProgress;
    info.progress = &progress;
    jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK)
        onError(reinterpret_cast<j_common_ptr>(&info));

    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    jpeg_calc_output_dimensions(&info);

    Pixels px;
    err.status = allocator.make(info.output_width, info.output_height, px);
    if (err.status != VELMORA_IMAGING_OK) onError(reinterpret_cast<j_common_ptr>(&info));
    err.status = VELMORA_IMAGING_DAMAGED;

    jpeg_start_decompress(&info);
    if (cmyk) {
        JSAMPARRAY scratch = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info),
                                                       JPOOL_IMAGE, info.output_width * 4, 1);
        const bool inverted = info.saw_Adobe_marker != 0;
        while (info.output_scanline < info.output_height) {
            const auto y = static_cast<std::int32_t>(info.output_scanline);
            if (jpeg_read_scanlines(&info, scratch, 1) != 1)
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
            if (jpeg_read_scanlines(&info, rows, count) == 0)
                onError(reinterpret_cast<j_common_ptr>(&info));
        }
    }
    // The picture is complete; what follows it in the file is not read.
    jpeg_destroy_decompress(&info);
    return VELMORA_IMAGING_OK;
}

bool jpegUsable() {
    jpeg_decompress_struct info{};
    ErrorManager err{};
    installErrors(err);
    info.err = &err.pub;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

} // namespace vimg
