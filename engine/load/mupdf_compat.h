/* The few places where MuPDF's interface changed after 1.21 (Debian 12),
 * so that one source builds on 1.21 and on later releases (checked against
 * the 1.25 headers of Debian 13). */
#ifndef FOLI_MUPDF_COMPAT_H
#define FOLI_MUPDF_COMPAT_H

#include <string.h>

#include <mupdf/fitz.h>

#define FOLI_MUPDF_AT_LEAST(major, minor) \
    (FZ_VERSION_MAJOR > (major) || (FZ_VERSION_MAJOR == (major) && FZ_VERSION_MINOR >= (minor)))

/* 1.24 folded "out of memory" into FZ_ERROR_SYSTEM, which also covers
 * failed system calls; the message tells the two apart. */
static inline int foli_mu_caught_memory_error(fz_context* ctx) {
#if FOLI_MUPDF_AT_LEAST(1, 24)
    if (fz_caught(ctx) != FZ_ERROR_SYSTEM) return 0;
    const char* message = fz_caught_message(ctx);
    return message != NULL && (strstr(message, "malloc") != NULL || strstr(message, "calloc") != NULL ||
                               strstr(message, "realloc") != NULL || strstr(message, "memory") != NULL);
#else
    return fz_caught(ctx) == FZ_ERROR_MEMORY;
#endif
}

/* 1.24 gave the end of a soft mask a transfer function. */
#if FOLI_MUPDF_AT_LEAST(1, 24)
#define FOLI_END_MASK_PARAMS fz_context *ctx, fz_device *dev, fz_function *transfer
#define FOLI_FORWARD_END_MASK(ctx, target) fz_end_mask_tr(ctx, target, transfer)
#else
#define FOLI_END_MASK_PARAMS fz_context *ctx, fz_device *dev
#define FOLI_FORWARD_END_MASK(ctx, target) fz_end_mask(ctx, target)
#endif

/* 1.25 renamed a structured-text character's colour to argb, with alpha. */
#if FOLI_MUPDF_AT_LEAST(1, 25)
#define FOLI_STEXT_CHAR_RGB(ch) ((unsigned int)(ch).argb & 0xFFFFFFu)
#else
#define FOLI_STEXT_CHAR_RGB(ch) ((unsigned int)(ch).color & 0xFFFFFFu)
#endif

#endif /* FOLI_MUPDF_COMPAT_H */
