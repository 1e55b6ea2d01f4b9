/* Model package reading; every call that may throw stays in its own
 * fz_try/fz_catch, and no fz_try block contains a return. */
#include "load/mupdf_archive.h"

#include "load/mupdf_compat.h"

#include <sys/stat.h>

foli_mu_status foli_mu_open_archive(fz_context* ctx, const char* path, fz_archive** out) {
    foli_mu_status status = FOLI_MU_OK;
    struct stat info;
    fz_var(status);
    *out = NULL;
    if (path == NULL || stat(path, &info) != 0) return FOLI_MU_FILE;
    fz_try(ctx) {
        if (S_ISDIR(info.st_mode))
            *out = fz_open_directory(ctx, path);
        else
            *out = fz_open_archive(ctx, path);
    }
    fz_catch(ctx) {
        status = foli_mu_caught_memory_error(ctx) ? FOLI_MU_MEMORY : FOLI_MU_FORMAT;
    }
    return status;
}

foli_mu_status foli_mu_read_archive_entry(fz_context* ctx, fz_archive* archive, const char* name, fz_buffer** out) {
    foli_mu_status status = FOLI_MU_OK;
    fz_var(status);
    *out = NULL;
    fz_try(ctx) {
        if (!fz_has_archive_entry(ctx, archive, name))
            status = FOLI_MU_FILE;
        else
            *out = fz_read_archive_entry(ctx, archive, name);
    }
    fz_catch(ctx) {
        status = foli_mu_caught_memory_error(ctx) ? FOLI_MU_MEMORY : FOLI_MU_FORMAT;
    }
    return status;
}
