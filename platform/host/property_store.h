#pragma once
// A control's persisted properties: named values whose names match without
// regard to case, as a container's property store keeps them. How a
// container lays the store out on disk is its own business.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace platform {

using PropertyValue =
    std::variant<bool, std::int32_t, float, std::string, std::vector<std::uint8_t>>;

class PropertyStore {
public:
    // The stored value, or the default when the key is missing or holds a
    // value of another kind (a 32-bit number read as Boolean is non-zero).
    template <typename T>
    T ReadProperty(std::string_view name, T defaultValue) const {
        const PropertyValue* value = find(name);
        if (value == nullptr) return defaultValue;
        if (const T* same = std::get_if<T>(value)) return *same;
        if constexpr (std::is_same_v<T, bool>) {
            if (const auto* number = std::get_if<std::int32_t>(value)) return *number != 0;
        } else if constexpr (std::is_same_v<T, std::int32_t>) {
            if (const auto* flag = std::get_if<bool>(value)) return *flag ? -1 : 0;
        } else if constexpr (std::is_same_v<T, std::string>) {
            if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(value))
                return std::string(bytes->begin(), bytes->end());
        } else if constexpr (std::is_same_v<T, std::vector<std::uint8_t>>) {
            // A store keeps texts and byte arrays alike.
            if (const auto* text = std::get_if<std::string>(value))
                return std::vector<std::uint8_t>(text->begin(), text->end());
        } else if constexpr (std::is_same_v<T, float>) {
            // A store written by hand may hold a whole number where a
            // single-precision value is read.
            if (const auto* number = std::get_if<std::int32_t>(value))
                return static_cast<float>(*number);
        }
        return defaultValue;
    }
    // Stores the value, or removes the key when the value equals the
    // default, so that defaults are never written.
    template <typename T>
    void WriteProperty(std::string_view name, T value, const std::optional<T>& defaultValue) {
        if (defaultValue && value == *defaultValue)
            erase(name);
        else
            set(name, PropertyValue(std::move(value)));
    }
    template <typename T>
    void WriteProperty(std::string_view name, T value) {
        WriteProperty(name, std::move(value), std::optional<T>{});
    }

    bool contains(std::string_view name) const { return find(name) != nullptr; }
    void erase(std::string_view name);
    void clear() { values_.clear(); }
    std::size_t size() const { return values_.size(); }
    // The keys as first written, in the order they were first written.
    std::vector<std::string> names() const;
    const PropertyValue* find(std::string_view name) const;
    // Stores a value of any kind; a key already present keeps its place
    // and its spelling.
    void set(std::string_view name, PropertyValue value);

private:
    struct Entry {
        std::string name;
        PropertyValue value;
    };
    Entry* entry(std::string_view name);
    const Entry* entry(std::string_view name) const;
    // A control keeps a few dozen keys: a list in writing order is both
    // the simplest and the fastest store.
    std::vector<Entry> values_;
};

} // namespace platform
