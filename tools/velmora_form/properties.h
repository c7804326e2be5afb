#pragma once
// velmora-form: the image control's public properties by name, in the
// order the control's documentation lists them, each shown as text and,
// unless read-only, set from text through the control's own setter.

#include <optional>
#include <span>
#include <string>
#include <string_view>

class aicAlphaImage;

namespace velmora_form {

struct PropertySpec {
    std::string_view name;
    // The value as `show` prints it: True/False, decimal numbers.
    std::string (*show)(const aicAlphaImage& control);
    // Sets the value from text; false when the text is no value of the
    // property's type. Null for read-only properties.
    bool (*set)(aicAlphaImage& control, std::string_view text, std::string& error);
};

std::span<const PropertySpec> Properties();
// The property of that name, without regard to case; null when none.
const PropertySpec* FindProperty(std::string_view name);

// Names compare without regard to ASCII case.
bool EqualsNoCase(std::string_view a, std::string_view b);

// Text to values, as the command line gives them.
std::optional<bool> ParseBoolean(std::string_view text);
// Decimal with an optional sign, or hexadecimal after 0x or &H (read as
// the 32-bit pattern, so 0x8000000F names a system colour).
std::optional<std::int32_t> ParseNumber(std::string_view text);
std::optional<float> ParseSingle(std::string_view text);

} // namespace velmora_form
