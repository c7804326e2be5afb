#pragma once
// The system colours: the colours of the desktop's scheme, by index, and
// the translation of colour values that may name one.

#include "platform/gdi/types.h"

#include <cstdint>

namespace platform {

inline constexpr int COLOR_BTNFACE = 15;
inline constexpr int COLOR_MENUBAR = 30;

// The colour of a system colour index (0 to COLOR_MENUBAR) in the default
// scheme, 0 for any other index.
COLORREF GetSysColor(int index);

// A colour value as controls take it: a negative value names a system
// colour by its low byte (0x8000000F is the button face); any other value
// is 0x00BBGGRR, its high byte ignored.
COLORREF TranslateColor(std::int32_t color);

} // namespace platform
