/* Page image encoders over libjpeg, libpng, libtiff, giflib (with
 * Leptonica's quantiser), libwebp and OpenJPEG. See image_codecs.h.
 *
 * libjpeg and libpng leave an error by longjmp. Each of them is driven by a
 * pair of functions: the outer one owns every allocation, the inner one
 * holds the setjmp and does the work, and nothing the outer function reads
 * after a jump lives in the inner function's frame.
 */
#include "writers/image_codecs.h"

#include <math.h>
#include <setjmp.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <gif_lib.h>
#include <jerror.h>
#include <jpeglib.h>
#include <leptonica/allheaders.h>
#include <openjpeg.h>
#include <png.h>
#include <tiffio.h>
#include <webp/encode.h>

enum { CODEC_CHUNK = 1 << 16 };

static int sink_write(const foli_codec_sink* sink, const void* data, size_t size) {
    return size == 0 || sink->write(sink->user, data, size);
}

void foli_pack_bilevel_row(const unsigned char* row, int width, int ink_is_one, unsigned char* out) {
    unsigned char flip = ink_is_one ? 0xff : 0x00;
    int x = 0;
    for (; x + 8 <= width; x += 8, row += 8) {
        unsigned bits = (unsigned)((row[0] & 0x80) | (row[1] & 0x80) >> 1 | (row[2] & 0x80) >> 2 |
                                   (row[3] & 0x80) >> 3 | (row[4] & 0x80) >> 4 | (row[5] & 0x80) >> 5 |
                                   (row[6] & 0x80) >> 6 | (row[7] & 0x80) >> 7);
        *out++ = (unsigned char)(bits ^ flip);
    }
    if (x < width) {
        unsigned bits = 0;
        for (int bit = 0; x < width; ++x, ++bit, ++row) bits |= (unsigned)(*row & 0x80) >> bit;
        /* Padding bits stay 0 whatever the polarity. */
        unsigned used = 0xffu << (8 - (width & 7)) & 0xffu;
        *out = (unsigned char)((bits ^ flip) & used);
    }
}

static const unsigned char* raster_row(const foli_raster* raster, int y) {
    return raster->samples + (ptrdiff_t)y * raster->stride;
}

/* ------------------------------------------------------ growable memory file */

/* For the writers that seek back: TIFF and JPEG 2000 are built here, then
 * handed to the sink whole. */
typedef struct mem_file {
    unsigned char* data;
    size_t size;     /* end of the furthest write */
    size_t capacity;
    size_t pos;
    int out_of_memory;
} mem_file;

static int mem_reserve(mem_file* file, size_t needed) {
    if (needed <= file->capacity) return 1;
    size_t capacity = file->capacity ? file->capacity : CODEC_CHUNK;
    while (capacity < needed) capacity = capacity > SIZE_MAX / 2 ? needed : capacity * 2;
    unsigned char* grown = realloc(file->data, capacity);
    if (grown == NULL) {
        file->out_of_memory = 1;
        return 0;
    }
    file->data = grown;
    file->capacity = capacity;
    return 1;
}

static int mem_write(mem_file* file, const void* data, size_t size) {
    if (size > SIZE_MAX - file->pos) {
        file->out_of_memory = 1;
        return 0;
    }
    size_t end = file->pos + size;
    if (!mem_reserve(file, end)) return 0;
    /* A seek past the end leaves a gap, which reads as zeros. */
    if (file->pos > file->size) memset(file->data + file->size, 0, file->pos - file->size);
    if (size != 0) memcpy(file->data + file->pos, data, size);
    file->pos = end;
    if (end > file->size) file->size = end;
    return 1;
}

static int mem_seek(mem_file* file, int64_t offset, int whence) {
    int64_t base = whence == SEEK_CUR ? (int64_t)file->pos : whence == SEEK_END ? (int64_t)file->size : 0;
    if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0) return 0;
    file->pos = (size_t)(base + offset);
    return 1;
}

static foli_codec_status mem_hand_over(const mem_file* file, const foli_codec_sink* sink) {
    return sink_write(sink, file->data, file->size) ? FOLI_CODEC_OK : FOLI_CODEC_WRITE;
}

/* ---------------------------------------------------------------- JPEG */

typedef struct jpeg_job {
    struct jpeg_compress_struct cinfo;
    struct jpeg_error_mgr error;
    struct jpeg_destination_mgr destination;
    jmp_buf jump;
    const foli_codec_sink* sink;
    foli_codec_status status;
    JOCTET buffer[CODEC_CHUNK];
} jpeg_job;

static void jpeg_fail(j_common_ptr cinfo) {
    jpeg_job* job = cinfo->client_data;
    if (job->status == FOLI_CODEC_OK)
        job->status = cinfo->err->msg_code == JERR_OUT_OF_MEMORY ? FOLI_CODEC_MEMORY : FOLI_CODEC_FAILED;
    longjmp(job->jump, 1);
}

static void jpeg_silent(j_common_ptr cinfo) { (void)cinfo; }

static void jpeg_reset_buffer(jpeg_job* job) {
    job->destination.next_output_byte = job->buffer;
    job->destination.free_in_buffer = sizeof job->buffer;
}

static void jpeg_flush(j_compress_ptr cinfo, size_t size) {
    jpeg_job* job = cinfo->client_data;
    if (!sink_write(job->sink, job->buffer, size)) {
        job->status = FOLI_CODEC_WRITE;
        cinfo->err->error_exit((j_common_ptr)cinfo);
    }
    jpeg_reset_buffer(job);
}

static void jpeg_destination_init(j_compress_ptr cinfo) { jpeg_reset_buffer(cinfo->client_data); }

static boolean jpeg_destination_full(j_compress_ptr cinfo) {
    /* libjpeg asks for the whole buffer to be written, whatever free_in_buffer says. */
    jpeg_flush(cinfo, CODEC_CHUNK);
    return TRUE;
}

static void jpeg_destination_term(j_compress_ptr cinfo) {
    jpeg_flush(cinfo, CODEC_CHUNK - cinfo->dest->free_in_buffer);
}

static int jpeg_compress_all(jpeg_job* job, const foli_raster* raster, int quality) {
    struct jpeg_compress_struct* cinfo = &job->cinfo;
    if (setjmp(job->jump)) return 0;
    jpeg_create_compress(cinfo);
    cinfo->dest = &job->destination;
    cinfo->image_width = (JDIMENSION)raster->width;
    cinfo->image_height = (JDIMENSION)raster->height;
    cinfo->input_components = raster->channels;
    cinfo->in_color_space = raster->channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, quality, TRUE);
    cinfo->density_unit = 1; /* dots per inch */
    cinfo->X_density = cinfo->Y_density = (UINT16)fminf(fmaxf(roundf(raster->dpi), 1.0f), 65535.0f);
    jpeg_start_compress(cinfo, TRUE);
    enum { BATCH = 16 };
    JSAMPROW rows[BATCH];
    while (cinfo->next_scanline < cinfo->image_height) {
        JDIMENSION first = cinfo->next_scanline;
        JDIMENSION count = cinfo->image_height - first < BATCH ? cinfo->image_height - first : BATCH;
        /* libjpeg only reads the rows; its interface just lacks the const. */
        for (JDIMENSION i = 0; i < count; ++i) rows[i] = (JSAMPROW)raster_row(raster, (int)(first + i));
        jpeg_write_scanlines(cinfo, rows, count);
    }
    jpeg_finish_compress(cinfo);
    return 1;
}

foli_codec_status foli_encode_jpeg(const foli_raster* raster, int quality, const foli_codec_sink* sink) {
    jpeg_job* job = calloc(1, sizeof *job);
    if (job == NULL) return FOLI_CODEC_MEMORY;
    job->sink = sink;
    job->cinfo.client_data = job;
    job->cinfo.err = jpeg_std_error(&job->error);
    job->error.error_exit = jpeg_fail;
    job->error.output_message = jpeg_silent;
    job->destination.init_destination = jpeg_destination_init;
    job->destination.empty_output_buffer = jpeg_destination_full;
    job->destination.term_destination = jpeg_destination_term;

    int done = jpeg_compress_all(job, raster, quality);
    foli_codec_status status = done ? FOLI_CODEC_OK : job->status;
    jpeg_destroy_compress(&job->cinfo);
    free(job);
    return status;
}

/* ----------------------------------------------------------------- PNG */

typedef struct png_job {
    const foli_codec_sink* sink;
    foli_codec_status status;
} png_job;

static void png_fail(png_structp png, png_const_charp message) {
    png_job* job = png_get_error_ptr(png);
    (void)message;
    if (job->status == FOLI_CODEC_OK) job->status = FOLI_CODEC_FAILED;
    png_longjmp(png, 1);
}

static void png_silent(png_structp png, png_const_charp message) {
    (void)png;
    (void)message;
}

static png_voidp png_allocate(png_structp png, png_alloc_size_t size) {
    png_voidp memory = malloc(size);
    if (memory == NULL) ((png_job*)png_get_mem_ptr(png))->status = FOLI_CODEC_MEMORY;
    return memory;
}

static void png_release(png_structp png, png_voidp memory) {
    (void)png;
    free(memory);
}

static void png_put(png_structp png, png_bytep data, size_t size) {
    png_job* job = png_get_io_ptr(png);
    if (!sink_write(job->sink, data, size)) {
        job->status = FOLI_CODEC_WRITE;
        png_error(png, "write failed");
    }
}

static void png_flush_nothing(png_structp png) { (void)png; }

static int png_compress_all(png_structp png, png_infop info, const foli_raster* raster, unsigned char* packed) {
    if (setjmp(png_jmpbuf(png))) return 0;
    int color_type = raster->channels == 4   ? PNG_COLOR_TYPE_RGB_ALPHA
                     : raster->channels == 3 ? PNG_COLOR_TYPE_RGB
                     : raster->channels == 2 ? PNG_COLOR_TYPE_GRAY_ALPHA
                                             : PNG_COLOR_TYPE_GRAY;
    png_set_IHDR(png, info, (png_uint_32)raster->width, (png_uint_32)raster->height, packed ? 1 : 8, color_type,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_uint_32 per_metre = (png_uint_32)lroundf(raster->dpi / 0.0254f);
    png_set_pHYs(png, info, per_metre, per_metre, PNG_RESOLUTION_METER);
    /* Text pages compress best unfiltered and pictures with the Up filter;
     * choosing between just these two at zlib level 4 gives files about as
     * small as libpng's defaults (all five filters, level 6) in half the
     * time or less. */
    png_set_filter(png, PNG_FILTER_TYPE_BASE, packed ? PNG_FILTER_NONE : PNG_FILTER_NONE | PNG_FILTER_UP);
    png_set_compression_level(png, 4);
    png_write_info(png, info);
    for (int y = 0; y < raster->height; ++y) {
        if (packed) {
            foli_pack_bilevel_row(raster_row(raster, y), raster->width, 0, packed);
            png_write_row(png, packed);
        } else {
            png_write_row(png, raster_row(raster, y));
        }
    }
    png_write_end(png, info);
    return 1;
}

foli_codec_status foli_encode_png(const foli_raster* raster, const foli_codec_sink* sink) {
    png_job job = {sink, FOLI_CODEC_OK};
    unsigned char* packed = NULL;
    if (raster->bilevel && raster->channels == 1) {
        packed = malloc(foli_bilevel_row_bytes(raster->width));
        if (packed == NULL) return FOLI_CODEC_MEMORY;
    }
    png_structp png = png_create_write_struct_2(PNG_LIBPNG_VER_STRING, &job, png_fail, png_silent, &job,
                                                png_allocate, png_release);
    png_infop info = png != NULL ? png_create_info_struct(png) : NULL;
    foli_codec_status status = FOLI_CODEC_MEMORY;
    if (info != NULL) {
        png_set_write_fn(png, &job, png_put, png_flush_nothing);
        status = png_compress_all(png, info, raster, packed) ? FOLI_CODEC_OK : job.status;
    }
    png_destroy_write_struct(&png, &info);
    free(packed);
    return status;
}

/* ---------------------------------------------------------------- TIFF */

static tmsize_t tiff_read(thandle_t handle, void* buffer, tmsize_t size) {
    mem_file* file = handle;
    if (size <= 0 || file->pos >= file->size) return 0;
    size_t count = file->size - file->pos < (size_t)size ? file->size - file->pos : (size_t)size;
    memcpy(buffer, file->data + file->pos, count);
    file->pos += count;
    return (tmsize_t)count;
}

static tmsize_t tiff_write(thandle_t handle, void* data, tmsize_t size) {
    if (size < 0) return -1;
    return mem_write(handle, data, (size_t)size) ? size : -1;
}

static toff_t tiff_seek(thandle_t handle, toff_t offset, int whence) {
    mem_file* file = handle;
    /* libtiff passes negative relative offsets as wrapped unsigned values. */
    if (!mem_seek(file, (int64_t)offset, whence)) return (toff_t)-1;
    return (toff_t)file->pos;
}

static int tiff_close(thandle_t handle) {
    (void)handle;
    return 0;
}

static toff_t tiff_size(thandle_t handle) { return (toff_t)((mem_file*)handle)->size; }

static int tiff_map(thandle_t handle, void** base, toff_t* size) {
    (void)handle;
    (void)base;
    (void)size;
    return 0;
}

static void tiff_unmap(thandle_t handle, void* base, toff_t size) {
    (void)handle;
    (void)base;
    (void)size;
}

static int tiff_silent(TIFF* tif, void* user, const char* module, const char* format, va_list args) {
    (void)tif;
    (void)user;
    (void)module;
    (void)format;
    (void)args;
    return 1; /* handled: keeps libtiff from printing */
}

static int tiff_write_page(TIFF* tif, const foli_raster* raster) {
    int bilevel = raster->bilevel && raster->channels == 1;
    int photometric = bilevel ? PHOTOMETRIC_MINISWHITE
                              : raster->channels == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    int ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, (uint32_t)raster->width) &&
             TIFFSetField(tif, TIFFTAG_IMAGELENGTH, (uint32_t)raster->height) &&
             TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, raster->channels) &&
             TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bilevel ? 1 : 8) &&
             TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
             TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric) &&
             TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
             TIFFSetField(tif, TIFFTAG_XRESOLUTION, (double)raster->dpi) &&
             TIFFSetField(tif, TIFFTAG_YRESOLUTION, (double)raster->dpi) &&
             TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    if (ok && bilevel) {
        ok = TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    } else if (ok) {
        ok = TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE) &&
             TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    }
    ok = ok && TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    if (!ok) return 0;

    /* libtiff's predictor works in place, so rows are copied before writing. */
    tmsize_t row_size = TIFFScanlineSize(tif);
    unsigned char* row = row_size > 0 ? malloc((size_t)row_size) : NULL;
    if (row == NULL) return 0;
    for (int y = 0; ok && y < raster->height; ++y) {
        if (bilevel)
            foli_pack_bilevel_row(raster_row(raster, y), raster->width, 1, row);
        else
            memcpy(row, raster_row(raster, y), (size_t)raster->width * (size_t)raster->channels);
        ok = TIFFWriteScanline(tif, row, (uint32_t)y, 0) == 1;
    }
    free(row);
    return ok && TIFFFlush(tif) == 1;
}

foli_codec_status foli_encode_tiff(const foli_raster* raster, const foli_codec_sink* sink) {
    mem_file file = {0};
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == NULL) return FOLI_CODEC_MEMORY;
    TIFFOpenOptionsSetErrorHandlerExtR(options, tiff_silent, NULL);
    TIFFOpenOptionsSetWarningHandlerExtR(options, tiff_silent, NULL);
    TIFF* tif = TIFFClientOpenExt("page", "w", &file, tiff_read, tiff_write, tiff_seek, tiff_close, tiff_size,
                                  tiff_map, tiff_unmap, options);
    TIFFOpenOptionsFree(options);

    foli_codec_status status = FOLI_CODEC_FAILED;
    if (tif != NULL) {
        int ok = tiff_write_page(tif, raster);
        TIFFClose(tif);
        if (ok && !file.out_of_memory) status = mem_hand_over(&file, sink);
    }
    if (file.out_of_memory) status = FOLI_CODEC_MEMORY;
    free(file.data);
    return status;
}

/* ----------------------------------------------------------------- GIF */

typedef struct gif_job {
    const foli_codec_sink* sink;
    int write_failed;
} gif_job;

static int gif_put(GifFileType* gif, const GifByteType* data, int size) {
    gif_job* job = gif->UserData;
    if (size > 0 && !sink_write(job->sink, data, (size_t)size)) {
        job->write_failed = 1;
        return 0;
    }
    return size;
}

/* Pages drawn with few colours (text, rules, flat fills) are indexed
 * exactly; only a page with more than 256 colours goes through Leptonica's
 * octree quantiser. */
enum { EXACT_SLOTS = 1024 }; /* a power of two, well above 256 to keep probes short */

typedef struct exact_palette {
    uint32_t keys[EXACT_SLOTS]; /* colour + 1; 0 marks a free slot */
    unsigned char index[EXACT_SLOTS];
    GifColorType colors[256];
    int count;
} exact_palette;

static uint32_t colour_key(const unsigned char* rgb) {
    return ((uint32_t)rgb[0] << 16 | (uint32_t)rgb[1] << 8 | rgb[2]) + 1;
}

/* The palette index of a colour, added when new and `add` is set; -1 for
 * a colour that is missing or does not fit any more. */
static int exact_lookup(exact_palette* palette, uint32_t key, int add) {
    size_t slot = (key * 2654435761u) >> 22; /* top 10 bits of a multiplicative hash */
    while (palette->keys[slot] != 0) {
        if (palette->keys[slot] == key) return palette->index[slot];
        slot = (slot + 1) & (EXACT_SLOTS - 1);
    }
    if (!add || palette->count == 256) return -1;
    uint32_t rgb = key - 1;
    GifColorType* color = &palette->colors[palette->count];
    color->Red = (GifByteType)(rgb >> 16);
    color->Green = (GifByteType)(rgb >> 8);
    color->Blue = (GifByteType)rgb;
    palette->keys[slot] = key;
    palette->index[slot] = (unsigned char)palette->count;
    return palette->count++;
}

static int collect_exact(const foli_raster* raster, exact_palette* palette) {
    uint32_t last = 0;
    for (int y = 0; y < raster->height; ++y) {
        const unsigned char* in = raster_row(raster, y);
        for (int x = 0; x < raster->width; ++x, in += 3) {
            uint32_t key = colour_key(in);
            if (key != last && exact_lookup(palette, key, 1) < 0) return 0;
            last = key;
        }
    }
    return 1;
}

/* The palette image a GIF holds: colour indices row by row. Gray and
 * bilevel pages index a fixed palette with their samples. */
typedef struct gif_indexed {
    ColorMapObject* palette;
    exact_palette* exact; /* colour pages with at most 256 colours */
    PIX* quantised;       /* other colour pages: 8 bpp, colormapped */
} gif_indexed;

static PIX* quantise_rgb(const foli_raster* raster) {
    PIX* rgb = pixCreateNoInit(raster->width, raster->height, 32);
    if (rgb == NULL) return NULL;
    l_uint32* data = pixGetData(rgb);
    l_int32 words_per_line = pixGetWpl(rgb);
    for (int y = 0; y < raster->height; ++y) {
        const unsigned char* in = raster_row(raster, y);
        l_uint32* out = data + (ptrdiff_t)y * words_per_line;
        for (int x = 0; x < raster->width; ++x, in += 3)
            out[x] = (l_uint32)in[0] << L_RED_SHIFT | (l_uint32)in[1] << L_GREEN_SHIFT |
                     (l_uint32)in[2] << L_BLUE_SHIFT;
    }
    /* Each palette entry is the average colour of its octree cell, so the
     * dominant flat colours of a page stay close to what they were. */
    PIX* quantised = pixOctreeQuantNumColors(rgb, 256, 0);
    pixDestroy(&rgb);
    if (quantised != NULL && pixGetDepth(quantised) != 8) {
        PIX* widened = pixConvertTo8(quantised, TRUE);
        pixDestroy(&quantised);
        quantised = widened;
    }
    return quantised;
}

/* GIF palettes have a power-of-two size; unused entries stay black. */
static ColorMapObject* make_palette(const GifColorType* colors, int count) {
    GifColorType padded[256];
    memset(padded, 0, sizeof padded);
    memcpy(padded, colors, sizeof *colors * (size_t)count);
    int size = 2;
    while (size < count) size *= 2;
    return GifMakeMapObject(size, padded);
}

static ColorMapObject* palette_of(PIX* quantised) {
    PIXCMAP* colormap = pixGetColormap(quantised);
    int count = colormap != NULL ? pixcmapGetCount(colormap) : 0;
    if (count <= 0 || count > 256) return NULL;
    GifColorType colors[256];
    for (int i = 0; i < count; ++i) {
        l_int32 r, g, b;
        pixcmapGetColor(colormap, i, &r, &g, &b);
        colors[i].Red = (GifByteType)r;
        colors[i].Green = (GifByteType)g;
        colors[i].Blue = (GifByteType)b;
    }
    return make_palette(colors, count);
}

static ColorMapObject* gray_palette(int levels) {
    GifColorType colors[256];
    for (int i = 0; i < levels; ++i) {
        GifByteType value = (GifByteType)(i * 255 / (levels - 1));
        colors[i].Red = colors[i].Green = colors[i].Blue = value;
    }
    return make_palette(colors, levels);
}

static foli_codec_status gif_index(const foli_raster* raster, gif_indexed* indexed) {
    if (raster->channels == 1) {
        indexed->palette = gray_palette(raster->bilevel ? 2 : 256);
        return indexed->palette != NULL ? FOLI_CODEC_OK : FOLI_CODEC_MEMORY;
    }
    indexed->exact = calloc(1, sizeof *indexed->exact);
    if (indexed->exact == NULL) return FOLI_CODEC_MEMORY;
    if (collect_exact(raster, indexed->exact)) {
        indexed->palette = make_palette(indexed->exact->colors, indexed->exact->count);
        return indexed->palette != NULL ? FOLI_CODEC_OK : FOLI_CODEC_MEMORY;
    }
    free(indexed->exact);
    indexed->exact = NULL;
    /* Leptonica answers a failed allocation with NULL, like any other failure. */
    indexed->quantised = quantise_rgb(raster);
    if (indexed->quantised == NULL) return FOLI_CODEC_MEMORY;
    indexed->palette = palette_of(indexed->quantised);
    return indexed->palette != NULL ? FOLI_CODEC_OK : FOLI_CODEC_FAILED;
}

static void gif_row(const foli_raster* raster, const gif_indexed* indexed, int y, GifPixelType* out) {
    const unsigned char* in = raster_row(raster, y);
    if (indexed->exact != NULL) {
        uint32_t last = 0;
        int index = 0;
        for (int x = 0; x < raster->width; ++x, in += 3) {
            uint32_t key = colour_key(in);
            if (key != last) index = exact_lookup(indexed->exact, key, 0);
            last = key;
            out[x] = (GifPixelType)index;
        }
    } else if (indexed->quantised != NULL) {
        const l_uint32* line = pixGetData(indexed->quantised) + (ptrdiff_t)y * pixGetWpl(indexed->quantised);
        for (int x = 0; x < raster->width; ++x) out[x] = (GifPixelType)GET_DATA_BYTE(line, x);
    } else if (raster->bilevel) {
        for (int x = 0; x < raster->width; ++x) out[x] = in[x] >> 7;
    } else {
        memcpy(out, in, (size_t)raster->width);
    }
}

static int gif_write_image(GifFileType* gif, const foli_raster* raster, const gif_indexed* indexed,
                           GifPixelType* row) {
    if (EGifPutScreenDesc(gif, raster->width, raster->height, 8, 0, indexed->palette) != GIF_OK) return 0;
    if (EGifPutImageDesc(gif, 0, 0, raster->width, raster->height, false, NULL) != GIF_OK) return 0;
    for (int y = 0; y < raster->height; ++y) {
        /* EGifPutLine masks the indices in place, so it gets a copy. */
        gif_row(raster, indexed, y, row);
        if (EGifPutLine(gif, row, raster->width) != GIF_OK) return 0;
    }
    return 1;
}

foli_codec_status foli_encode_gif(const foli_raster* raster, const foli_codec_sink* sink) {
    gif_indexed indexed = {NULL, NULL, NULL};
    foli_codec_status status = gif_index(raster, &indexed);
    GifPixelType* row = status == FOLI_CODEC_OK ? malloc((size_t)raster->width) : NULL;
    if (status == FOLI_CODEC_OK && row == NULL) status = FOLI_CODEC_MEMORY;

    if (status == FOLI_CODEC_OK) {
        gif_job job = {sink, 0};
        int error = 0;
        GifFileType* gif = EGifOpen(&job, gif_put, &error);
        if (gif == NULL) {
            status = error == E_GIF_ERR_NOT_ENOUGH_MEM ? FOLI_CODEC_MEMORY : FOLI_CODEC_FAILED;
        } else {
            int ok = gif_write_image(gif, raster, &indexed, row);
            if (!ok) error = gif->Error;
            /* Closing writes the trailer; a failure there shows in job.write_failed. */
            EGifCloseFile(gif, NULL);
            if (job.write_failed)
                status = FOLI_CODEC_WRITE;
            else if (!ok)
                status = error == E_GIF_ERR_NOT_ENOUGH_MEM ? FOLI_CODEC_MEMORY : FOLI_CODEC_FAILED;
        }
    }
    free(row);
    GifFreeMapObject(indexed.palette);
    free(indexed.exact);
    pixDestroy(&indexed.quantised);
    return status;
}

/* ---------------------------------------------------------------- WebP */

static int webp_put(const uint8_t* data, size_t size, const WebPPicture* picture) {
    return sink_write(picture->custom_ptr, data, size);
}

/* WebP holds colour only: gray samples are spread to RGB first. */
static unsigned char* gray_to_rgb(const foli_raster* raster) {
    size_t width = (size_t)raster->width;
    unsigned char* rgb = malloc(width * 3 * (size_t)raster->height);
    if (rgb == NULL) return NULL;
    unsigned char* out = rgb;
    for (int y = 0; y < raster->height; ++y) {
        const unsigned char* in = raster_row(raster, y);
        for (size_t x = 0; x < width; ++x, out += 3) out[0] = out[1] = out[2] = in[x];
    }
    return rgb;
}

foli_codec_status foli_encode_webp(const foli_raster* raster, int quality, const foli_codec_sink* sink) {
    WebPConfig config;
    WebPPicture picture;
    if (!WebPConfigInit(&config) || !WebPPictureInit(&picture)) return FOLI_CODEC_FAILED;
    if (raster->bilevel) {
        /* Lossless keeps black and white exactly that. */
        WebPConfigLosslessPreset(&config, 1);
    } else {
        config.quality = (float)quality;
        config.method = 2;
    }
    picture.use_argb = config.lossless;
    picture.width = raster->width;
    picture.height = raster->height;
    picture.writer = webp_put;
    picture.custom_ptr = (void*)sink;

    unsigned char* spread = NULL;
    const unsigned char* rgb = raster->samples;
    int stride = (int)raster->stride;
    if (raster->channels == 1) {
        spread = gray_to_rgb(raster);
        if (spread == NULL) return FOLI_CODEC_MEMORY;
        rgb = spread;
        stride = raster->width * 3;
    }
    foli_codec_status status = FOLI_CODEC_OK;
    if (!WebPPictureImportRGB(&picture, rgb, stride)) {
        status = FOLI_CODEC_MEMORY;
    } else if (!WebPEncode(&config, &picture)) {
        status = picture.error_code == VP8_ENC_ERROR_BAD_WRITE        ? FOLI_CODEC_WRITE
                 : picture.error_code == VP8_ENC_ERROR_OUT_OF_MEMORY ? FOLI_CODEC_MEMORY
                                                                     : FOLI_CODEC_FAILED;
    }
    WebPPictureFree(&picture);
    free(spread);
    return status;
}

/* ---------------------------------------------------------- JPEG 2000 */

static OPJ_SIZE_T jp2_write(void* data, OPJ_SIZE_T size, void* user) {
    return mem_write(user, data, size) ? size : (OPJ_SIZE_T)-1;
}

static OPJ_OFF_T jp2_skip(OPJ_OFF_T count, void* user) {
    return mem_seek(user, count, SEEK_CUR) ? count : -1;
}

static OPJ_BOOL jp2_seek(OPJ_OFF_T offset, void* user) { return mem_seek(user, offset, SEEK_SET) ? OPJ_TRUE : OPJ_FALSE; }

static void jp2_silent(const char* message, void* user) {
    (void)message;
    (void)user;
}

static opj_image_t* jp2_image(const foli_raster* raster) {
    opj_image_cmptparm_t parts[3];
    memset(parts, 0, sizeof parts);
    for (int c = 0; c < raster->channels; ++c) {
        parts[c].dx = parts[c].dy = 1;
        parts[c].w = (OPJ_UINT32)raster->width;
        parts[c].h = (OPJ_UINT32)raster->height;
        parts[c].prec = 8;
        parts[c].sgnd = 0;
    }
    OPJ_COLOR_SPACE space = raster->channels == 1 ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB;
    opj_image_t* image = opj_image_create((OPJ_UINT32)raster->channels, parts, space);
    if (image == NULL) return NULL;
    image->x0 = image->y0 = 0;
    image->x1 = (OPJ_UINT32)raster->width;
    image->y1 = (OPJ_UINT32)raster->height;
    /* OpenJPEG takes one plane of 32-bit samples per component. */
    size_t width = (size_t)raster->width;
    for (int y = 0; y < raster->height; ++y) {
        const unsigned char* in = raster_row(raster, y);
        for (int c = 0; c < raster->channels; ++c) {
            OPJ_INT32* out = image->comps[c].data + (size_t)y * width;
            for (size_t x = 0; x < width; ++x) out[x] = in[x * (size_t)raster->channels + (size_t)c];
        }
    }
    return image;
}

/* Each resolution level halves the image; the smallest must keep a pixel. */
static int jp2_resolutions(const foli_raster* raster) {
    int side = raster->width < raster->height ? raster->width : raster->height;
    int levels = 1;
    while (levels < 6 && (side >> levels) > 0) ++levels;
    return levels;
}

static int jp2_compress(opj_codec_t* codec, opj_image_t* image, mem_file* file) {
    opj_stream_t* stream = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_FALSE);
    if (stream == NULL) {
        file->out_of_memory = 1;
        return 0;
    }
    opj_stream_set_user_data(stream, file, NULL);
    opj_stream_set_write_function(stream, jp2_write);
    opj_stream_set_skip_function(stream, jp2_skip);
    opj_stream_set_seek_function(stream, jp2_seek);
    int ok = opj_start_compress(codec, image, stream) && opj_encode(codec, stream) && opj_end_compress(codec, stream);
    opj_stream_destroy(stream);
    return ok;
}

foli_codec_status foli_encode_jp2(const foli_raster* raster, float ratio, const foli_codec_sink* sink) {
    opj_cparameters_t parameters;
    opj_set_default_encoder_parameters(&parameters);
    parameters.tcp_numlayers = 1;
    parameters.cp_disto_alloc = 1;
    /* A rate of 0 means lossless, which needs the reversible transform. */
    parameters.irreversible = raster->bilevel ? 0 : 1;
    parameters.tcp_rates[0] = raster->bilevel ? 0.0f : ratio;
    parameters.tcp_mct = raster->channels == 3 ? 1 : 0;
    parameters.numresolution = jp2_resolutions(raster);

    opj_image_t* image = jp2_image(raster);
    if (image == NULL) return FOLI_CODEC_MEMORY;
    opj_codec_t* codec = opj_create_compress(OPJ_CODEC_JP2);
    mem_file file = {0};
    foli_codec_status status = FOLI_CODEC_MEMORY;
    if (codec != NULL) {
        opj_set_error_handler(codec, jp2_silent, NULL);
        opj_set_warning_handler(codec, jp2_silent, NULL);
        opj_set_info_handler(codec, jp2_silent, NULL);
        int ok = opj_setup_encoder(codec, &parameters, image) && jp2_compress(codec, image, &file);
        status = file.out_of_memory ? FOLI_CODEC_MEMORY : ok ? mem_hand_over(&file, sink) : FOLI_CODEC_FAILED;
        opj_destroy_codec(codec);
    }
    opj_image_destroy(image);
    free(file.data);
    return status;
}
