// No include guard, on purpose: every platform header that declares a name
// <windows.h> turns into a macro includes this first, and the check has to
// run for each of them.
//
// The platform headers name their types, messages and calls as the system
// names them (MessageBox, DeleteFile, WM_CREATE, CF_DIB, OBJ_BITMAP, ...), so
// that code written against them reads as it would on Windows. <windows.h>
// makes many of those names macros, which would rewrite the declarations
// here. So a source sees one or the other, never both: the Win32 host's
// sources that call the system include <windows.h> only through
// platform/win32/windows_api.h, and talk to the rest of the host through
// headers of their own that declare none of these names.

#if defined(_WINDOWS_) || defined(_INC_WINDOWS) || defined(_WINUSER_) || defined(MessageBox) ||    \
    defined(DeleteFile) || defined(WM_CREATE)
#error "<windows.h> was seen: a source that sees it must not include the platform headers"
#endif

// Marks the source for platform/win32/windows_api.h, which refuses to bring
// in <windows.h> after these names.
#ifndef VELMORA_PLATFORM_NAMES
#define VELMORA_PLATFORM_NAMES 1
#endif
