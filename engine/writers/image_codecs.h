/* Encoders for rendered pages over the codec libraries. libjpeg and libpng
 * report errors by longjmp and several of the others through callbacks, so
 * they are driven only from image_codecs.c: every function there returns a
 * status, no jump ever leaves that file and no C++ exception enters it.
 *
 * Encoded bytes go to the caller's sink in file order. Formats whose
 * writers seek back to patch headers (TIFF, JPEG 2000) are built in memory
 * first and handed to the sink in one piece.
 */
#ifndef FOLI_IMAGE_CODECS_H
#define FOLI_IMAGE_CODECS_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum foli_codec_status {
    FOLI_CODEC_OK = 0,
    FOLI_CODEC_MEMORY, /* an allocation failed */
    FOLI_CODEC_WRITE,  /* the sink refused the bytes */
    FOLI_CODEC_FAILED  /* the codec library reported an error */
} foli_codec_status;

/* A page image: 8-bit gray or RGB samples, top row first. */
typedef struct foli_raster {
    int width;
    int height;
    int channels;                 /* 1 (gray) or 3 (RGB); PNG also 2 and 4 (with alpha) */
    ptrdiff_t stride;             /* bytes from one row to the next */
    const unsigned char* samples;
    int bilevel;                  /* only 0 and 255: store 1 bit per pixel where the format can */
    float dpi;                    /* resolution recorded in the file */
} foli_raster;

/* Takes `size` bytes; returns 0 when they could not be written, which
 * stops the encoder with FOLI_CODEC_WRITE. Must not throw. */
typedef int (*foli_codec_write_fn)(void* user, const void* data, size_t size);

typedef struct foli_codec_sink {
    foli_codec_write_fn write;
    void* user;
} foli_codec_sink;

/* Packs a row of 0/255 samples into bits, most significant first: a set
 * bit marks white, or black when `ink_is_one`; padding bits are 0. */
void foli_pack_bilevel_row(const unsigned char* row, int width, int ink_is_one, unsigned char* out);
static inline size_t foli_bilevel_row_bytes(int width) { return ((size_t)width + 7) / 8; }

/* Baseline JPEG at `quality` (1-100); bilevel pages are written as gray. */
foli_codec_status foli_encode_jpeg(const foli_raster* raster, int quality, const foli_codec_sink* sink);
/* PNG: 1-bit gray for bilevel pages, else 8-bit gray or RGB; also gray
 * or RGB with alpha (2 or 4 channels, straight alpha last) for images. */
foli_codec_status foli_encode_png(const foli_raster* raster, const foli_codec_sink* sink);
/* TIFF: CCITT G4 for bilevel pages, else Deflate with horizontal prediction. */
foli_codec_status foli_encode_tiff(const foli_raster* raster, const foli_codec_sink* sink);
/* GIF: a two-colour palette for bilevel pages, 256 grays for gray pages,
 * and an octree-quantised palette of at most 256 colours for RGB pages. */
foli_codec_status foli_encode_gif(const foli_raster* raster, const foli_codec_sink* sink);
/* WebP: lossy at `quality` (0-100), lossless for bilevel pages; always RGB. */
foli_codec_status foli_encode_webp(const foli_raster* raster, int quality, const foli_codec_sink* sink);
/* JPEG 2000 in a .jp2 container: irreversible at a compression ratio of
 * `ratio`:1, reversible (lossless) for bilevel pages. */
foli_codec_status foli_encode_jp2(const foli_raster* raster, float ratio, const foli_codec_sink* sink);

#ifdef __cplusplus
}
#endif

#endif /* FOLI_IMAGE_CODECS_H */
