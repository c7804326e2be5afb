#include "imaging/src/test_seam.h"

#include "imaging/src/internal.h"

extern "C" void velmora_imaging_test_break_startup(int32_t broken) {
    vimg::breakStartup(broken != 0);
}
