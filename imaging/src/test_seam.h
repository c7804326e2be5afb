#pragma once
// The entry only the test build of the library (libvelmora-imaging-testing)
// exports; the library the program loads has no way to break itself.

#include "imaging/velmora_imaging.h"

#ifdef __cplusplus
extern "C" {
#endif

/* While `broken` is non-zero, startup behaves as if a library underneath
   could not be set up. */
VELMORA_IMAGING_API void velmora_imaging_test_break_startup(int32_t broken);

#ifdef __cplusplus
}
#endif
