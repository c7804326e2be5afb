#include "platform/host/event_text.h"

#include <charconv>
#include <type_traits>
#include <variant>

namespace platform {
namespace {

std::string formatArg(const EventArg& arg) {
    return std::visit(
        [](const auto& value) -> std::string {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, bool>) {
                return value ? "True" : "False";
            } else if constexpr (std::is_same_v<T, std::string>) {
                return value;
            } else if constexpr (std::is_same_v<T, DataObject*>) {
                return "Data";
            } else if constexpr (std::is_same_v<T, float>) {
                char text[32];
                const auto result = std::to_chars(text, text + sizeof text, value);
                return std::string(text, result.ptr);
            } else {
                return std::to_string(value);
            }
        },
        arg);
}

} // namespace

std::string EventText(std::string_view control, std::string_view event,
                      std::span<const EventArg> args) {
    std::string line(control);
    line += '.';
    line += event;
    for (const EventArg& arg : args) {
        line += ' ';
        line += formatArg(arg);
    }
    return line;
}

} // namespace platform
