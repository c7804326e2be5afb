#pragma once
// Resources compiled into a program or a component: raw data under a named
// section, and pictures (bitmaps, icons, cursors) under a numbered kind,
// each found by a number or a name. The build step velmora_resources()
// (platform/CMakeLists.txt) turns files into arrays and registers them in
// the program's own table before main() runs; a component keeps a table of
// its own and hands it to whoever loads from it.

#include "platform/picture/picture.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace platform {

// A resource or section identifier: a number, or a name. Names match
// without regard to ASCII case, and "#123" names the number 123.
using ResourceName = std::variant<std::int32_t, std::string>;

// The numbered kinds of picture resources.
inline constexpr std::int16_t kResBitmap = 0;
inline constexpr std::int16_t kResIcon = 1;
inline constexpr std::int16_t kResCursor = 2;

class ResourceModule {
public:
    // The bytes are viewed, not copied: they must live as long as the
    // table, as compiled-in arrays do. A later registration under the same
    // section (or kind) and name replaces the earlier one.
    void AddData(std::string section, ResourceName name, std::span<const std::uint8_t> bytes);
    // A bitmap is a bitmap file or a packed DIB; an icon or cursor is an
    // icon or cursor file.
    void AddPicture(std::int16_t kind, ResourceName name, std::span<const std::uint8_t> bytes);

    // The raw data of a resource in a named section.
    std::optional<std::span<const std::uint8_t>> LoadResData(const ResourceName& name,
                                                             const std::string& section) const;
    // A picture object for a picture resource: a bitmap, or the icon or
    // cursor of the system's 32 x 32 size. Null when there is no such
    // resource or its bytes do not decode.
    std::unique_ptr<Picture> LoadResPicture(const ResourceName& name, std::int16_t kind) const;

    std::size_t size() const { return entries_.size(); }

private:
    // A data section's name, or a picture kind.
    using Section = std::variant<std::string, std::int16_t>;
    struct Entry {
        Section section;
        ResourceName name;
        std::span<const std::uint8_t> bytes;
    };
    const Entry* find(const Section& section, const ResourceName& name) const;
    void add(Section section, ResourceName name, std::span<const std::uint8_t> bytes);

    std::vector<Entry> entries_;
};

// The program's own resources.
ResourceModule& ProgramResources();

} // namespace platform
