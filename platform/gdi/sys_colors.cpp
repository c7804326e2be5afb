#include "platform/gdi/sys_colors.h"

#include <array>

namespace platform {

namespace {

// The default desktop scheme, index by index.
constexpr std::array<COLORREF, COLOR_MENUBAR + 1> kSchemeColors = {
    0xC8C8C8, // scroll bar
    0x000000, // desktop
    0xD1B499, // active caption
    0xDBCDBF, // inactive caption
    0xF0F0F0, // menu
    0xFFFFFF, // window
    0x646464, // window frame
    0x000000, // menu text
    0x000000, // window text
    0x000000, // caption text
    0xB4B4B4, // active border
    0xFCF7F4, // inactive border
    0xABABAB, // application workspace
    0xD77800, // highlight
    0xFFFFFF, // highlight text
    0xF0F0F0, // button face
    0xA0A0A0, // button shadow
    0x6D6D6D, // grey text
    0x000000, // button text
    0x000000, // inactive caption text
    0xFFFFFF, // button highlight
    0x696969, // 3-D dark shadow
    0xE3E3E3, // 3-D light
    0x000000, // tooltip text
    0xE1FFFF, // tooltip background
    0x000000, // (unused)
    0xCC6600, // hot-tracked item
    0xEAD1B9, // active caption gradient
    0xF2E4D7, // inactive caption gradient
    0xFF9933, // menu highlight
    0xF0F0F0, // menu bar
};

} // namespace

COLORREF GetSysColor(int index) {
    if (index < 0 || index >= static_cast<int>(kSchemeColors.size())) return 0;
    return kSchemeColors[static_cast<std::size_t>(index)];
}

COLORREF TranslateColor(std::int32_t color) {
    if (color < 0) return GetSysColor(color & 0xFF);
    return static_cast<COLORREF>(color) & 0xFFFFFF;
}

} // namespace platform
