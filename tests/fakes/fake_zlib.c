/* A stand-in zlib whose functions answer recognisable values, so a test can
   tell which library and which entry point the binding called. */

#define FAKE_CRC 0x12345678ul
#define FAKE_COMPRESS 0x42
#define FAKE_COMPRESS2 0x43

#ifndef FAKEZ_NOCRC
unsigned long crc32(unsigned long crc, const unsigned char* buf, unsigned int len) {
    (void)crc;
    (void)buf;
    (void)len;
    return FAKE_CRC;
}
#endif

static int fill(unsigned char* dest, unsigned long* destLen, unsigned char marker) {
    if (*destLen < 1) return -5;
    dest[0] = marker;
    *destLen = 1;
    return 0;
}

int compress(unsigned char* dest, unsigned long* destLen, const unsigned char* src,
             unsigned long srcLen) {
    (void)src;
    (void)srcLen;
    return fill(dest, destLen, FAKE_COMPRESS);
}

#ifndef FAKEZ_NOCOMPRESS2
int compress2(unsigned char* dest, unsigned long* destLen, const unsigned char* src,
              unsigned long srcLen, int level) {
    (void)src;
    (void)srcLen;
    (void)level;
    return fill(dest, destLen, FAKE_COMPRESS2);
}
#endif

int uncompress(unsigned char* dest, unsigned long* destLen, const unsigned char* src,
               unsigned long srcLen) {
    (void)dest;
    (void)destLen;
    (void)src;
    (void)srcLen;
    return -3;
}

/* Arity and argument-order probes for the cdecl caller. */
long fake_sum5(long a, long b, long c, long d, long e) {
    return a + 10 * b + 100 * c + 1000 * d + 10000 * e;
}
long fake_noargs(void) {
    return 7;
}
