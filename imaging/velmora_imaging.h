/* libvelmora-imaging: the imaging service of Velmora.
 *
 * A small library with a C interface that decodes image files into
 * premultiplied 32-bit pixels, encodes such pixels as PNG and draws a region
 * of one pixel buffer onto another (scaled, mirrored, rotated, through a
 * colour matrix). The program finds it at run time and works without it.
 *
 * Pixels
 *   Every buffer holds four bytes a pixel in the order blue, green, red,
 *   alpha, the colour premultiplied by alpha (each colour <= alpha). A buffer
 *   is described by `velmora_imaging_pixels`: `bits` is the first byte in
 *   memory, rows lie `stride` bytes apart, and `bottom_up` tells whether the
 *   first row in memory is the image's bottom row (the layout of a bottom-up
 *   device-independent bitmap) or its top row.
 *
 *   Premultiplying is colour x alpha / 255, truncated; un-premultiplying is
 *   colour x 255 / alpha, truncated, with 0 for alpha 0.
 *
 * Sessions
 *   Work happens inside a session: velmora_imaging_startup() hands out a
 *   non-zero token, velmora_imaging_shutdown() ends it. Decoding, encoding
 *   and drawing answer VELMORA_IMAGING_NO_SESSION while no session is live,
 *   whoever started the live one.
 *
 * Results
 *   Every entry answers a status: VELMORA_IMAGING_OK (0) or one of the
 *   failure codes below; velmora_imaging_status_text() names them. Bad input
 *   is a failure code, never a crash. No entry keeps a pointer it was given
 *   after it returns.
 *
 * Threads
 *   Every entry may be called from any thread; calls on distinct buffers do
 *   not interfere.
 *
 * Callbacks
 *   The allocator and the sink a caller passes run inside the library, on
 *   the calling thread, between the library's own setup and cleanup. They
 *   must return normally: no C++ exception may leave them and they may not
 *   leave by a long jump, or the library's resources leak and its state is
 *   undefined. They may not call any entry of this library. A refusal is
 *   said by a non-zero answer.
 *
 * Hostile data
 *   Before a decode asks for pixel memory, the header has been checked
 *   against the data it came with: a picture the data cannot hold (compressed
 *   data shorter than the least the format needs for the declared size, a
 *   strip beyond the end of the file, scans costing far more than the
 *   picture) is refused as VELMORA_IMAGING_DAMAGED without any allocation of
 *   the picture's size. Data that ends before the picture does is damage.
 */
#ifndef VELMORA_IMAGING_H
#define VELMORA_IMAGING_H

#include <stddef.h>
#include <stdint.h>

#if defined(VELMORA_IMAGING_BUILD)
#define VELMORA_IMAGING_API __attribute__((visibility("default")))
#else
#define VELMORA_IMAGING_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The interface version velmora_imaging_version() answers; it changes
   whenever an entry or a structure below changes. */
#define VELMORA_IMAGING_ABI_VERSION 2

/* --- status codes ------------------------------------------------------- */
#define VELMORA_IMAGING_OK 0
#define VELMORA_IMAGING_BAD_ARGUMENT 1   /* a null pointer, a bad size or rectangle */
#define VELMORA_IMAGING_NO_SESSION 2     /* no session is live */
#define VELMORA_IMAGING_INIT_FAILED 3    /* a library underneath could not be set up */
#define VELMORA_IMAGING_UNKNOWN_FORMAT 4 /* the data starts like no format decoded here */
#define VELMORA_IMAGING_DAMAGED 5        /* the data is cut short or malformed */
#define VELMORA_IMAGING_UNSUPPORTED 6    /* a valid file using a variant not decoded here */
#define VELMORA_IMAGING_TOO_LARGE 7      /* over the pixel limit, or a draw too large to do */
#define VELMORA_IMAGING_NO_MEMORY 8
#define VELMORA_IMAGING_IO_ERROR 9            /* the file could not be read or written */
#define VELMORA_IMAGING_ALLOCATION_REFUSED 10 /* the caller's allocator answered non-zero */
#define VELMORA_IMAGING_SINK_FAILED 11        /* the caller's sink answered non-zero */
#define VELMORA_IMAGING_UNKNOWN_ENCODER 12

/* --- source formats ------------------------------------------------------ */
#define VELMORA_IMAGING_FORMAT_JPEG 1
#define VELMORA_IMAGING_FORMAT_TIFF 2
#define VELMORA_IMAGING_FORMAT_PNG 3
#define VELMORA_IMAGING_FORMAT_GIF 4
#define VELMORA_IMAGING_FORMAT_BMP 5
#define VELMORA_IMAGING_FORMAT_ICO 6
#define VELMORA_IMAGING_FORMAT_WEBP 7

/* --- interpolation ------------------------------------------------------- */
#define VELMORA_IMAGING_NEAREST 0
#define VELMORA_IMAGING_BILINEAR 1
#define VELMORA_IMAGING_BICUBIC 2 /* separable cubic convolution, box-filtered when shrinking */

typedef struct velmora_imaging_pixels {
    uint8_t* bits;     /* first byte in memory */
    int32_t width;     /* pixels, >= 1 */
    int32_t height;    /* pixels, >= 1 */
    int32_t stride;    /* bytes between rows in memory, >= width x 4, a multiple of 4 */
    int32_t bottom_up; /* non-zero: the first row in memory is the bottom image row */
} velmora_imaging_pixels;

/* Asked once by a decode, after the header was read and the size checked,
   for width x height pixels. Fill `out` (width and height as asked) and
   answer 0; anything else ends the decode with
   VELMORA_IMAGING_ALLOCATION_REFUSED. The memory needs no clearing and
   should not be cleared (clearing touches every page of a picture the data
   may yet turn out not to hold): a successful decode writes every pixel.
   After a failed decode its content is undefined and the caller releases
   it. */
typedef int32_t (*velmora_imaging_allocate)(void* context, int32_t width, int32_t height,
                                            velmora_imaging_pixels* out);

/* Receives encoded bytes in order; answer 0 to go on. */
typedef int32_t (*velmora_imaging_sink)(void* context, const uint8_t* bytes, size_t size);

/* The strings are constants of the library: they stay valid as long as
   the library is loaded, and the caller never frees them. */
typedef struct velmora_imaging_codec {
    uint8_t clsid[16];       /* identifies the codec, stable across versions */
    const char* format_name; /* "PNG" */
    const char* mime_type;   /* "image/png" */
    const char* extensions;  /* "*.PNG" */
} velmora_imaging_codec;

typedef struct velmora_imaging_draw_params {
    /* The region of the source drawn, in source pixels from its top-left
       corner; parts outside the source are transparent. Width and height
       > 0. */
    float src_x, src_y, src_width, src_height;
    /* Where the region lands before the world transform: its top-left
       corner goes to (dest_x, dest_y). A negative width or height mirrors
       the region, so that dest_x (dest_y) is then its right (bottom) edge. */
    float dest_x, dest_y, dest_width, dest_height;
    /* The world transform applied after that, as a row vector times a 3x2
       matrix: x' = m[0] x + m[2] y + m[4], y' = m[1] x + m[3] y + m[5].
       The identity is {1, 0, 0, 1, 0, 0}. */
    float world[6];
    int32_t interpolation; /* VELMORA_IMAGING_NEAREST, _BILINEAR or _BICUBIC */
    /* Optional 5x5 colour matrix, row after row (NULL for none). A source
       colour is un-premultiplied to the row vector (R, G, B, A, 1), each on
       0..1, multiplied by the matrix (so row 5 is a translation), clamped
       to 0..1 and premultiplied again before it is sampled. */
    const float* color_matrix;
} velmora_imaging_draw_params;

/* --- library and sessions ----------------------------------------------- */

/* VELMORA_IMAGING_ABI_VERSION of the library that answers. */
VELMORA_IMAGING_API int32_t velmora_imaging_version(void);

/* A short English name of a status code ("damaged data"); a constant of
   the library. */
VELMORA_IMAGING_API const char* velmora_imaging_status_text(int32_t status);

/* Why the last decode on the calling thread failed, in a few English words
   ("JPEG scans too short for the declared size"); NULL after a decode that
   succeeded. A constant of the library, valid while it is loaded. */
VELMORA_IMAGING_API const char* velmora_imaging_last_reason(void);

/* Starts a session and stores its token (never 0, never -1) in *token.
   Fails with VELMORA_IMAGING_INIT_FAILED, *token set to 0, when a library
   underneath cannot be set up. */
VELMORA_IMAGING_API int32_t velmora_imaging_startup(int32_t* token);

/* Ends the session of a token; BAD_ARGUMENT for a token that is not live. */
VELMORA_IMAGING_API int32_t velmora_imaging_shutdown(int32_t token);

/* How many sessions are live. */
VELMORA_IMAGING_API int32_t velmora_imaging_session_count(void);

/* The largest picture, in pixels, a decode accepts; checked before any
   pixel memory is made. 0 restores the default: what a 32-bit surface can
   hold (2^31 - 1 bytes at four bytes a pixel), the same limit as the
   program's own readers. */
VELMORA_IMAGING_API void velmora_imaging_set_pixel_limit(uint64_t pixels);
VELMORA_IMAGING_API uint64_t velmora_imaging_pixel_limit(void);

/* --- codec lists ---------------------------------------------------------- */

/* Copies up to `capacity` entries to `out` (which may be NULL when capacity
   is 0) and answers how many there are in all. */
VELMORA_IMAGING_API int32_t velmora_imaging_encoders(velmora_imaging_codec* out, int32_t capacity);
VELMORA_IMAGING_API int32_t velmora_imaging_decoders(velmora_imaging_codec* out, int32_t capacity);

/* --- decoding --------------------------------------------------------------- */

/* Decodes the data (JPEG, TIFF, PNG or WebP, told apart by their
   signatures) into pixel memory asked of `allocate`. *format (may be NULL)
   receives the VELMORA_IMAGING_FORMAT_ code of the data. TIFF gives its
   first directory. GIF, BMP and ICO data are recognised (*format is set)
   and answered VELMORA_IMAGING_UNSUPPORTED: the program reads those with
   its own readers. So is the data of a format whose own library is not
   installed on the system. */
VELMORA_IMAGING_API int32_t velmora_imaging_decode_memory(const uint8_t* data, size_t size,
                                                          velmora_imaging_allocate allocate,
                                                          void* context, int32_t* format);

/* The same for a file named by a UTF-8 path. */
VELMORA_IMAGING_API int32_t velmora_imaging_decode_file(const char* path,
                                                        velmora_imaging_allocate allocate,
                                                        void* context, int32_t* format);

/* --- encoding --------------------------------------------------------------- */

/* Encodes the pixels with the encoder `clsid` names (one of the list from
   velmora_imaging_encoders) to the file at the UTF-8 path, replacing it.
   PNG output is 8 bits a sample, top row first, RGBA when any pixel is
   not opaque and RGB otherwise, colours un-premultiplied. A failed write
   leaves no file behind. */
VELMORA_IMAGING_API int32_t velmora_imaging_encode_file(const velmora_imaging_pixels* pixels,
                                                        const uint8_t clsid[16], const char* path);

/* The same, handing the encoded bytes to `sink`. */
VELMORA_IMAGING_API int32_t velmora_imaging_encode_memory(const velmora_imaging_pixels* pixels,
                                                          const uint8_t clsid[16],
                                                          velmora_imaging_sink sink, void* context);

/* --- drawing ---------------------------------------------------------------- */

/* Draws a region of `source` onto `target` as `params` describe,
   compositing source-over; pixels of the target outside the drawn area
   keep their values. Source and target must not overlap. Cubic sampling
   holds every colour to its alpha. A draw whose target pixels would each
   read more than some thousands of source pixels along an axis (a shrink
   beyond about 3000 to 1) is refused with VELMORA_IMAGING_TOO_LARGE and
   leaves the target as it was. */
VELMORA_IMAGING_API int32_t velmora_imaging_draw(const velmora_imaging_pixels* source,
                                                 const velmora_imaging_pixels* target,
                                                 const velmora_imaging_draw_params* params);

#ifdef __cplusplus
}
#endif

#endif /* VELMORA_IMAGING_H */
