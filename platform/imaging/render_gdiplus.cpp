#include "platform/imaging/render_gdiplus.h"

#include "platform/gdi/blit.h"
#include "platform/gdi/objects.h"
#include "platform/imaging/imaging_library.h"
#include "platform/util/gray_weights.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <new>
#include <numbers>
#include <optional>
#include <vector>

namespace platform {
namespace {

using detail::BitmapObject;

// A 5 x 5 colour matrix, row after row: the colour is the row vector
// (R, G, B, A, 1) on 0..1 times the matrix, so row 5 is a translation.
using ColorMatrix = std::array<float, 25>;

constexpr std::size_t at(std::size_t row, std::size_t column) {
    return row * 5 + column;
}

// The colour matrices of a draw, merged into the one the service applies:
// greyscale weights or the identity for R, G and B, the light change as a
// translation, and the opacity on alpha. None for a plain draw.
std::optional<ColorMatrix> colorMatrix(float angle, std::int32_t opacity, std::int32_t grayScale,
                                       float light) {
    const bool first = grayScale != -1 || light != 0;
    const bool second = angle != 0 || opacity != 100;
    if (!first && !second) return std::nullopt;
    ColorMatrix m{};
    if (grayScale != -1) {
        const velmora::GrayWeight w = velmora::grayWeights(grayScale);
        for (std::size_t c = 0; c < 3; ++c) {
            m[at(0, c)] = w.red;
            m[at(1, c)] = w.green;
            m[at(2, c)] = w.blue;
        }
    } else {
        m[at(0, 0)] = m[at(1, 1)] = m[at(2, 2)] = 1;
    }
    m[at(3, 3)] = 1;
    m[at(4, 4)] = 1;
    if (light != 0) m[at(4, 0)] = m[at(4, 1)] = m[at(4, 2)] = light / 100;
    if (second) m[at(3, 3)] = static_cast<float>(opacity) / 100;
    return m;
}

// The pixels of the bitmap selected into the DC, as the service takes a
// target: 32-bit bitmaps in place, 24-bit ones through an opaque 32-bit
// copy that is written back. Null for anything else.
class DcTarget {
public:
    explicit DcTarget(HDC dc) : lock_(detail::HandleTable::instance().mutex()) {
        bitmap_ = detail::selectedBitmap(dc);
        if (bitmap_ == nullptr || bitmap_->stock || !bitmap_->pixels) return;
        if (bitmap_->bitsPerPixel == 32) {
            pixels_ = {bitmap_->pixels.get(), bitmap_->width, bitmap_->height, bitmap_->stride,
                       bitmap_->topDown ? 0 : 1};
            ready_ = true;
        } else if (bitmap_->bitsPerPixel == 24) {
            const std::size_t stride = static_cast<std::size_t>(bitmap_->width) * 4;
            try {
                copy_.resize(stride * static_cast<std::size_t>(bitmap_->height));
            } catch (const std::bad_alloc&) {
                return;
            }
            for (std::int32_t y = 0; y < bitmap_->height; ++y)
                PixelsTo32(bitmap_->row(y), copy_.data() + stride * static_cast<std::size_t>(y),
                           bitmap_->width, 255);
            pixels_ = {copy_.data(), bitmap_->width, bitmap_->height,
                       static_cast<std::int32_t>(stride), 0};
            ready_ = true;
        }
    }
    ~DcTarget() {
        if (!ready_ || copy_.empty()) return;
        const std::size_t stride = static_cast<std::size_t>(bitmap_->width) * 4;
        for (std::int32_t y = 0; y < bitmap_->height; ++y)
            PixelsTo24(copy_.data() + stride * static_cast<std::size_t>(y), bitmap_->row(y),
                       bitmap_->width);
    }
    DcTarget(const DcTarget&) = delete;
    DcTarget& operator=(const DcTarget&) = delete;

    const velmora_imaging_pixels* pixels() const { return ready_ ? &pixels_ : nullptr; }

private:
    std::lock_guard<std::recursive_mutex> lock_;
    BitmapObject* bitmap_ = nullptr;
    std::vector<std::uint8_t> copy_;
    velmora_imaging_pixels pixels_{};
    bool ready_ = false;
};

} // namespace

bool RenderWithGDIplus(velmora::ConstBgraPremulBottomUpView host, HDC target, float Angle,
                       std::int32_t Opacity, std::int32_t destX, std::int32_t destY,
                       std::int32_t destWidth, std::int32_t destHeight, std::int32_t SrcX,
                       std::int32_t SrcY, std::int32_t srcWidth, std::int32_t srcHeight,
                       bool highQuality, std::int32_t grayScale, std::int32_t token,
                       float LightAdjustment) {
    // Nothing to draw is a success even where the service is missing.
    if (Opacity == 0) return true;
    if (host.empty() || target == 0) return false;
    const auto binding = imaging::Binding::bind();
    if (!binding || !binding->draw) return false;
    const imaging::CallSession session(*binding, token);
    if (!session.live()) return false;
    const DcTarget dc(target);
    if (!dc.pixels()) return false;

    // Mirroring works on the whole picture first, so the source rectangle
    // is read from the mirrored picture: its mirror image in the upright one.
    const bool flipX = destWidth < 0, flipY = destHeight < 0;
    const std::int64_t w = std::llabs(destWidth), h = std::llabs(destHeight);
    const float sx = flipX ? static_cast<float>(std::int64_t{host.width} - SrcX - srcWidth)
                           : static_cast<float>(SrcX);
    const float sy = flipY ? static_cast<float>(std::int64_t{host.height} - SrcY - srcHeight)
                           : static_cast<float>(SrcY);

    velmora_imaging_draw_params params{};
    params.src_x = sx;
    params.src_y = sy;
    params.src_width = static_cast<float>(srcWidth);
    params.src_height = static_cast<float>(srcHeight);
    params.interpolation = highQuality ? VELMORA_IMAGING_BICUBIC : VELMORA_IMAGING_NEAREST;
    params.world[0] = params.world[3] = 1;

    // The rectangle the picture lands in, [left, left + w) x [top, top + h),
    // and whether it lands mirrored along each axis.
    std::int64_t left = destX, top = destY;
    bool mirrorX = flipX, mirrorY = flipY;
    if (Angle != 0) {
        // Turned by Angle + 180 degrees about the origin, then moved to the
        // centre point; drawn into (w \ 2, h \ 2, -w, -h), which turns it
        // back by 180 degrees, so the picture turns by Angle about that
        // point. With a mirrored axis the given coordinate is the far edge.
        const double radians = (static_cast<double>(Angle) + 180.0) * std::numbers::pi / 180.0;
        const auto c = static_cast<float>(std::cos(radians));
        const auto s = static_cast<float>(std::sin(radians));
        params.world[0] = c;
        params.world[1] = s;
        params.world[2] = -s;
        params.world[3] = c;
        params.world[4] = static_cast<float>(destX + (flipX ? -1 : 1) * (w / 2));
        params.world[5] = static_cast<float>(destY + (flipY ? -1 : 1) * (h / 2));
        left = w / 2 - w;
        top = h / 2 - h;
        mirrorX = !mirrorX;
        mirrorY = !mirrorY;
    }
    params.dest_x = static_cast<float>(mirrorX ? left + w : left);
    params.dest_y = static_cast<float>(mirrorY ? top + h : top);
    params.dest_width = static_cast<float>(mirrorX ? -w : w);
    params.dest_height = static_cast<float>(mirrorY ? -h : h);

    const std::optional<ColorMatrix> matrix =
        colorMatrix(Angle, Opacity, grayScale, LightAdjustment);
    params.color_matrix = matrix ? matrix->data() : nullptr;

    const velmora_imaging_pixels source{const_cast<std::uint8_t*>(host.data), host.width,
                                        host.height, static_cast<std::int32_t>(host.stride), 1};
    return binding->draw(&source, dc.pixels(), &params) == VELMORA_IMAGING_OK;
}

} // namespace platform
