/* A stand-in imaging service with a PNG encoder that answers a marker (or
   fails, when built with FAKEIMAGING_FAILS), so a test can tell whether the
   surface's PNG saving asked the service first. */

#include <stddef.h>
#include <stdint.h>

int velmora_imaging_startup(void) { return 0; }

typedef int (*sink_fn)(void* context, const uint8_t* bytes, size_t size);

int velmora_imaging_encode_png(const uint8_t* bits, int32_t width, int32_t height, size_t stride,
                               int32_t hasAlpha, const char* fileName, sink_fn sink,
                               void* context) {
    (void)bits; (void)width; (void)height; (void)stride; (void)hasAlpha;
#ifdef FAKEIMAGING_FAILS
    (void)fileName; (void)sink; (void)context;
    return 1;
#else
    static const uint8_t marker[] = {'F', 'A', 'K', 'E', 'P', 'N', 'G'};
    if (fileName && fileName[0]) return 1;
    return sink(context, marker, sizeof marker);
#endif
}
