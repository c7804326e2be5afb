/* A stand-in imaging service with a PNG encoder that answers a marker (or
   fails, when built with FAKEIMAGING_FAILS), so a test can tell whether the
   surface's PNG saving asked the service first, and sessions that it counts
   (whose start fails when built with FAKEIMAGING_NOSESSION), so a test can
   tell how often a session was started and shut down. */

#include <stddef.h>
#include <stdint.h>

static int32_t startups;
static int32_t shutdowns;
static int32_t live;
static int32_t lastShutdownToken;

int velmora_imaging_startup(int32_t* token) {
#ifdef FAKEIMAGING_NOSESSION
    if (token) *token = 0;
    return 1;
#else
    if (!token) return 2;
    ++startups;
    ++live;
    *token = 0x4000 + startups;
    return 0;
#endif
}

void velmora_imaging_shutdown(int32_t token) {
    ++shutdowns;
    lastShutdownToken = token;
    if (live > 0) --live;
}

/* What the tests read. */
int32_t velmora_fake_imaging_startups(void) { return startups; }
int32_t velmora_fake_imaging_shutdowns(void) { return shutdowns; }
int32_t velmora_fake_imaging_live_sessions(void) { return live; }
int32_t velmora_fake_imaging_last_shutdown_token(void) { return lastShutdownToken; }

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
