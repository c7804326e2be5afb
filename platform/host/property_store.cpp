#include "platform/host/property_store.h"

#include <cctype>

namespace platform {

std::string PropertyStore::key(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

const PropertyValue* PropertyStore::find(std::string_view name) const {
    const auto it = values_.find(key(name));
    return it != values_.end() ? &it->second.value : nullptr;
}

std::vector<std::string> PropertyStore::names() const {
    std::vector<std::string> out;
    out.reserve(values_.size());
    for (const auto& [lower, entry] : values_)
        out.push_back(entry.name);
    return out;
}

} // namespace platform
