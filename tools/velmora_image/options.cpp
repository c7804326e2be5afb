#include "dib/c32bppdib.h"
#include "platform/imaging/cgdiplus.h"
#include "platform/system/environment.h"
#include "platform/zlib/zlib_binding.h"
#include "tool.h"

#include <array>
#include <charconv>
#include <optional>

namespace velmora_image {
namespace {

bool applyNoZlib(Options& o, std::string_view) {
    o.noZlib = true;
    return true;
}

bool applyNoImaging(Options& o, std::string_view) {
    o.noImaging = true;
    return true;
}

bool applyPngEncoder(Options& o, std::string_view value) {
    if (value == "auto")
        o.pngEncoder = PngEncoder::Auto;
    else if (value == "imaging")
        o.pngEncoder = PngEncoder::Imaging;
    else if (value == "own")
        o.pngEncoder = PngEncoder::Own;
    else
        return false;
    return true;
}

bool applyIcon(Options& o, std::string_view value) {
    Extent size;
    if (!ParseExtent(value, size) || size.width < 0 || size.height < 0) return false;
    o.iconCx = size.width;
    o.iconCy = size.height;
    return true;
}

bool applyDepth(Options& o, std::string_view value) {
    std::int32_t depth = 0;
    if (!ParseInt(value, depth)) return false;
    o.depth = depth;
    return true;
}

constexpr std::array kOptions{
    OptionSpec{"--no-zlib", "",
               "behave as on a system without zlib: our own inflater, no CRC checks, and PNG "
               "output only through the imaging service",
               applyNoZlib},
    OptionSpec{"--no-imaging", "", "do not use the imaging service", applyNoImaging},
    OptionSpec{"--png-encoder", "auto|imaging|own",
               "who writes PNG output: the imaging service, else our own writer (auto, the "
               "default), the imaging service only, or our own writer only",
               applyPngEncoder},
    OptionSpec{"--icon", "WxH", "the icon size wanted from a file that holds several", applyIcon},
    OptionSpec{"--depth", "N", "the icon colour depth wanted (below 0 or above 32: 32)",
               applyDepth},
};

const OptionSpec* findOption(std::string_view name) {
    for (const OptionSpec& spec : kOptions)
        if (spec.name == name) return &spec;
    return nullptr;
}

} // namespace

std::span<const OptionSpec> OptionTable() {
    return kOptions;
}

bool ParseArguments(std::span<char* const> words, Invocation& out, std::string& error) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string_view word = words[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            out.args.emplace_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        // Both "--depth 8" and "--depth=8".
        std::string_view name = word;
        std::string_view value;
        bool inlineValue = false;
        if (const auto eq = word.find('='); eq != std::string_view::npos) {
            name = word.substr(0, eq);
            value = word.substr(eq + 1);
            inlineValue = true;
        }
        const OptionSpec* spec = findOption(name);
        if (!spec) spec = FindGroupOption(out.command, name, error);
        if (!spec) {
            if (error.empty()) error = "unknown option " + std::string(name);
            return false;
        }
        if (spec->valueName.empty()) {
            if (inlineValue) {
                error = "option " + std::string(name) + " takes no value";
                return false;
            }
        } else if (!inlineValue) {
            if (i + 1 >= words.size()) {
                error = "option " + std::string(name) + " needs a value " +
                        std::string(spec->valueName);
                return false;
            }
            value = words[++i];
        }
        if (!spec->apply(out.options, value)) {
            error = "bad value '" + std::string(value) + "' for " + std::string(name) + ' ' +
                    std::string(spec->valueName) + ": " + std::string(spec->help);
            return false;
        }
    }
    return true;
}

void ApplyPlatformOptions(const Options& options) {
    if (options.noZlib) platform::ProcessEnvironment().zlibLibraryNames = {};
    if (options.noImaging) platform::ProcessEnvironment().imagingLibraryNames = {};
}

bool LoadInput(const std::string& path, const Options& options, c32bppDIB& surface,
               bool keepSource) {
    return surface.LoadPicture_File(path, options.iconCx, options.iconCy, keepSource,
                                    options.depth);
}

int NoImage(const std::string& path) {
    const std::optional<platform::ImagingRefusal> refusal = platform::LastImagingRefusal();
    if (!refusal) {
        Complain("no image in " + path);
        return kFailure;
    }
    Complain("no image in " + path + ": " + refusal->reason);
    return refusal->damaged ? kDamaged : kFailure;
}

} // namespace velmora_image
