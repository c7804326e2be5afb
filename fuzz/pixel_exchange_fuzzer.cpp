// Pixel import, export and drawing with caller-chosen layouts and
// rectangles: the first bytes pick the surface size, the flags and the
// rectangles, the rest is the imported array.

#include "dib/c32bppdib.h"
#include "platform/gdi/gdi.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace {

class Args {
public:
    explicit Args(std::span<const std::uint8_t> data) : data_(data) {}
    std::uint8_t byte() { return at_ < data_.size() ? data_[at_++] : 0; }
    std::int32_t small() { return static_cast<std::int8_t>(byte()); }
    bool flag() { return (byte() & 1) != 0; }
    std::span<const std::uint8_t> rest() const {
        return data_.subspan(std::min(at_, data_.size()));
    }

private:
    std::span<const std::uint8_t> data_;
    std::size_t at_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Args args({data, size});
    c32bppDIB surface;
    if (!surface.InitializeDIB(args.byte() % 24 + 1, args.byte() % 24 + 1)) return 0;
    const bool bgr = args.flag(), is32 = args.flag(), aligned = args.flag(), bottomUp = args.flag();
    const std::int32_t x = args.small(), y = args.small(), w = args.small(), h = args.small();
    const std::int32_t rx = args.small(), ry = args.small(), rw = args.small(), rh = args.small();
    const std::int32_t opacity = args.small(), angle = args.small(), gray = args.small() % 9 - 1;
    const bool viaDc = args.flag(), highQuality = args.flag(), alphaBlend = args.flag();
    surface.SetDIBbits(args.rest(), bgr, is32, aligned, bottomUp, x, y, w, h);

    std::vector<std::uint8_t> out;
    surface.GetDIBbits(out, false, bgr, is32, aligned, bottomUp, x, y, w, h, aligned);
    if (const platform::HRGN region = surface.CreateRegion(rx & 3, rx, ry))
        platform::DeleteObject(region);

    c32bppDIB host;
    host.InitializeDIB(16, 16);
    surface.HighQualityInterpolation(highQuality);
    surface.isAlphaBlendFriendly(alphaBlend);
    const platform::HDC dc = viaDc ? host.LoadDIBinDC(true) : 0;
    surface.Render(dc, x, y, rw, rh, rx, ry, w, h, opacity, true, true, viaDc ? nullptr : &host,
                   gray, static_cast<float>(ry), static_cast<float>(angle), (rw & 1) != 0);
    if (viaDc) host.LoadDIBinDC(false);
    std::unique_ptr<c32bppDIB> copy;
    surface.CopyImageTo(copy, rw, rh);
    return 0;
}
