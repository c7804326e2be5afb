/* A stand-in imaging service with a PNG encoder that answers a marker (or
   fails, when built with FAKEIMAGING_FAILS, or is missing, when built with
   FAKEIMAGING_NOPNG), so a test can tell whether the surface's PNG saving
   asked the service first, and sessions that it counts
   (whose start fails when built with FAKEIMAGING_NOSESSION), so a test can
   tell how often a session was started and shut down. Built with
   FAKEIMAGING_OLDVERSION it answers an interface version before the
   header's. It counts how often its version is asked, so a test can tell
   how often the bridge bound it. */

#include "imaging/velmora_imaging.h"

#include <stddef.h>
#include <stdint.h>

static int32_t versionAsked;

int32_t velmora_imaging_version(void) {
    ++versionAsked;
#ifdef FAKEIMAGING_OLDVERSION
    return VELMORA_IMAGING_ABI_VERSION - 1;
#else
    return VELMORA_IMAGING_ABI_VERSION;
#endif
}
int32_t velmora_fake_imaging_version_asked(void) {
    return versionAsked;
}

static int32_t startups;
static int32_t shutdowns;
static int32_t live;
static int32_t lastShutdownToken;

int32_t velmora_imaging_startup(int32_t* token) {
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

int32_t velmora_imaging_shutdown(int32_t token) {
    ++shutdowns;
    lastShutdownToken = token;
    if (live > 0) --live;
    return 0;
}

/* What the tests read. */
int32_t velmora_fake_imaging_startups(void) {
    return startups;
}
int32_t velmora_fake_imaging_shutdowns(void) {
    return shutdowns;
}
int32_t velmora_fake_imaging_live_sessions(void) {
    return live;
}
int32_t velmora_fake_imaging_last_shutdown_token(void) {
    return lastShutdownToken;
}

/* The encoder list: one PNG encoder, or (FAKEIMAGING_NOPNG) one for
   another format only. */
typedef velmora_imaging_codec codec;

int32_t velmora_imaging_encoders(codec* out, int32_t capacity) {
#ifdef FAKEIMAGING_NOPNG
    static const codec only = {{0x4A, 0x50, 0x47}, "JPEG", "image/jpeg", "*.JPG"};
#else
    static const codec only = {{0x50, 0x4E, 0x47}, "PNG", "image/png", "*.PNG"};
#endif
    if (capacity >= 1 && out) out[0] = only;
    return 1;
}

typedef velmora_imaging_sink sink_fn;

/* Answers the marker bytes to a sink (or fails); never writes a file. */
int32_t velmora_imaging_encode_memory(const velmora_imaging_pixels* pixels, const uint8_t clsid[16],
                                      sink_fn sink, void* context) {
    (void)pixels;
    (void)clsid;
#ifdef FAKEIMAGING_FAILS
    (void)sink;
    (void)context;
    return 5;
#else
    static const uint8_t marker[] = {'F', 'A', 'K', 'E', 'P', 'N', 'G'};
    return sink(context, marker, sizeof marker);
#endif
}

int32_t velmora_imaging_encode_file(const velmora_imaging_pixels* pixels, const uint8_t clsid[16],
                                    const char* path) {
    (void)pixels;
    (void)clsid;
    (void)path;
    return 9;
}
