#include "platform/resources/resources.h"

#include "platform/gdi/gdi.h"
#include "platform/picture/icon_file.h"

#include <algorithm>
#include <charconv>

namespace platform {
namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// "#123" is the number 123, as resource compilers write numbers as names.
ResourceName canonical(const ResourceName& name) {
    const auto* text = std::get_if<std::string>(&name);
    if (!text || text->size() < 2 || (*text)[0] != '#') return name;
    std::int32_t number = 0;
    const char* end = text->data() + text->size();
    const auto [at, ec] = std::from_chars(text->data() + 1, end, number);
    return ec == std::errc() && at == end ? ResourceName{number} : name;
}

bool sameText(const std::string& s, const std::string& t) {
    return std::equal(s.begin(), s.end(), t.begin(), t.end(),
                      [](char c, char d) { return lower(c) == lower(d); });
}

bool sameName(const ResourceName& a, const ResourceName& b) {
    const ResourceName x = canonical(a);
    const ResourceName y = canonical(b);
    if (x.index() != y.index()) return false;
    if (const auto* n = std::get_if<std::int32_t>(&x)) return *n == std::get<std::int32_t>(y);
    return sameText(std::get<std::string>(x), std::get<std::string>(y));
}

template <typename Section>
bool sameSection(const Section& a, const Section& b) {
    if (a.index() != b.index()) return false;
    if (const auto* kind = std::get_if<std::int16_t>(&a)) return *kind == std::get<std::int16_t>(b);
    return sameText(std::get<std::string>(a), std::get<std::string>(b));
}

} // namespace

const ResourceModule::Entry* ResourceModule::find(const Section& section,
                                                  const ResourceName& name) const {
    for (const Entry& e : entries_)
        if (sameSection(e.section, section) && sameName(e.name, name)) return &e;
    return nullptr;
}

void ResourceModule::add(Section section, ResourceName name, std::span<const std::uint8_t> bytes) {
    for (Entry& e : entries_)
        if (sameSection(e.section, section) && sameName(e.name, name)) {
            e.bytes = bytes;
            return;
        }
    entries_.push_back({std::move(section), std::move(name), bytes});
}

void ResourceModule::AddData(std::string section, ResourceName name,
                             std::span<const std::uint8_t> bytes) {
    add(std::move(section), std::move(name), bytes);
}

void ResourceModule::AddPicture(std::int16_t kind, ResourceName name,
                                std::span<const std::uint8_t> bytes) {
    add(kind, std::move(name), bytes);
}

std::optional<std::span<const std::uint8_t>>
ResourceModule::LoadResData(const ResourceName& name, const std::string& section) const {
    const Entry* e = find(section, name);
    if (!e) return std::nullopt;
    return e->bytes;
}

std::unique_ptr<Picture> ResourceModule::LoadResPicture(const ResourceName& name,
                                                        std::int16_t kind) const {
    const Entry* e = find(kind, name);
    if (!e) return nullptr;
    switch (kind) {
    case kResBitmap: {
        const auto bytes = e->bytes;
        auto picture = bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M'
                           ? ReadPicture(bytes)
                           : ReadPackedDib(bytes);
        return picture ? std::move(*picture) : nullptr;
    }
    case kResIcon:
    case kResCursor: {
        const HICON icon = CreateIconFromFile(e->bytes);
        if (!icon) return nullptr;
        auto picture = CreatePictureIndirect(icon, PICTYPE_ICON);
        if (!picture) DeleteObject(icon);
        return picture;
    }
    default:
        return nullptr;
    }
}

ResourceModule& ProgramResources() {
    static ResourceModule program;
    return program;
}

} // namespace platform
