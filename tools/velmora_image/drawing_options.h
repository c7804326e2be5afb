#pragma once
// The settings of the render command and of the effects convert applies,
// as the option parser fills them in (drawing_options.cpp). Zero sizes and
// offsets are left for Render to default, as its own callers do.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace velmora_image {

struct Extent {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// A whole decimal number, nothing before or after it.
bool ParseInt(std::string_view text, std::int32_t& out);
// "WxH" (or "WXH"), each a whole number.
bool ParseExtent(std::string_view text, Extent& out);

struct Rect {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

struct RenderOptions {
    std::optional<Extent> canvas;
    std::array<std::uint8_t, 4> fill{}; // blue, green, red, alpha as stored
    bool intoDc = false;
    Rect dest;
    Rect src;
    std::int32_t opacity = 100;
    std::int32_t grayScale = -1;
    float light = 0;
    float angle = 0;
    bool center = false;
};

// Switches of the loaded image that decide how it is drawn or scaled.
struct SurfaceSwitches {
    std::optional<bool> highQuality; // --nearest / --bilinear; unset keeps the surface's own
    bool noAlphaBlend = false;
};

struct DropShadow {
    std::int32_t depth = 0;
    std::uint32_t color = 0; // 0x00BBGGRR
};

struct EffectOptions {
    bool mirrorX = false;
    bool mirrorY = false;
    bool invert = false;
    std::optional<std::uint32_t> transparent; // 0x00BBGGRR
    std::optional<Extent> scale;
    std::optional<DropShadow> shadow;

    bool any() const { return mirrorX || mirrorY || invert || transparent || scale || shadow; }
};

struct DrawingOptions {
    RenderOptions render;
    SurfaceSwitches switches;
    EffectOptions effects;
};

} // namespace velmora_image
