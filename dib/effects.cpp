// Effects a surface applies to itself or derives from itself: drop shadow,
// inversion, mirroring and the checkerboard fill.

#include "dib/c32bppdib.h"
#include "platform/gdi/blit.h"
#include "platform/gdi/gdi.h"
#include "surface/image_types.h"
#include "surface/render_routines.h"

#include <algorithm>
#include <cstring>

using namespace platform;
using namespace velmora::render;

std::unique_ptr<c32bppDIB> c32bppDIB::CreateDropShadow(std::int32_t blurDepth, COLORREF Color) {
    if (Handle() == 0) return nullptr;
    blurDepth = std::clamp(blurDepth, 0, 10);
    const std::int32_t n = 2 * blurDepth;
    const std::uint32_t area = static_cast<std::uint32_t>((n + 1) * (n + 1));
    auto shadow = std::make_unique<c32bppDIB>();
    shadow->gdiToken(gdiToken_);
    if (!shadow->InitializeDIB(Width() + n, Height() + n)) return nullptr;
    const std::uint32_t red = Color & 0xFF, green = (Color >> 8) & 0xFF,
                        blue = (Color >> 16) & 0xFF;

    // Every shadow pixel follows from its window total: the alpha is
    // total / area and the premultiplied tint follows from the alpha. Both
    // are tabled once per call, so the loop neither divides nor multiplies.
    std::uint32_t tint[256];
    for (std::uint32_t a = 0; a < 256; ++a) {
        const std::uint32_t b = a == 255 ? blue : blue * a / 255;
        const std::uint32_t g = a == 255 ? green : green * a / 255;
        const std::uint32_t r = a == 255 ? red : red * a / 255;
        tint[a] = a == 0 ? 0 : b | (g << 8) | (r << 16) | (a << 24);
    }
    std::vector<std::uint32_t> byTotal(255 * area + 1);
    for (std::uint32_t t = 0; t < byTotal.size(); ++t)
        byTotal[t] = tint[t / area];

    // Column sums of the source alpha over the rows max(0, i - n) .. min(i,
    // Height - 1), kept up to date row by row (memory order, bottom-up).
    // Along a shadow row the window of n + 1 column sums slides one column
    // at a time: the sum leaving on the left is subtracted, the one entering
    // on the right (0 beyond the last column) added. The padding of n zero
    // sums in front stands for the columns left of the image.
    const velmora::BgraPremulBottomUpView src = view();
    const velmora::BgraPremulBottomUpView dst = shadow->view();
    std::vector<std::uint32_t> padded(static_cast<std::size_t>(n) + Width() + n + 1, 0);
    std::uint32_t* columns = padded.data() + n;
    for (std::int32_t i = 0; i < dst.height; ++i) {
        if (i < Height()) {
            const std::uint8_t* p = src.memoryRow(i) + 3;
            for (std::int32_t c = 0; c < Width(); ++c)
                columns[c] += p[c * 4];
        }
        if (i - n - 1 >= 0 && i - n - 1 < Height()) {
            const std::uint8_t* p = src.memoryRow(i - n - 1) + 3;
            for (std::int32_t c = 0; c < Width(); ++c)
                columns[c] -= p[c * 4];
        }
        std::uint32_t total = columns[0];
        std::uint8_t* out = dst.memoryRow(i);
        for (std::int32_t k = 0; k < dst.width; ++k, out += 4) {
            std::memcpy(out, &byTotal[total], 4);
            total += columns[k + 1] - columns[k - n];
        }
    }
    shadow->Alpha(true);
    shadow->ImageType(modParsers::itBitmapPremultiplied);
    return shadow;
}

bool c32bppDIB::RenderDropShadow_JIT(HDC hdc, std::int32_t x, std::int32_t y,
                                     std::int32_t blurDepth, COLORREF Color, std::int32_t Opacity) {
    const auto shadow = CreateDropShadow(blurDepth, Color);
    if (!shadow) return false;
    return shadow->Render(hdc, x, y, shadow->Width(), shadow->Height(), 0, 0, shadow->Width(),
                          shadow->Height(), Opacity, true, true, nullptr, -1, 0, 0, false);
}

bool c32bppDIB::MakeImageInverse() {
    if (Handle() == 0) return false;
    std::uint8_t* p = BitsPointer();
    const std::size_t count =
        static_cast<std::size_t>(Width()) * static_cast<std::size_t>(Height());
    for (std::size_t i = 0; i < count; ++i, p += 4) {
        const std::uint8_t a = p[3];
        if (a == 0) continue;
        // A colour above its alpha breaks the surface's rule; it is left as
        // it is rather than wrapped around.
        for (int c = 0; c < 3; ++c)
            if (p[c] <= a) p[c] = static_cast<std::uint8_t>(a - p[c]);
    }
    return true;
}

bool c32bppDIB::MirrorImage(bool MirrorAxisX, bool MirrorAxisY) {
    if (Handle() == 0 || (!MirrorAxisX && !MirrorAxisY)) return false;
    PixelBuffer mirrored;
    if (!mirrored.allocate(Width(), Height()) ||
        !mirrorInto({BitsPointer(), Width(), Height()}, {0, 0, Width(), Height()},
                    MirrorAxisX ? -Width() : Width(), MirrorAxisY ? -Height() : Height(),
                    mirrored.view()))
        return false;
    std::memcpy(BitsPointer(), mirrored.bytes.data(), mirrored.bytes.size());
    return true;
}

bool c32bppDIB::CreateCheckerBoard(std::int32_t CheckerSize, COLORREF FirstColor,
                                   COLORREF SecondColor) {
    // A size below 1 would never advance the fill.
    if (Handle() == 0 || CheckerSize < 1) return false;
    const bool wasSelected = isSelectedInOwnDC();
    const HDC dc = LoadDIBinDC(true);
    const HBRUSH brushes[2] = {CreateSolidBrush(FirstColor), CreateSolidBrush(SecondColor)};
    int rowBrush = 0;
    for (std::int64_t y = 0; y <= Height() - 1; y += CheckerSize, rowBrush ^= 1) {
        int brush = rowBrush;
        RECT square{0, 0, CheckerSize, CheckerSize};
        OffsetRect(square, 0, static_cast<std::int32_t>(y));
        for (std::int64_t x = 0; x <= Width() - 1; x += CheckerSize, brush ^= 1) {
            FillRect(dc, square, brushes[brush]);
            // The last square of a row may reach past the edge; the step
            // past it is not taken, so the rectangle never overflows.
            if (x + CheckerSize <= Width() - 1) OffsetRect(square, CheckerSize, 0);
        }
    }
    DeleteObject(brushes[0]);
    DeleteObject(brushes[1]);
    if (!wasSelected) LoadDIBinDC(false);
    for (std::size_t i = 3; i < pixels().size(); i += 4)
        BitsPointer()[i] = 255;
    Alpha(false);
    ImageType(modParsers::itCheckerBoard);
    return true;
}
