/* A zlib without "compress2": the other three entry points forward to the
   system's zlib, opened at run time so that none of its exports shows
   through this library. The PNG writer must then deflate with "compress". */

#include <stddef.h>

#ifdef _WIN32
#include <windows.h>

/* The zlib1.dll beside the test program, which Windows looks in first. */
static void* real(const char* name) {
    static HMODULE lib;
    if (!lib) lib = LoadLibraryA("zlib1.dll");
    return lib ? (void*)GetProcAddress(lib, name) : NULL;
}
#else
#include <dlfcn.h>

static void* real(const char* name) {
    static void* lib;
    if (!lib) lib = dlopen("libz.so.1", RTLD_NOW | RTLD_LOCAL);
    return lib ? dlsym(lib, name) : NULL;
}
#endif

unsigned long crc32(unsigned long crc, const unsigned char* buf, unsigned int len) {
    unsigned long (*fn)(unsigned long, const unsigned char*, unsigned int) = real("crc32");
    return fn ? fn(crc, buf, len) : 0;
}

int compress(unsigned char* dest, unsigned long* destLen, const unsigned char* src,
             unsigned long srcLen) {
    int (*fn)(unsigned char*, unsigned long*, const unsigned char*, unsigned long) =
        real("compress");
    return fn ? fn(dest, destLen, src, srcLen) : -2;
}

int uncompress(unsigned char* dest, unsigned long* destLen, const unsigned char* src,
               unsigned long srcLen) {
    int (*fn)(unsigned char*, unsigned long*, const unsigned char*, unsigned long) =
        real("uncompress");
    return fn ? fn(dest, destLen, src, srcLen) : -2;
}
