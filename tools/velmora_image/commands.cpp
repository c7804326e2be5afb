#include "dib/c32bppdib.h"
#include "tool.h"

#include <array>
#include <iostream>
#include <string>
#include <vector>

namespace velmora_image {
namespace {

// Icons and cursors list every entry of the file, whichever was loaded:
// "iconSizes":[[width,height,bitsPerPixel,colours],...].
std::string iconSizesJson(const c32bppDIB& surface) {
    std::vector<std::array<std::int32_t, 4>> sizes;
    if (surface.SourceIconSizes(sizes) == 0) return {};
    std::string json = ",\"iconSizes\":[";
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const auto& e = sizes[i];
        json += (i ? ",[" : "[") + std::to_string(e[0]) + ',' + std::to_string(e[1]) + ',' +
                std::to_string(e[2]) + ',' + std::to_string(e[3]) + ']';
    }
    return json + ']';
}

int runInfo(const Invocation& inv) {
    c32bppDIB surface;
    // The source bytes are kept so that an icon's other entries can be listed.
    if (!LoadInput(inv.args[0], inv.options, surface, true)) {
        return NoImage(inv.args[0]);
    }
    std::cout << "{\"width\":" << surface.Width() << ",\"height\":" << surface.Height()
              << ",\"imageType\":" << surface.ImageType()
              << ",\"alpha\":" << (surface.Alpha() ? "true" : "false") << iconSizesJson(surface)
              << "}\n";
    return kOk;
}

int runConvert(const Invocation& inv) {
    const std::string& out = inv.args[1];
    const OutputFormat* format = FindOutputFormat(out);
    if (!format) {
        Complain("no output format for " + out + " (see --help)");
        return kUsage;
    }
    // The kept source bytes are what a load read; effects change the pixels
    // only, so they would silently be lost in such an output.
    if (format->keepsSource && inv.options.drawing.effects.any()) {
        Complain(out + " holds the source bytes as loaded; effects cannot apply to it");
        return kUsage;
    }
    c32bppDIB surface;
    if (!LoadInput(inv.args[0], inv.options, surface, format->keepsSource)) {
        return NoImage(inv.args[0]);
    }
    std::string error;
    if (!ApplyEffects(inv.options.drawing, surface, error)) {
        Complain(error);
        return kFailure;
    }
    if (!format->write(surface, inv.options, out, error)) {
        Complain(error);
        return kFailure;
    }
    return kOk;
}

constexpr std::array kCommands{
    Command{"info", "FILE",
            "print one line of JSON: {\"width\":W,\"height\":H,\"imageType\":T,\"alpha\":B}, "
            "with \"iconSizes\":[[W,H,BPP,COLOURS],...] for an icon or cursor file "
            "(--icon WxH and --depth N choose the entry shown)",
            1, 1, runInfo},
    Command{"convert", "IN OUT", "load IN and write it to OUT in the format OUT's extension names",
            2, 2, runConvert},
    Command{"render", "IN OUT",
            "draw IN with Render onto a canvas (--canvas WxH, filled by --fill) and write the "
            "canvas to OUT as convert does; exit status 1 also when Render answers false "
            "(the canvas is still written)",
            2, 2, RunRender},
};

} // namespace

std::span<const Command> Commands() {
    return kCommands;
}

} // namespace velmora_image
