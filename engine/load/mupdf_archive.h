/* Reading model packages through MuPDF's archives: a folder, a ZIP file or
 * a tar file, read entry by entry. Like every MuPDF call that may throw,
 * these run inside fz_try/fz_catch in mupdf_archive.c. */
#ifndef FOLI_MUPDF_ARCHIVE_H
#define FOLI_MUPDF_ARCHIVE_H

#include "load/mupdf_shim.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Opens `path` as a folder or an archive file. FOLI_MU_FILE when nothing
 * is there, FOLI_MU_FORMAT when the file is not an archive MuPDF reads. */
foli_mu_status foli_mu_open_archive(fz_context* ctx, const char* path, fz_archive** out);

/* Reads one entry (a path inside the archive, '/' between folders) whole.
 * FOLI_MU_FILE when there is no such entry. */
foli_mu_status foli_mu_read_archive_entry(fz_context* ctx, fz_archive* archive, const char* name, fz_buffer** out);

#ifdef __cplusplus
}
#endif

#endif /* FOLI_MUPDF_ARCHIVE_H */
