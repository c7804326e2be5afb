// velmora-image render: draws an image onto a filled canvas with Render,
// the way the image control draws onto its container, and writes the
// canvas out.

#include "dib/c32bppdib.h"
#include "tool.h"

#include <cstring>

namespace velmora_image {
namespace {

void fill(c32bppDIB& canvas, const std::array<std::uint8_t, 4>& bytes) {
    const std::span<std::uint8_t> pixels = canvas.pixels();
    for (std::size_t i = 0; i < pixels.size(); i += 4)
        std::memcpy(pixels.data() + i, bytes.data(), 4);
}

} // namespace

void ApplySwitches(const SurfaceSwitches& switches, c32bppDIB& surface) {
    if (switches.highQuality) surface.HighQualityInterpolation(*switches.highQuality);
    if (switches.noAlphaBlend) surface.isAlphaBlendFriendly(false);
}

int RunRender(const Invocation& inv) {
    const RenderOptions& r = inv.options.drawing.render;
    if (!r.canvas) {
        Complain("render needs --canvas WxH (see --help)");
        return kUsage;
    }
    const std::string& out = inv.args[1];
    const OutputFormat* format = FindOutputFormat(out);
    if (!format) {
        Complain("no output format for " + out + " (see --help)");
        return kUsage;
    }
    c32bppDIB image;
    if (!LoadInput(inv.args[0], inv.options, image)) {
        return NoImage(inv.args[0]);
    }
    ApplySwitches(inv.options.drawing.switches, image);

    c32bppDIB canvas;
    if (!canvas.InitializeDIB(r.canvas->width, r.canvas->height)) {
        Complain("cannot make a canvas of " + std::to_string(r.canvas->width) + 'x' +
                 std::to_string(r.canvas->height));
        return kFailure;
    }
    fill(canvas, r.fill);

    bool drawn = false;
    const auto render = [&](platform::HDC dc, c32bppDIB* host) {
        drawn = image.Render(dc, r.dest.x, r.dest.y, r.dest.width, r.dest.height, r.src.x, r.src.y,
                             r.src.width, r.src.height, r.opacity, true, true, host, r.grayScale,
                             r.light, r.angle, r.center);
    };
    if (r.intoDc) {
        const surface::SectionInDc dc(canvas);
        render(dc.dc(), nullptr);
    } else {
        render(0, &canvas);
    }

    // The canvas is written either way, so a refused drawing can be seen to
    // have left it as it was filled.
    std::string error;
    if (!format->write(canvas, inv.options, out, error)) {
        Complain(error);
        return kFailure;
    }
    if (!drawn) {
        Complain("Render answered false: nothing was drawn");
        return kFailure;
    }
    return kOk;
}

} // namespace velmora_image
