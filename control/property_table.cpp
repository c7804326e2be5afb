#include "control/property_table.h"

#include "control/aic_alpha_image.h"
#include "platform/system/file.h"

#include <array>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>

namespace velmora {
namespace {

std::string showBool(bool value) {
    return value ? "True" : "False";
}

std::string showSingle(float value) {
    std::array<char, 32> text{};
    const auto [end, ec] = std::to_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() ? std::string(text.data(), end) : std::string("0");
}

using Kind = PropertySpec::Kind;

bool readNumber(std::string_view text, std::int32_t& value, std::string& error) {
    const auto parsed = ParseNumber(text);
    if (!parsed) {
        error = "not a 32-bit number: " + std::string(text);
        return false;
    }
    value = *parsed;
    return true;
}

// The property kinds, each a getter and a setter of the control.
template <bool (aicAlphaImage::*Get)() const, void (aicAlphaImage::*Set)(bool)>
PropertySpec boolean(std::string_view name) {
    return {name,
            Kind::Boolean,
            0,
            1,
            {},
            [](const aicAlphaImage& c) { return showBool((c.*Get)()); },
            [](aicAlphaImage& c, std::string_view text, std::string& error) {
                const auto value = ParseBoolean(text);
                if (!value) {
                    error = "not True or False: " + std::string(text);
                    return false;
                }
                (c.*Set)(*value);
                return true;
            }};
}

template <std::int32_t (aicAlphaImage::*Get)() const, void (aicAlphaImage::*Set)(std::int32_t)>
PropertySpec number(std::string_view name, std::int32_t minimum = INT32_MIN,
                    std::int32_t maximum = INT32_MAX,
                    std::span<const std::string_view> choices = {}, Kind kind = Kind::Number) {
    return {name,
            kind,
            minimum,
            maximum,
            choices,
            [](const aicAlphaImage& c) { return std::to_string((c.*Get)()); },
            [](aicAlphaImage& c, std::string_view text, std::string& error) {
                std::int32_t value = 0;
                if (!readNumber(text, value, error)) return false;
                (c.*Set)(value);
                return true;
            }};
}

// A number kept under a stored key: the setter's range is the key's, moved
// by offset where the property shows the stored value plus offset.
template <std::int32_t (aicAlphaImage::*Get)() const, void (aicAlphaImage::*Set)(std::int32_t)>
PropertySpec stored(std::string_view name, Stored key,
                    std::span<const std::string_view> choices = {}, std::int32_t offset = 0) {
    const StoredProperty& row = velmora::stored(key);
    return number<Get, Set>(name, row.minimum + offset, row.maximum + offset, choices);
}

template <std::int32_t (aicAlphaImage::*Get)() const, void (aicAlphaImage::*Set)(std::int32_t)>
PropertySpec colour(std::string_view name) {
    return number<Get, Set>(name, INT32_MIN, INT32_MAX, {}, Kind::Colour);
}

template <bool (aicAlphaImage::*Get)() const>
PropertySpec readOnlyBoolean(std::string_view name) {
    return {name,   Kind::Boolean,
            0,      1,
            {},     [](const aicAlphaImage& c) { return showBool((c.*Get)()); },
            nullptr};
}

PropertySpec intensity() {
    return {"IntensityOffset",
            Kind::Single,
            velmora::stored(Stored::Intensity).minimum,
            velmora::stored(Stored::Intensity).maximum,
            {},
            [](const aicAlphaImage& c) { return showSingle(c.IntensityOffset()); },
            [](aicAlphaImage& c, std::string_view text, std::string& error) {
                const auto value = ParseSingle(text);
                if (!value) {
                    error = "not a number: " + std::string(text);
                    return false;
                }
                c.IntensityOffset(*value);
                return true;
            }};
}

// The picture as the path of its file; an empty value removes it.
PropertySpec mouseIcon() {
    return {"MouseIcon",
            Kind::Picture,
            0,
            0,
            {},
            [](const aicAlphaImage& c) {
                return std::string(c.MouseIcon().empty() ? "(None)" : "(Picture)");
            },
            [](aicAlphaImage& c, std::string_view text, std::string& error) {
                if (text.empty()) {
                    c.MouseIcon({});
                    return true;
                }
                // The path is UTF-8, whatever the system's own code page.
                platform::File file = platform::File::openForRead(std::string(text));
                auto bytes = file.valid() ? platform::ReadToEnd(file) : std::nullopt;
                if (!bytes) {
                    error = "cannot read " + std::string(text);
                    return false;
                }
                c.MouseIcon(std::move(*bytes));
                return true;
            }};
}

PropertySpec imageType() {
    return {"ImageType", Kind::Number,
            0,           INT32_MAX,
            {},          [](const aicAlphaImage& c) { return std::to_string(c.ImageType()); },
            nullptr};
}

constexpr std::array<std::string_view, 5> kScaleMethods{"Scale to fit", "Stretch", "Shrink only",
                                                        "Actual size", "Frozen size"};
constexpr std::array<std::string_view, 4> kMirrors{"None", "Horizontal", "Vertical", "Both"};
constexpr std::array<std::string_view, 9> kGreys{"None",      "Formula 1", "Formula 2",
                                                 "Formula 3", "Formula 4", "Formula 5",
                                                 "Formula 6", "Formula 7", "Formula 8"};
constexpr std::array<std::string_view, 4> kHitTests{"Whole control", "Image bounds",
                                                    "Opaque row spans", "Opaque pixels"};
constexpr std::array<std::string_view, 6> kMaskSources{"None",      "MaskColor",   "Top left",
                                                       "Top right", "Bottom left", "Bottom right"};
constexpr std::array<std::string_view, 2> kDropModes{"None", "Manual"};

const std::array kProperties{
    boolean<&aicAlphaImage::AutoRedraw, &aicAlphaImage::AutoRedraw>("AutoRedraw"),
    boolean<&aicAlphaImage::AutoSize, &aicAlphaImage::AutoSize>("AutoSize"),
    boolean<&aicAlphaImage::StretchQuality, &aicAlphaImage::StretchQuality>("StretchQuality"),
    stored<&aicAlphaImage::ScaleMethod, &aicAlphaImage::ScaleMethod>("ScaleMethod", Stored::Scaler,
                                                                     kScaleMethods),
    stored<&aicAlphaImage::Opacity, &aicAlphaImage::Opacity>("Opacity", Stored::Opacity),
    stored<&aicAlphaImage::Mirror, &aicAlphaImage::Mirror>("Mirror", Stored::Mirror, kMirrors),
    boolean<&aicAlphaImage::InversedImage, &aicAlphaImage::InversedImage>("InversedImage"),
    boolean<&aicAlphaImage::KeepOriginalFormat, &aicAlphaImage::KeepOriginalFormat>(
        "KeepOriginalFormat"),
    stored<&aicAlphaImage::grayScale, &aicAlphaImage::grayScale>("grayScale", Stored::GrayScale,
                                                                 kGreys, 1),
    boolean<&aicAlphaImage::RotateEnabled, &aicAlphaImage::RotateEnabled>("RotateEnabled"),
    stored<&aicAlphaImage::Rotation, &aicAlphaImage::Rotation>("Rotation", Stored::Angle),
    intensity(),
    stored<&aicAlphaImage::HitTest, &aicAlphaImage::HitTest>("HitTest", Stored::HitTest, kHitTests),
    colour<&aicAlphaImage::MaskColor, &aicAlphaImage::MaskColor>("MaskColor"),
    stored<&aicAlphaImage::MaskUsed, &aicAlphaImage::MaskUsed>("MaskUsed", Stored::MaskSource,
                                                               kMaskSources),
    boolean<&aicAlphaImage::ShadowEnabled, &aicAlphaImage::ShadowEnabled>("ShadowEnabled"),
    colour<&aicAlphaImage::ShadowColor, &aicAlphaImage::ShadowColor>("ShadowColor"),
    stored<&aicAlphaImage::ShadowOffsetX, &aicAlphaImage::ShadowOffsetX>("ShadowOffsetX",
                                                                         Stored::ShadowX),
    stored<&aicAlphaImage::ShadowOffsetY, &aicAlphaImage::ShadowOffsetY>("ShadowOffsetY",
                                                                         Stored::ShadowY),
    stored<&aicAlphaImage::ShadowDepth, &aicAlphaImage::ShadowDepth>("ShadowDepth",
                                                                     Stored::ShadowDepth),
    stored<&aicAlphaImage::ShadowOpacity, &aicAlphaImage::ShadowOpacity>("ShadowOpacity",
                                                                         Stored::ShadowOpacity),
    boolean<&aicAlphaImage::Enabled, &aicAlphaImage::Enabled>("Enabled"),
    stored<&aicAlphaImage::MousePointer, &aicAlphaImage::MousePointer>("MousePointer",
                                                                       Stored::MPointer),
    mouseIcon(),
    stored<&aicAlphaImage::OLEDropMode, &aicAlphaImage::OLEDropMode>("OLEDropMode", Stored::OLEdrop,
                                                                     kDropModes),
    imageType(),
    readOnlyBoolean<&aicAlphaImage::isMouseOver>("isMouseOver"),
    readOnlyBoolean<&aicAlphaImage::GDIplusInitialized>("GDIplusInitialized"),
    readOnlyBoolean<&aicAlphaImage::GDIplusEnabled>("GDIplusEnabled"),
};

} // namespace

std::span<const PropertySpec> Properties() {
    return kProperties;
}

const StoredProperty* FindStoredProperty(std::string_view key) {
    for (const StoredProperty& p : kStoredProperties)
        if (EqualsNoCase(p.key, key)) return &p;
    return nullptr;
}

const PropertySpec* FindProperty(std::string_view name) {
    for (const PropertySpec& p : kProperties)
        if (EqualsNoCase(p.name, name)) return &p;
    return nullptr;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::optional<bool> ParseBoolean(std::string_view text) {
    if (EqualsNoCase(text, "True") || text == "1" || text == "-1") return true;
    if (EqualsNoCase(text, "False") || text == "0") return false;
    return std::nullopt;
}

std::optional<std::int32_t> ParseNumber(std::string_view text) {
    const auto whole = [](std::string_view digits, int base, auto& out) {
        if (digits.empty()) return false;
        const auto [end, ec] =
            std::from_chars(digits.data(), digits.data() + digits.size(), out, base);
        return ec == std::errc() && end == digits.data() + digits.size();
    };
    if (text.size() > 2 && (text.substr(0, 2) == "0x" || text.substr(0, 2) == "0X" ||
                            text.substr(0, 2) == "&H" || text.substr(0, 2) == "&h")) {
        std::uint32_t pattern = 0;
        if (!whole(text.substr(2), 16, pattern)) return std::nullopt;
        return static_cast<std::int32_t>(pattern);
    }
    if (!text.empty() && text[0] == '+') text.remove_prefix(1);
    std::int32_t value = 0;
    if (!whole(text, 10, value)) return std::nullopt;
    return value;
}

std::optional<float> ParseSingle(std::string_view text) {
    float value = 0;
    if (text.empty()) return std::nullopt;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace velmora
