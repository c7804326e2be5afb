// The options of render, the drawing switches of a loaded image and the
// convert effects: their parsers and their tables.

#include "tool.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>

namespace velmora_image {
namespace {

// Infinities and NaN are refused: no drawing argument means anything with them.
bool parseFloat(std::string_view text, float& out) {
    if (text.empty()) return false;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc{} && ptr == end && std::isfinite(out);
}

// Exactly out.size() integers separated by commas.
bool parseIntList(std::string_view text, std::span<std::int32_t> out) {
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto comma = text.find(',');
        const bool last = i + 1 == out.size();
        if (last != (comma == std::string_view::npos)) return false;
        if (!ParseInt(text.substr(0, comma), out[i])) return false;
        if (!last) text.remove_prefix(comma + 1);
    }
    return true;
}

// Exactly two hexadecimal digits per byte, first byte first.
bool parseHexBytes(std::string_view text, std::span<std::uint8_t> out) {
    if (text.size() != out.size() * 2) return false;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const char* first = text.data() + i * 2;
        if (!std::isxdigit(static_cast<unsigned char>(first[0])) ||
            !std::isxdigit(static_cast<unsigned char>(first[1])))
            return false;
        std::from_chars(first, first + 2, out[i], 16);
    }
    return true;
}

// RRGGBB as people write colours, to the 0x00BBGGRR the surface takes.
bool parseColor(std::string_view text, std::uint32_t& out) {
    std::array<std::uint8_t, 3> rgb{};
    if (!parseHexBytes(text, rgb)) return false;
    out = rgb[0] | (std::uint32_t{rgb[1]} << 8) | (std::uint32_t{rgb[2]} << 16);
    return true;
}

// --- render ---------------------------------------------------------------

bool applyCanvas(Options& o, std::string_view value) {
    Extent size;
    if (!ParseExtent(value, size) || size.width < 1 || size.height < 1) return false;
    o.drawing.render.canvas = size;
    return true;
}

bool applyFill(Options& o, std::string_view value) {
    return parseHexBytes(value, o.drawing.render.fill);
}

bool applyInto(Options& o, std::string_view value) {
    if (value != "host" && value != "dc") return false;
    o.drawing.render.intoDc = value == "dc";
    return true;
}

bool parseRect(std::string_view value, Rect& out) {
    std::array<std::int32_t, 4> v{};
    if (!parseIntList(value, v)) return false;
    out = {v[0], v[1], v[2], v[3]};
    return true;
}

bool applyDest(Options& o, std::string_view value) {
    return parseRect(value, o.drawing.render.dest);
}

bool applySrc(Options& o, std::string_view value) {
    return parseRect(value, o.drawing.render.src);
}

bool applyOpacity(Options& o, std::string_view value) {
    return ParseInt(value, o.drawing.render.opacity);
}

bool applyGray(Options& o, std::string_view value) {
    return ParseInt(value, o.drawing.render.grayScale);
}

bool applyLight(Options& o, std::string_view value) {
    return parseFloat(value, o.drawing.render.light);
}

bool applyAngle(Options& o, std::string_view value) {
    return parseFloat(value, o.drawing.render.angle);
}

bool applyCenter(Options& o, std::string_view) {
    o.drawing.render.center = true;
    return true;
}

// --- drawing switches ------------------------------------------------------

bool applyNearest(Options& o, std::string_view) {
    o.drawing.switches.highQuality = false;
    return true;
}

bool applyBilinear(Options& o, std::string_view) {
    o.drawing.switches.highQuality = true;
    return true;
}

bool applyNoAlphaBlend(Options& o, std::string_view) {
    o.drawing.switches.noAlphaBlend = true;
    return true;
}

// --- convert effects -------------------------------------------------------

bool applyMirror(Options& o, std::string_view value) {
    if (value != "x" && value != "y" && value != "xy") return false;
    o.drawing.effects.mirrorX = value.find('x') != std::string_view::npos;
    o.drawing.effects.mirrorY = value.find('y') != std::string_view::npos;
    return true;
}

bool applyInvert(Options& o, std::string_view) {
    o.drawing.effects.invert = true;
    return true;
}

bool applyTransparent(Options& o, std::string_view value) {
    std::uint32_t color = 0;
    if (!parseColor(value, color)) return false;
    o.drawing.effects.transparent = color;
    return true;
}

bool applyScale(Options& o, std::string_view value) {
    Extent size;
    if (!ParseExtent(value, size)) return false;
    o.drawing.effects.scale = size;
    return true;
}

bool applyShadow(Options& o, std::string_view value) {
    const auto comma = value.find(',');
    if (comma == std::string_view::npos) return false;
    DropShadow shadow;
    if (!ParseInt(value.substr(0, comma), shadow.depth) ||
        !parseColor(value.substr(comma + 1), shadow.color))
        return false;
    o.drawing.effects.shadow = shadow;
    return true;
}

constexpr std::array kRenderOptions{
    OptionSpec{"--canvas", "WxH", "the canvas size, both at least 1 (required)", applyCanvas},
    OptionSpec{"--fill", "HEX8",
               "the bytes every canvas pixel starts with: blue, green, red, alpha as stored, "
               "so premultiplied (default 00000000)",
               applyFill},
    OptionSpec{"--into", "host|dc",
               "draw into the canvas as the destination surface (host, the default) or onto "
               "the canvas's own DC (dc; the own engine then goes through 24 bits, so the "
               "pixels it draws get alpha 0, as on a screen DC)",
               applyInto},
    OptionSpec{"--dest", "X,Y,W,H",
               "the destination rectangle; W or H 0 is the image's size, a negative one "
               "mirrors (default 0,0,0,0)",
               applyDest},
    OptionSpec{"--src", "X,Y,W,H",
               "the source rectangle, from the image's top-left; W or H 0 is the image's "
               "size, a negative one mirrors (default 0,0,0,0)",
               applySrc},
    OptionSpec{"--opacity", "P",
               "percent (default 100); 0 or less draws nothing, above 100 counts modulo 100",
               applyOpacity},
    OptionSpec{"--gray", "N", "greyscale formula number (default -1: in colour)", applyGray},
    OptionSpec{"--light", "L",
               "lightness change in percent, -100 .. 100 (default 0; outside that range "
               "ignored)",
               applyLight},
    OptionSpec{"--angle", "A", "rotation in degrees (default 0)", applyAngle},
    OptionSpec{"--center", "", "X and Y of --dest are the drawing's centre", applyCenter},
};

constexpr std::array kSwitchOptions{
    OptionSpec{"--nearest", "",
               "scale by the nearest pixel (HighQualityInterpolation off); without this or "
               "--bilinear the surface keeps its own choice",
               applyNearest},
    OptionSpec{"--bilinear", "",
               "scale bilinearly (HighQualityInterpolation on); the last of --nearest and "
               "--bilinear counts",
               applyBilinear},
    OptionSpec{"--no-alphablend", "",
               "never draw or scale through AlphaBlend (isAlphaBlendFriendly off)",
               applyNoAlphaBlend},
};

constexpr std::array kEffectOptions{
    OptionSpec{"--mirror", "x|y|xy", "mirror left to right (x), top to bottom (y) or both",
               applyMirror},
    OptionSpec{"--invert", "", "invert the colours, keeping alpha", applyInvert},
    OptionSpec{"--transparent", "RRGGBB",
               "make the fully opaque pixels of this colour fully transparent", applyTransparent},
    OptionSpec{"--scale", "WxH",
               "copy the image to this size (CopyImageTo); 0 keeps that side, a negative "
               "size mirrors",
               applyScale},
    OptionSpec{"--shadow", "DEPTH,RRGGBB",
               "write the image's drop shadow in this colour instead of the image; the blur "
               "depth is held to 0 .. 10 and the shadow is 2 x DEPTH larger each way",
               applyShadow},
};

constexpr std::array kGroups{
    OptionGroup{"render options", "render", kRenderOptions},
    OptionGroup{"drawing switches of the loaded image (render; convert with --scale)",
                "render convert", kSwitchOptions},
    OptionGroup{"convert effects, applied after loading in this order", "convert", kEffectOptions},
};

bool takes(std::string_view commands, std::string_view command) {
    while (!commands.empty()) {
        const auto space = commands.find(' ');
        if (commands.substr(0, space) == command) return true;
        if (space == std::string_view::npos) break;
        commands.remove_prefix(space + 1);
    }
    return false;
}

} // namespace

std::span<const OptionGroup> OptionGroups() {
    return kGroups;
}

const OptionSpec* FindGroupOption(std::string_view command, std::string_view name,
                                  std::string& error) {
    for (const OptionGroup& group : kGroups) {
        for (const OptionSpec& spec : group.options) {
            if (spec.name != name) continue;
            if (takes(group.commands, command)) return &spec;
            std::string owners(group.commands);
            for (auto space = owners.find(' '); space != std::string::npos;
                 space = owners.find(' ', space + 5))
                owners.replace(space, 1, " and ");
            error = "option " + std::string(name) + " is not for " + std::string(command) +
                    " (only for " + owners + ")";
            return nullptr;
        }
    }
    return nullptr;
}

bool ParseInt(std::string_view text, std::int32_t& out) {
    if (text.empty()) return false;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc{} && ptr == end;
}

bool ParseExtent(std::string_view text, Extent& out) {
    const auto x = text.find_first_of("xX");
    if (x == std::string_view::npos) return false;
    return ParseInt(text.substr(0, x), out.width) && ParseInt(text.substr(x + 1), out.height);
}

} // namespace velmora_image
