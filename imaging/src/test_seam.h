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

/* Decodes a JPEG, TIFF or WebP file in memory as velmora_imaging_decode_memory
   does, but with its format's library loaded from `soname` instead of the
   runtime name; VELMORA_IMAGING_UNKNOWN_FORMAT for any other data. */
VELMORA_IMAGING_API int32_t velmora_imaging_test_decode_memory_on(const char* soname,
                                                                  const uint8_t* data, size_t size,
                                                                  velmora_imaging_allocate allocate,
                                                                  void* context);

#ifdef __cplusplus
}
#endif
