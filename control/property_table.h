#pragma once
// The image control's public properties by name, in the order the
// control's documentation lists them: each shown as text and, unless
// read-only, set from text through the control's own setter (which keeps
// its own rules for values out of range). Tools that edit controls
// (velmora-form, the designer's property list) read this one table.

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

class aicAlphaImage;

namespace velmora {

// --- the persisted keys ----------------------------------------------------------------
// Every key the control keeps in its container's store, described once: the
// setters take their ranges from here, restoring and saving their keys,
// widths and defaults, a new control its values, and the property table
// below the ranges it offers.

// How a value is kept in a store.
enum class StoredWidth {
    Boolean,
    Int16, // read back as 16 bits, so setters keep to -32768 .. 32767
    Int32,
    Single,
    Bytes,
};

// What a setter makes of a value before its range check.
enum class Fold {
    None,
    Percent, // 0 stays 0; else |v| mod 100, with 0 read as 100 (150 is 50)
    Degrees, // v mod 360, the sign kept (-390 is -30)
};

struct StoredProperty {
    std::string_view key; // matched without regard to case
    StoredWidth width;
    // Not written when the value equals it; a missing key reads as it.
    std::int32_t storedDefault;
    std::int32_t newControl; // what a new control starts with
    std::int32_t minimum;
    std::int32_t maximum;
    Fold fold = Fold::None;
};

// The keys in the order saving writes them.
enum class Stored : std::size_t {
    Image,
    Scaler,
    Opacity,
    Mirror,
    Angle,
    Enabled,
    MPointer,
    OLEdrop,
    MIcon,
    GrayScale,
    HitTest,
    Props,
    MaskUsed,
    MaskColor,
    MaskSource,
    Mask,
    ShadowColor,
    ShadowDepth,
    ShadowX,
    ShadowY,
    ShadowOpacity,
    Intensity,
    ScaleCx,
    ScaleCy,
    Count,
};

inline constexpr std::int32_t kSystemColour15 = static_cast<std::int32_t>(0x8000000F);

inline constexpr std::array<StoredProperty, static_cast<std::size_t>(Stored::Count)>
    kStoredProperties{{
        {"Image", StoredWidth::Bytes, 0, 0, 0, 0},
        {"Scaler", StoredWidth::Int32, 0, 0, 0, 4},
        {"Opacity", StoredWidth::Int16, 100, 100, 0, 100, Fold::Percent},
        {"Mirror", StoredWidth::Int32, 0, 0, 0, 3},
        {"Angle", StoredWidth::Int32, 0, 0, -359, 359, Fold::Degrees},
        {"Enabled", StoredWidth::Boolean, 1, 1, 0, 1},
        {"MPointer", StoredWidth::Int16, 0, 0, INT16_MIN, INT16_MAX},
        // The container knows no drop modes but none and manual.
        {"OLEdrop", StoredWidth::Int16, 0, 0, 0, 1},
        {"MIcon", StoredWidth::Bytes, 0, 0, 0, 0},
        // The grey formula: the grayScale property minus 1.
        {"GrayScale", StoredWidth::Int32, -1, -1, -1, 7},
        {"HitTest", StoredWidth::Int32, 0, 0, 0, 3},
        // A store without the key has StretchQuality alone; a new control
        // has AutoSize as well.
        {"Props", StoredWidth::Int32, 1, 5, INT32_MIN, INT32_MAX},
        {"MaskUsed", StoredWidth::Boolean, 0, 0, 0, 1},
        {"MaskColor", StoredWidth::Int32, kSystemColour15, kSystemColour15, INT32_MIN, INT32_MAX},
        // The public MaskUsed property: where the mask colour comes from.
        {"MaskSource", StoredWidth::Int32, 0, 0, 0, 5},
        {"Mask", StoredWidth::Int32, kSystemColour15, kSystemColour15, INT32_MIN, INT32_MAX},
        {"ShadowColor", StoredWidth::Int32, 0x404040, 0x404040, INT32_MIN, INT32_MAX},
        {"ShadowDepth", StoredWidth::Int16, 2, 2, 0, 10},
        {"ShadowX", StoredWidth::Int16, 2, 2, INT16_MIN, INT16_MAX},
        {"ShadowY", StoredWidth::Int16, 2, 2, INT16_MIN, INT16_MAX},
        {"ShadowOpacity", StoredWidth::Int16, 50, 50, 0, 100},
        {"Intensity", StoredWidth::Single, 0, 0, -100, 100},
        {"ScaleCx", StoredWidth::Int32, 0, 0, 0, INT32_MAX},
        {"ScaleCy", StoredWidth::Int32, 0, 0, 0, INT32_MAX},
    }};

constexpr const StoredProperty& stored(Stored which) {
    return kStoredProperties[static_cast<std::size_t>(which)];
}

// The value as the control keeps it, or nothing for a value its setter
// ignores.
constexpr std::optional<std::int32_t> Accept(const StoredProperty& p, std::int32_t value) {
    if (p.fold == Fold::Percent && value != 0) {
        // In 64 bits, where the smallest 32-bit number has an absolute value.
        const std::int64_t magnitude = value < 0 ? -std::int64_t{value} : std::int64_t{value};
        value = static_cast<std::int32_t>(magnitude % 100);
        if (value == 0) value = 100;
    } else if (p.fold == Fold::Degrees) {
        value %= 360;
    }
    if (value < p.minimum || value > p.maximum) return std::nullopt;
    return value;
}

// The key's row, without regard to case; null for a key the control does
// not know.
const StoredProperty* FindStoredProperty(std::string_view key);

// --- the public properties --------------------------------------------------------------

struct PropertySpec {
    enum class Kind {
        Boolean, // True or False
        Number,  // a 32-bit number, within [minimum, maximum]
        Colour,  // 0x00BBGGRR, or a system colour (high bit set)
        Single,  // a single-precision number, within [minimum, maximum]
        Picture, // a picture file's bytes; set from the file's path
    };

    std::string_view name;
    Kind kind;
    // The values the setter takes; others it ignores or folds into range.
    std::int32_t minimum = INT32_MIN;
    std::int32_t maximum = INT32_MAX;
    // Names of the values minimum, minimum + 1, ... for properties that
    // choose one of a few; empty otherwise.
    std::span<const std::string_view> choices;
    // The value as text: True/False, decimal numbers.
    std::string (*show)(const aicAlphaImage& control);
    // Sets the value from text; false when the text is no value of the
    // property's type. Null for read-only properties.
    bool (*set)(aicAlphaImage& control, std::string_view text, std::string& error);

    bool readOnly() const { return set == nullptr; }
};

std::span<const PropertySpec> Properties();
// The property of that name, without regard to case; null when none.
const PropertySpec* FindProperty(std::string_view name);

// Names compare without regard to ASCII case.
bool EqualsNoCase(std::string_view a, std::string_view b);

// Text to values, as command lines and property lists give them.
std::optional<bool> ParseBoolean(std::string_view text);
// Decimal with an optional sign, or hexadecimal after 0x or &H (read as
// the 32-bit pattern, so 0x8000000F names a system colour).
std::optional<std::int32_t> ParseNumber(std::string_view text);
std::optional<float> ParseSingle(std::string_view text);

} // namespace velmora
