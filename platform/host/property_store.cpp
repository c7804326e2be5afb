#include "platform/host/property_store.h"

#include <algorithm>
#include <cctype>

namespace platform {
namespace {

bool sameKey(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

PropertyStore::Entry* PropertyStore::entry(std::string_view name) {
    const auto it = std::find_if(values_.begin(), values_.end(),
                                 [&](const Entry& e) { return sameKey(e.name, name); });
    return it != values_.end() ? &*it : nullptr;
}

const PropertyStore::Entry* PropertyStore::entry(std::string_view name) const {
    return const_cast<PropertyStore*>(this)->entry(name);
}

const PropertyValue* PropertyStore::find(std::string_view name) const {
    const Entry* e = entry(name);
    return e != nullptr ? &e->value : nullptr;
}

void PropertyStore::set(std::string_view name, PropertyValue value) {
    if (Entry* e = entry(name))
        e->value = std::move(value);
    else
        values_.push_back(Entry{std::string(name), std::move(value)});
}

void PropertyStore::erase(std::string_view name) {
    std::erase_if(values_, [&](const Entry& e) { return sameKey(e.name, name); });
}

std::vector<std::string> PropertyStore::names() const {
    std::vector<std::string> out;
    out.reserve(values_.size());
    for (const Entry& e : values_)
        out.push_back(e.name);
    return out;
}

} // namespace platform
