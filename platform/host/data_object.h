#pragma once
// What a drag-and-drop or a paste hands over: the data object of a drop
// event, and the drop-file lists (DROPFILES blocks) that carry file names
// between programs.

#include "platform/host/windows_names.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform {

inline constexpr std::uint32_t DVASPECT_CONTENT = 1;
inline constexpr std::uint32_t TYMED_HGLOBAL = 1;

// A format description, as the platform's data objects take it.
struct FORMATETC {
    std::uint16_t cfFormat = 0;
    const void* ptd = nullptr; // target device; none
    std::uint32_t dwAspect = DVASPECT_CONTENT;
    std::int32_t lindex = -1;
    std::uint32_t tymed = TYMED_HGLOBAL;
};

// The data object of a drop event: the formats it offers, its file
// collection (the names as the narrow file list gives them, so names
// outside the narrow character set may arrive mangled) and the platform
// data object behind it.
class DataObject {
public:
    virtual ~DataObject() = default;
    virtual bool GetFormat(unsigned format) const = 0;
    // The platform data object's answer for a format description: the
    // bytes of the memory block it hands out; none when the call fails.
    virtual std::optional<std::vector<std::uint8_t>> GetData(const FORMATETC& format) const = 0;

    std::vector<std::string>& Files() { return files_; }
    const std::vector<std::string>& Files() const { return files_; }

private:
    std::vector<std::string> files_;
};

#pragma pack(push, 1)
struct DROPFILES {
    std::uint32_t pFiles = 20; // offset of the name list from the block's start
    std::int32_t x = 0;        // drop point
    std::int32_t y = 0;
    std::uint32_t fNC = 0;   // dropped on the non-client area
    std::uint32_t fWide = 0; // names in UTF-16 rather than narrow characters
};
#pragma pack(pop)
static_assert(sizeof(DROPFILES) == 20);

// The header of a drop-file block; none when the block is too short.
std::optional<DROPFILES> ReadDropFilesHeader(std::span<const std::uint8_t> block);

// Up to `limit` names of a drop-file list, as UTF-8: each name ends at its
// terminator, the list at an empty name. A list that runs off the block's
// end stops there (a last unterminated name is kept as far as it goes), and
// an offset outside the block gives no names. Narrow names are taken as
// this platform's narrow character set, UTF-8; UTF-16 that does not pair
// up becomes U+FFFD.
std::vector<std::string> ReadDropFileNames(std::span<const std::uint8_t> block,
                                           std::size_t limit = static_cast<std::size_t>(-1));

// A drop-file block for the names (UTF-8), wide or narrow; what a host or a
// test puts on the clipboard or in a data object.
std::vector<std::uint8_t> MakeDropFiles(const std::vector<std::string>& names, bool wide);

} // namespace platform
