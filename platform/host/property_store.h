#pragma once
// A control's persisted properties: named values whose names match without
// regard to case, as a container's property store keeps them. How a
// container lays the store out on disk is its own business.

#include <cstdint>
#include <map>
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
            values_[key(name)] = Entry{std::string(name), PropertyValue(std::move(value))};
    }
    template <typename T>
    void WriteProperty(std::string_view name, T value) {
        WriteProperty(name, std::move(value), std::optional<T>{});
    }

    bool contains(std::string_view name) const { return find(name) != nullptr; }
    void erase(std::string_view name) { values_.erase(key(name)); }
    void clear() { values_.clear(); }
    std::size_t size() const { return values_.size(); }
    // The keys as written, in no particular order.
    std::vector<std::string> names() const;
    const PropertyValue* find(std::string_view name) const;

private:
    struct Entry {
        std::string name;
        PropertyValue value;
    };
    static std::string key(std::string_view name);
    std::map<std::string, Entry> values_;
};

} // namespace platform
