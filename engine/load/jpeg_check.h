/* Whether a JPEG stream decodes whole, so that it can be copied into an
 * output as it is: a stream cut short or corrupt (no start or end marker,
 * broken entropy-coded data) would be a damaged file claimed as success.
 * libjpeg leaves an error by longjmp, so it is driven only from
 * jpeg_check.c. */
#ifndef FOLI_JPEG_CHECK_H
#define FOLI_JPEG_CHECK_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* 1 when `data` starts with a start-of-image marker, ends with an
 * end-of-image marker and decodes (at 1/8 scale, which still reads every
 * coefficient) without any error or corrupt-data warning; else 0. */
int foli_jpeg_decodes_whole(const unsigned char* data, size_t size);

#ifdef __cplusplus
}
#endif

#endif /* FOLI_JPEG_CHECK_H */
