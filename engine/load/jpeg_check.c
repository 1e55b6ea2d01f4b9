#include "jpeg_check.h"

#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>

#include <jpeglib.h>

typedef struct check_job {
    struct jpeg_decompress_struct cinfo;
    struct jpeg_error_mgr error;
    jmp_buf escape;
    int warnings;
    JSAMPROW row; /* freed by the caller, also after a jump */
} check_job;

static void check_fail(j_common_ptr cinfo) { longjmp(((check_job*)cinfo->client_data)->escape, 1); }

/* Level -1 is a corrupt-data warning (truncated data is padded, bad
 * markers skipped); higher levels are trace messages. */
static void check_message(j_common_ptr cinfo, int level) {
    if (level < 0) ((check_job*)cinfo->client_data)->warnings += 1;
}

static int has_markers(const unsigned char* data, size_t size) {
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) return 0;
    /* Some writers pad the stream after its end marker. */
    size_t end = size;
    while (end > 2 && (data[end - 1] == 0 || data[end - 1] == '\n' || data[end - 1] == '\r' || data[end - 1] == ' '))
        --end;
    return data[end - 2] == 0xFF && data[end - 1] == 0xD9;
}

static int decode_all(check_job* job, const unsigned char* data, size_t size) {
    struct jpeg_decompress_struct* cinfo = &job->cinfo;
    jpeg_mem_src(cinfo, data, (unsigned long)size);
    if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) return 0;
    cinfo->scale_num = 1;
    cinfo->scale_denom = 8;
    cinfo->buffered_image = FALSE;
    jpeg_start_decompress(cinfo);
    size_t row_bytes = (size_t)cinfo->output_width * (size_t)cinfo->output_components;
    job->row = malloc(row_bytes ? row_bytes : 1);
    if (job->row == NULL) return 0;
    while (cinfo->output_scanline < cinfo->output_height) jpeg_read_scanlines(cinfo, &job->row, 1);
    jpeg_finish_decompress(cinfo);
    return job->warnings == 0;
}

int foli_jpeg_decodes_whole(const unsigned char* data, size_t size) {
    if (data == NULL || !has_markers(data, size)) return 0;
    check_job* job = calloc(1, sizeof *job);
    if (job == NULL) return 0;
    volatile int whole = 0;
    job->cinfo.err = jpeg_std_error(&job->error);
    job->error.error_exit = check_fail;
    job->error.emit_message = check_message;
    job->cinfo.client_data = job;
    jpeg_create_decompress(&job->cinfo);
    if (setjmp(job->escape) == 0) whole = decode_all(job, data, size);
    jpeg_destroy_decompress(&job->cinfo);
    free(job->row);
    free(job);
    return whole;
}
