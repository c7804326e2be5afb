#pragma once
// The image control's public properties by name, in the order the
// control's documentation lists them: each shown as text and, unless
// read-only, set from text through the control's own setter (which keeps
// its own rules for values out of range). Tools that edit controls
// (velmora-form, the designer's property list) read this one table.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

class aicAlphaImage;

namespace velmora {

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
