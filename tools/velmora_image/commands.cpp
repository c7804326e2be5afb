#include "surface/c32bppdib.h"
#include "tool.h"

#include <array>
#include <iostream>

namespace velmora_image {
namespace {

int runInfo(const Invocation& inv) {
    c32bppDIB surface;
    if (!LoadInput(inv.args[0], inv.options, surface)) {
        Complain("no image in " + inv.args[0]);
        return kFailure;
    }
    std::cout << "{\"width\":" << surface.Width() << ",\"height\":" << surface.Height()
              << ",\"imageType\":" << surface.ImageType()
              << ",\"alpha\":" << (surface.Alpha() ? "true" : "false") << "}\n";
    return kOk;
}

int runConvert(const Invocation& inv) {
    const std::string& out = inv.args[1];
    const OutputFormat* format = FindOutputFormat(out);
    if (!format) {
        Complain("no output format for " + out + " (see --help)");
        return kUsage;
    }
    c32bppDIB surface;
    if (!LoadInput(inv.args[0], inv.options, surface, format->keepsSource)) {
        Complain("no image in " + inv.args[0]);
        return kFailure;
    }
    std::string error;
    if (!format->write(surface, out, error)) {
        Complain(error);
        return kFailure;
    }
    return kOk;
}

constexpr std::array kCommands{
    Command{"info", "FILE",
            "print one line of JSON: {\"width\":W,\"height\":H,\"imageType\":T,\"alpha\":B}", 1, 1,
            runInfo},
    Command{"convert", "IN OUT", "load IN and write it to OUT in the format OUT's extension names",
            2, 2, runConvert},
};

} // namespace

std::span<const Command> Commands() {
    return kCommands;
}

} // namespace velmora_image
