#pragma once
// The one way a Win32 source reaches <windows.h>. Such a source sees the
// system's names or the platform headers' names, never both (see
// platform/host/windows_names.h): include this before anything else, and
// no platform header after it.

#include "platform/host/callback.h"

#if defined(VELMORA_PLATFORM_NAMES)
#error "platform headers were seen: a source that includes them must not see <windows.h>"
#else

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef STRICT
#define STRICT
#endif
#include <type_traits>
#include <windows.h>

// The callbacks the platform hands the system have the system's shape.
static_assert(std::is_same_v<LRESULT(VELMORA_CALLBACK*)(HWND, UINT, WPARAM, LPARAM), WNDPROC>);
static_assert(std::is_same_v<void(VELMORA_CALLBACK*)(HWND, UINT, UINT_PTR, DWORD), TIMERPROC>);

#endif
