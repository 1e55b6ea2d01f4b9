/* Part of the MuPDF shim: the recording device behind mupdf_drawing.h.
 * Device callbacks run inside the page run's fz_try in foli_mu_record_page
 * and may throw (allocation); they never return into C++. No fz_try
 * block here contains a return. */
#include "mupdf_drawing.h"
#include "jpeg_check.h"
#include "mupdf_compat.h"

#include <math.h>
#include <string.h>

/* Shadings are drawn at this many pixels per point, with at most
 * SHADE_MAX_PIXELS pixels per shading. */
#define SHADE_PIXELS_PER_POINT 2.0f
#define SHADE_MAX_PIXELS (4 * 1024 * 1024)
/* A stroke of width 0 is the thinnest line the output can show. */
#define HAIRLINE_WIDTH 0.5f

/* ------------------------------------------------------------ the arrays */

#define GROW(ctx, array, count, capacity, type, extra)                                   \
    do {                                                                                 \
        if ((count) + (extra) > (capacity)) {                                            \
            int grown_ = (capacity) ? (capacity) : 64;                                   \
            while (grown_ < (count) + (extra)) grown_ *= 2;                              \
            (array) = fz_realloc_array(ctx, (array), grown_, type);                      \
            (capacity) = grown_;                                                         \
        }                                                                                \
    } while (0)

static foli_draw_item* push_item(fz_context* ctx, foli_drawing* d, int kind) {
    GROW(ctx, d->items, d->item_count, d->item_capacity, foli_draw_item, 1);
    foli_draw_item* item = &d->items[d->item_count++];
    memset(item, 0, sizeof *item);
    item->kind = kind;
    item->font = -1;
    item->fill_alpha = item->stroke_alpha = item->alpha = 1;
    item->glyph_matrix = fz_identity;
    item->image_matrix = fz_identity;
    return item;
}

static void release_item(fz_context* ctx, foli_draw_item* item) {
    fz_drop_image(ctx, item->image);
    fz_drop_image(ctx, item->soft_mask);
    fz_drop_pixmap(ctx, item->pixmap);
    item->image = item->soft_mask = NULL;
    item->pixmap = NULL;
}

void foli_mu_drop_drawing(fz_context* ctx, foli_drawing* d) {
    for (int i = 0; i < d->item_count; ++i) release_item(ctx, &d->items[i]);
    for (int i = 0; i < d->font_count; ++i) fz_drop_font(ctx, d->fonts[i]);
    fz_free(ctx, d->items);
    fz_free(ctx, d->ops);
    fz_free(ctx, d->coords);
    fz_free(ctx, d->dashes);
    fz_free(ctx, d->glyphs);
    fz_free(ctx, d->fonts);
    memset(d, 0, sizeof *d);
}

static int font_index(fz_context* ctx, foli_drawing* d, fz_font* font) {
    for (int i = d->font_count - 1; i >= 0; --i)
        if (d->fonts[i] == font) return i;
    GROW(ctx, d->fonts, d->font_count, d->font_capacity, fz_font*, 1);
    d->fonts[d->font_count] = fz_keep_font(ctx, font);
    return d->font_count++;
}

/* ------------------------------------------------------------ the device */

typedef enum clip_kind {
    CLIP_RECORDED, /* a CLIP item was recorded; its pop is recorded too */
    CLIP_SILENT,   /* nothing was recorded for it */
    CLIP_MASK      /* a soft mask, decided on when it is popped */
} clip_kind;

typedef struct clip_entry {
    clip_kind kind;
    fz_rect scissor;       /* what the clips so far leave of the page */
    int first_masked_item; /* CLIP_MASK: the first item drawn under the mask */
    fz_image* mask_image;  /* CLIP_MASK: the mask when it is one plain image */
    fz_matrix mask_matrix;
    fz_rect mask_area;
} clip_entry;

/* What a soft mask being defined has drawn so far. */
typedef struct mask_capture {
    int depth; /* nested begin_mask calls still open */
    int drawings;
    fz_image* image; /* the first drawing, when it was an image */
    fz_matrix matrix;
    fz_rect area;
} mask_capture;

typedef struct record_device {
    fz_device super;
    foli_drawing* drawing;
    fz_rect page;

    clip_entry* clips;
    int clip_count, clip_capacity;

    float* group_alpha; /* product of the open groups' alpha, per group */
    int group_count, group_capacity;

    mask_capture mask;

    /* While a Type 3 glyph without its own colour runs: its paint. */
    int glyph_paint_set;
    unsigned int glyph_rgb;
    float glyph_alpha;
} record_device;

#define RECORDER(dev) ((record_device*)(dev))

static float current_alpha(const record_device* dev) {
    return dev->group_count > 0 ? dev->group_alpha[dev->group_count - 1] : 1.0f;
}

static fz_rect current_scissor(const record_device* dev) {
    return dev->clip_count > 0 ? dev->clips[dev->clip_count - 1].scissor : dev->page;
}

static clip_entry* push_clip_entry(fz_context* ctx, record_device* dev, clip_kind kind, fz_rect bounds) {
    fz_rect scissor = fz_intersect_rect(current_scissor(dev), bounds);
    GROW(ctx, dev->clips, dev->clip_count, dev->clip_capacity, clip_entry, 1);
    clip_entry* entry = &dev->clips[dev->clip_count++];
    memset(entry, 0, sizeof *entry);
    entry->kind = kind;
    entry->scissor = scissor;
    return entry;
}

/* Inside a soft mask's definition nothing is recorded; the drawing only
 * tells whether the mask is a plain image. */
static int capturing_mask(record_device* dev) { return dev->mask.depth > 0; }

static void capture_drawing(fz_context* ctx, record_device* dev, fz_image* image, fz_matrix ctm) {
    if (dev->mask.drawings++ == 0 && image != NULL) {
        dev->mask.image = fz_keep_image(ctx, image);
        dev->mask.matrix = ctm;
    }
}

static unsigned int to_rgb(fz_context* ctx, fz_colorspace* cs, const float* color, fz_color_params params) {
    float rgb[3] = {0, 0, 0};
    if (cs != NULL && color != NULL) fz_convert_color(ctx, cs, color, fz_device_rgb(ctx), rgb, NULL, params);
    unsigned int r = (unsigned int)fz_clamp(rgb[0] * 255 + 0.5f, 0, 255);
    unsigned int g = (unsigned int)fz_clamp(rgb[1] * 255 + 0.5f, 0, 255);
    unsigned int b = (unsigned int)fz_clamp(rgb[2] * 255 + 0.5f, 0, 255);
    return (r << 16) | (g << 8) | b;
}

/* The paint of a drawing operation: its own, or the text's while an
 * uncoloured Type 3 glyph runs. */
static void paint_of(fz_context* ctx, record_device* dev, fz_colorspace* cs, const float* color, float alpha,
                     fz_color_params params, unsigned int* rgb, float* out_alpha) {
    if (dev->glyph_paint_set) {
        *rgb = dev->glyph_rgb;
        *out_alpha = dev->glyph_alpha;
    } else {
        *rgb = to_rgb(ctx, cs, color, params);
        *out_alpha = alpha * current_alpha(dev);
    }
}

/* ----------------------------------------------------------------- paths */

typedef struct path_sink {
    fz_context* ctx;
    foli_drawing* d;
    fz_matrix ctm;
} path_sink;

static void put_op(path_sink* sink, unsigned char op) {
    foli_drawing* d = sink->d;
    GROW(sink->ctx, d->ops, d->op_count, d->op_capacity, unsigned char, 1);
    d->ops[d->op_count++] = op;
}

static void put_point(path_sink* sink, float x, float y) {
    foli_drawing* d = sink->d;
    fz_point p = fz_transform_point_xy(x, y, sink->ctm);
    GROW(sink->ctx, d->coords, d->coord_count, d->coord_capacity, float, 2);
    d->coords[d->coord_count++] = p.x;
    d->coords[d->coord_count++] = p.y;
}

static void sink_moveto(fz_context* ctx, void* arg, float x, float y) {
    put_op(arg, FOLI_PATH_MOVE);
    put_point(arg, x, y);
}

static void sink_lineto(fz_context* ctx, void* arg, float x, float y) {
    put_op(arg, FOLI_PATH_LINE);
    put_point(arg, x, y);
}

static void sink_curveto(fz_context* ctx, void* arg, float x1, float y1, float x2, float y2, float x3, float y3) {
    put_op(arg, FOLI_PATH_CURVE);
    put_point(arg, x1, y1);
    put_point(arg, x2, y2);
    put_point(arg, x3, y3);
}

static void sink_closepath(fz_context* ctx, void* arg) { put_op(arg, FOLI_PATH_CLOSE); }

/* The optional callbacks left out: MuPDF turns quads, rectangles and the
 * short curve forms into the four basic ones. */
static const fz_path_walker path_recorder = {sink_moveto, sink_lineto, sink_curveto, sink_closepath,
                                             NULL,        NULL,        NULL,          NULL};

static void record_path_shape(fz_context* ctx, foli_drawing* d, foli_draw_item* item, const fz_path* path,
                              fz_matrix ctm) {
    path_sink sink = {ctx, d, ctm};
    item->path_start = d->op_count;
    item->coord_start = d->coord_count;
    fz_walk_path(ctx, path, &path_recorder, &sink);
    item->path_ops = d->op_count - item->path_start;
}

static int same_shape(const foli_drawing* d, const foli_draw_item* a, const foli_draw_item* b) {
    if (a->path_ops != b->path_ops) return 0;
    int coords_a = (b->coord_start - a->coord_start), coords_b = d->coord_count - b->coord_start;
    if (a->path_start + a->path_ops != b->path_start || coords_a != coords_b) return 0;
    return memcmp(d->ops + a->path_start, d->ops + b->path_start, (size_t)a->path_ops) == 0 &&
           memcmp(d->coords + a->coord_start, d->coords + b->coord_start, sizeof(float) * (size_t)coords_a) == 0;
}

static void set_stroke(fz_context* ctx, foli_drawing* d, foli_draw_item* item, const fz_stroke_state* stroke,
                       fz_matrix ctm) {
    float expansion = fz_matrix_expansion(ctm);
    float width = stroke ? stroke->linewidth * expansion : expansion;
    item->stroke = 1;
    item->line_width = width > 0 ? width : HAIRLINE_WIDTH;
    item->miter_limit = stroke ? stroke->miterlimit : 10;
    item->line_cap = stroke ? (int)stroke->start_cap : 0;
    item->line_join = stroke ? (int)stroke->linejoin : 0;
    item->dash_start = d->dash_count;
    item->dash_count = 0;
    if (stroke != NULL && stroke->dash_len > 0) {
        int count = stroke->dash_len < 32 ? stroke->dash_len : 32;
        GROW(ctx, d->dashes, d->dash_count, d->dash_capacity, float, count);
        for (int i = 0; i < count; ++i) d->dashes[d->dash_count++] = stroke->dash_list[i] * expansion;
        item->dash_count = count;
        item->dash_phase = stroke->dash_phase * expansion;
    }
}

static void record_fill_path(fz_context* ctx, fz_device* device, const fz_path* path, int even_odd, fz_matrix ctm,
                             fz_colorspace* cs, const float* color, float alpha, fz_color_params params) {
    record_device* dev = RECORDER(device);
    if (capturing_mask(dev)) {
        capture_drawing(ctx, dev, NULL, ctm);
        return;
    }
    foli_drawing* d = dev->drawing;
    foli_draw_item* item = push_item(ctx, d, FOLI_DRAW_PATH);
    item->fill = 1;
    item->even_odd = even_odd;
    paint_of(ctx, dev, cs, color, alpha, params, &item->fill_rgb, &item->fill_alpha);
    record_path_shape(ctx, d, item, path, ctm);
}

static void record_stroke_path(fz_context* ctx, fz_device* device, const fz_path* path,
                               const fz_stroke_state* stroke, fz_matrix ctm, fz_colorspace* cs, const float* color,
                               float alpha, fz_color_params params) {
    record_device* dev = RECORDER(device);
    if (capturing_mask(dev)) {
        capture_drawing(ctx, dev, NULL, ctm);
        return;
    }
    foli_drawing* d = dev->drawing;
    foli_draw_item* item = push_item(ctx, d, FOLI_DRAW_PATH);
    paint_of(ctx, dev, cs, color, alpha, params, &item->stroke_rgb, &item->stroke_alpha);
    record_path_shape(ctx, d, item, path, ctm);
    set_stroke(ctx, d, item, stroke, ctm);
    /* A path filled and then stroked (the B operator) becomes one item. */
    if (d->item_count >= 2) {
        foli_draw_item* before = &d->items[d->item_count - 2];
        if (before->kind == FOLI_DRAW_PATH && before->fill && !before->stroke && same_shape(d, before, item)) {
            before->stroke = 1;
            before->stroke_rgb = item->stroke_rgb;
            before->stroke_alpha = item->stroke_alpha;
            before->line_width = item->line_width;
            before->miter_limit = item->miter_limit;
            before->line_cap = item->line_cap;
            before->line_join = item->line_join;
            before->dash_start = item->dash_start;
            before->dash_count = item->dash_count;
            before->dash_phase = item->dash_phase;
            d->op_count = item->path_start;
            d->coord_count = item->coord_start;
            d->item_count--;
        }
    }
}

static void record_clip_path(fz_context* ctx, fz_device* device, const fz_path* path, int even_odd, fz_matrix ctm,
                             fz_rect scissor) {
    record_device* dev = RECORDER(device);
    fz_rect bounds = fz_bound_path(ctx, path, NULL, ctm);
    if (capturing_mask(dev)) {
        push_clip_entry(ctx, dev, CLIP_SILENT, bounds);
        return;
    }
    foli_drawing* d = dev->drawing;
    foli_draw_item* item = push_item(ctx, d, FOLI_DRAW_CLIP);
    item->even_odd = even_odd;
    record_path_shape(ctx, d, item, path, ctm);
    push_clip_entry(ctx, dev, CLIP_RECORDED, bounds);
}

static void record_clip_stroke_path(fz_context* ctx, fz_device* device, const fz_path* path,
                                    const fz_stroke_state* stroke, fz_matrix ctm, fz_rect scissor) {
    record_device* dev = RECORDER(device);
    if (!capturing_mask(dev)) dev->drawing->unexpressed_clips++;
    push_clip_entry(ctx, dev, CLIP_SILENT, fz_bound_path(ctx, path, stroke, ctm));
}

/* ------------------------------------------------------------------ text */

static int is_type3(fz_context* ctx, fz_font* font) { return fz_font_t3_procs(ctx, font) != NULL; }

/* Records every span of the text as a TEXT item with the given paint
 * (neither fill nor stroke: invisible). */
static void record_text(fz_context* ctx, record_device* dev, const fz_text* text, fz_matrix ctm, int fill,
                        int stroke, unsigned int rgb, float alpha, const fz_stroke_state* stroke_state) {
    foli_drawing* d = dev->drawing;
    fz_matrix linear = ctm;
    linear.e = linear.f = 0;
    for (const fz_text_span* span = text->head; span != NULL; span = span->next) {
        if (span->len <= 0 || span->font == NULL) continue;
        int visible = (fill || stroke) && !is_type3(ctx, span->font);
        foli_draw_item* item = push_item(ctx, d, FOLI_DRAW_TEXT);
        item->font = font_index(ctx, d, span->font);
        fz_matrix trm = span->trm;
        trm.e = trm.f = 0;
        item->glyph_matrix = fz_concat(trm, linear);
        item->wmode = span->wmode;
        item->fill = visible && fill;
        item->stroke = visible && stroke;
        item->fill_rgb = item->stroke_rgb = rgb;
        item->fill_alpha = item->stroke_alpha = alpha;
        if (item->stroke) set_stroke(ctx, d, item, stroke_state, ctm);
        item->glyph_start = d->glyph_count;
        GROW(ctx, d->glyphs, d->glyph_count, d->glyph_capacity, foli_draw_glyph, span->len);
        for (int i = 0; i < span->len; ++i) {
            const fz_text_item* source = &span->items[i];
            fz_point origin = fz_transform_point_xy(source->x, source->y, ctm);
            foli_draw_glyph* glyph = &d->glyphs[d->glyph_count++];
            glyph->gid = source->gid;
            glyph->ucs = source->ucs;
            glyph->x = origin.x;
            glyph->y = origin.y;
            glyph->advance = source->gid >= 0 ? fz_advance_glyph(ctx, span->font, source->gid, span->wmode) : 0;
        }
        item->glyph_count = span->len;
    }
}

static int same_glyphs(const foli_drawing* d, const foli_draw_item* a, const foli_draw_item* b) {
    return a->font == b->font && a->glyph_count == b->glyph_count &&
           memcmp(d->glyphs + a->glyph_start, d->glyphs + b->glyph_start,
                  sizeof(foli_draw_glyph) * (size_t)a->glyph_count) == 0;
}

/* Text drawn twice (filled, then stroked or used as a clip) is one item:
 * the newest items, back to `first`, merge into the matching ones before
 * them when every span matches. Returns whether they merged. */
static int merge_repeated_text(fz_context* ctx, foli_drawing* d, int first, int stroke_too) {
    int spans = d->item_count - first;
    if (spans <= 0 || first - spans < 0) return 0;
    for (int i = 0; i < spans; ++i) {
        const foli_draw_item* before = &d->items[first - spans + i];
        if (before->kind != FOLI_DRAW_TEXT || !same_glyphs(d, before, &d->items[first + i])) return 0;
    }
    for (int i = 0; i < spans; ++i) {
        foli_draw_item* before = &d->items[first - spans + i];
        const foli_draw_item* again = &d->items[first + i];
        if (stroke_too && again->stroke && !before->stroke) {
            before->stroke = 1;
            before->stroke_rgb = again->stroke_rgb;
            before->stroke_alpha = again->stroke_alpha;
            before->line_width = again->line_width;
            before->miter_limit = again->miter_limit;
            before->line_cap = again->line_cap;
            before->line_join = again->line_join;
            before->dash_start = again->dash_start;
            before->dash_count = again->dash_count;
            before->dash_phase = again->dash_phase;
        }
    }
    d->glyph_count = d->items[first].glyph_start;
    d->item_count = first;
    return 1;
}

/* Runs one Type 3 glyph's procedure into this device. A glyph that sets
 * no colour of its own (d1) is painted in the text's colour. */
static void run_type3_glyph(fz_context* ctx, record_device* dev, fz_font* font, int gid, fz_matrix trm,
                            unsigned int rgb, float alpha) {
    int uncoloured = font->t3flags != NULL && (font->t3flags[gid] & FZ_DEVFLAG_MASK);
    int saved_set = dev->glyph_paint_set;
    unsigned int saved_rgb = dev->glyph_rgb;
    float saved_alpha = dev->glyph_alpha;
    fz_var(saved_set);
    fz_var(saved_rgb);
    fz_var(saved_alpha);
    if (uncoloured && !dev->glyph_paint_set) {
        dev->glyph_paint_set = 1;
        dev->glyph_rgb = rgb;
        dev->glyph_alpha = alpha;
    }
    fz_try(ctx) {
        fz_run_t3_glyph(ctx, font, gid, trm, &dev->super);
    }
    fz_always(ctx) {
        dev->glyph_paint_set = saved_set;
        dev->glyph_rgb = saved_rgb;
        dev->glyph_alpha = saved_alpha;
    }
    fz_catch(ctx) {
        fz_rethrow(ctx);
    }
    dev->drawing->type3_glyphs++;
}

/* Draws the Type 3 glyphs of the text as the graphics their procedures
 * paint. */
static void draw_type3_glyphs(fz_context* ctx, record_device* dev, const fz_text* text, fz_matrix ctm,
                              unsigned int rgb, float alpha) {
    for (const fz_text_span* span = text->head; span != NULL; span = span->next) {
        if (span->font == NULL || !is_type3(ctx, span->font)) continue;
        for (int i = 0; i < span->len; ++i) {
            const fz_text_item* item = &span->items[i];
            if (item->gid < 0 || item->gid > 255) continue;
            fz_matrix trm = span->trm;
            trm.e = item->x;
            trm.f = item->y;
            run_type3_glyph(ctx, dev, span->font, item->gid, fz_concat(trm, ctm), rgb, alpha);
        }
    }
}

static void record_fill_text(fz_context* ctx, fz_device* device, const fz_text* text, fz_matrix ctm,
                             fz_colorspace* cs, const float* color, float alpha, fz_color_params params) {
    record_device* dev = RECORDER(device);
    if (capturing_mask(dev)) {
        capture_drawing(ctx, dev, NULL, ctm);
        return;
    }
    unsigned int rgb;
    float paint_alpha;
    paint_of(ctx, dev, cs, color, alpha, params, &rgb, &paint_alpha);
    record_text(ctx, dev, text, ctm, 1, 0, rgb, paint_alpha, NULL);
    draw_type3_glyphs(ctx, dev, text, ctm, rgb, paint_alpha);
}

static void record_stroke_text(fz_context* ctx, fz_device* device, const fz_text* text,
                               const fz_stroke_state* stroke, fz_matrix ctm, fz_colorspace* cs, const float* color,
                               float alpha, fz_color_params params) {
    record_device* dev = RECORDER(device);
    if (capturing_mask(dev)) {
        capture_drawing(ctx, dev, NULL, ctm);
        return;
    }
    unsigned int rgb;
    float paint_alpha;
    paint_of(ctx, dev, cs, color, alpha, params, &rgb, &paint_alpha);
    int first = dev->drawing->item_count;
    record_text(ctx, dev, text, ctm, 0, 1, rgb, paint_alpha, stroke);
    if (!merge_repeated_text(ctx, dev->drawing, first, 1)) draw_type3_glyphs(ctx, dev, text, ctm, rgb, paint_alpha);
}

static void record_ignore_text(fz_context* ctx, fz_device* device, const fz_text* text, fz_matrix ctm) {
    record_device* dev = RECORDER(device);
    if (capturing_mask(dev)) return;
    int first = dev->drawing->item_count;
    record_text(ctx, dev, text, ctm, 0, 0, 0, 1, NULL);
    merge_repeated_text(ctx, dev->drawing, first, 0);
}

/* Clipping text clips to its glyph outlines; the text itself is kept
 * (invisible) for search unless it was also drawn just before. */
static void record_clip_text(fz_context* ctx, fz_device* device, const fz_text* text, fz_matrix ctm,
                             fz_rect scissor) {
    record_device* dev = RECORDER(device);
    fz_rect bounds = fz_bound_text(ctx, text, NULL, ctm);
    if (capturing_mask(dev)) {
        push_clip_entry(ctx, dev, CLIP_SILENT, bounds);
        return;
    }
    foli_drawing* d = dev->drawing;
    int first = d->item_count;
    record_text(ctx, dev, text, ctm, 0, 0, 0, 1, NULL);
    merge_repeated_text(ctx, d, first, 0);

    int outlined = 0;
    foli_draw_item* clip = push_item(ctx, d, FOLI_DRAW_CLIP);
    clip->path_start = d->op_count;
    clip->coord_start = d->coord_count;
    path_sink sink = {ctx, d, fz_identity};
    for (const fz_text_span* span = text->head; span != NULL; span = span->next) {
        if (span->font == NULL || is_type3(ctx, span->font)) continue;
        for (int i = 0; i < span->len; ++i) {
            const fz_text_item* item = &span->items[i];
            if (item->gid < 0) continue;
            fz_matrix trm = span->trm;
            trm.e = item->x;
            trm.f = item->y;
            fz_path* outline = fz_outline_glyph(ctx, span->font, item->gid, fz_concat(trm, ctm));
            if (outline == NULL) continue;
            fz_try(ctx) {
                fz_walk_path(ctx, outline, &path_recorder, &sink);
            }
            fz_always(ctx) {
                fz_drop_path(ctx, outline);
            }
            fz_catch(ctx) {
                fz_rethrow(ctx);
            }
            outlined = 1;
        }
    }
    clip->path_ops = d->op_count - clip->path_start;
    if (!outlined) {
        /* Type 3 text: a clip we cannot draw. */
        d->op_count = clip->path_start;
        d->coord_count = clip->coord_start;
        d->item_count--;
        d->unexpressed_clips++;
        push_clip_entry(ctx, dev, CLIP_SILENT, bounds);
        return;
    }
    push_clip_entry(ctx, dev, CLIP_RECORDED, bounds);
}

static void record_clip_stroke_text(fz_context* ctx, fz_device* device, const fz_text* text,
                                    const fz_stroke_state* stroke, fz_matrix ctm, fz_rect scissor) {
    record_device* dev = RECORDER(device);
    if (!capturing_mask(dev)) {
        int first = dev->drawing->item_count;
        record_text(ctx, dev, text, ctm, 0, 0, 0, 1, NULL);
        merge_repeated_text(ctx, dev->drawing, first, 0);
        dev->drawing->unexpressed_clips++;
    }
    push_clip_entry(ctx, dev, CLIP_SILENT, fz_bound_text(ctx, text, stroke, ctm));
}

/* ---------------------------------------------------------------- images */

static const fz_rect unit_square = {0, 0, 1, 1};

static void record_image(fz_context* ctx, record_device* dev, fz_image* image, fz_matrix ctm, int stencil,
                         unsigned int rgb, float alpha) {
    if (image == NULL || image->w <= 0 || image->h <= 0) return;
    foli_draw_item* item = push_item(ctx, dev->drawing, FOLI_DRAW_IMAGE);
    item->image = fz_keep_image(ctx, image);
    item->image_matrix = ctm;
    item->area = fz_transform_rect(unit_square, ctm);
    item->stencil = stencil;
    item->fill_rgb = rgb;
    item->alpha = alpha;
}

static void record_fill_image(fz_context* ctx, fz_device* device, fz_image* image, fz_matrix ctm, float alpha,
                              fz_color_params params) {
    record_device* dev = RECORDER(device);
    if (capturing_mask(dev)) {
        capture_drawing(ctx, dev, image, ctm);
        return;
    }
    /* An image inside an uncoloured Type 3 glyph is painted as a mask. */
    if (dev->glyph_paint_set)
        record_image(ctx, dev, image, ctm, 1, dev->glyph_rgb, dev->glyph_alpha);
    else
        record_image(ctx, dev, image, ctm, 0, 0, alpha * current_alpha(dev));
}

static void record_fill_image_mask(fz_context* ctx, fz_device* device, fz_image* image, fz_matrix ctm,
                                   fz_colorspace* cs, const float* color, float alpha, fz_color_params params) {
    record_device* dev = RECORDER(device);
    if (capturing_mask(dev)) {
        capture_drawing(ctx, dev, NULL, ctm);
        return;
    }
    unsigned int rgb;
    float paint_alpha;
    paint_of(ctx, dev, cs, color, alpha, params, &rgb, &paint_alpha);
    record_image(ctx, dev, image, ctm, 1, rgb, paint_alpha);
}

/* An image mask as a clip: what MuPDF makes of an image's soft mask
 * (SMask) or stencil mask (Mask). It is decided on like a soft mask. */
static void record_clip_image_mask(fz_context* ctx, fz_device* device, fz_image* image, fz_matrix ctm,
                                   fz_rect scissor) {
    record_device* dev = RECORDER(device);
    fz_rect bounds = fz_transform_rect(unit_square, ctm);
    if (capturing_mask(dev)) {
        push_clip_entry(ctx, dev, CLIP_SILENT, bounds);
        return;
    }
    clip_entry* entry = push_clip_entry(ctx, dev, CLIP_MASK, bounds);
    entry->first_masked_item = dev->drawing->item_count;
    entry->mask_image = fz_keep_image(ctx, image);
    entry->mask_matrix = ctm;
    entry->mask_area = bounds;
}

/* MuPDF's pixmaps with alpha are premultiplied; image files want straight
 * alpha. */
static void unpremultiply(fz_pixmap* pixmap) {
    int n = pixmap->n;
    for (int y = 0; y < pixmap->h; ++y) {
        unsigned char* p = pixmap->samples + (size_t)y * (size_t)pixmap->stride;
        for (int x = 0; x < pixmap->w; ++x, p += n) {
            int alpha = p[n - 1];
            if (alpha == 0 || alpha == 255) continue;
            for (int c = 0; c < n - 1; ++c) p[c] = (unsigned char)fz_mini(255, (p[c] * 255 + alpha / 2) / alpha);
        }
    }
}

/* A shading is drawn into pixels over the part of it the clips leave. */
static void record_fill_shade(fz_context* ctx, fz_device* device, fz_shade* shade, fz_matrix ctm, float alpha,
                              fz_color_params params) {
    record_device* dev = RECORDER(device);
    if (capturing_mask(dev)) {
        capture_drawing(ctx, dev, NULL, ctm);
        return;
    }
    /* Axial and radial shadings may fill the whole plane (MuPDF bounds
     * them loosely): the clips decide. The pixels outside the shading stay
     * transparent. */
    fz_rect area = current_scissor(dev);
    if (shade->type != FZ_LINEAR && shade->type != FZ_RADIAL)
        area = fz_intersect_rect(fz_bound_shade(ctx, shade, ctm), area);
    if (fz_is_empty_rect(area) || !isfinite(area.x0) || !isfinite(area.y0) || !isfinite(area.x1) ||
        !isfinite(area.y1))
        return;
    float scale = SHADE_PIXELS_PER_POINT;
    float pixels = (area.x1 - area.x0) * (area.y1 - area.y0) * scale * scale;
    if (pixels > SHADE_MAX_PIXELS) scale *= sqrtf(SHADE_MAX_PIXELS / pixels);
    fz_irect box = fz_round_rect(fz_transform_rect(area, fz_scale(scale, scale)));
    if (box.x1 <= box.x0 || box.y1 <= box.y0) return;

    fz_pixmap* pixmap = fz_new_pixmap_with_bbox(ctx, fz_device_rgb(ctx), box, NULL, 1);
    fz_device* draw = NULL;
    fz_var(draw);
    fz_try(ctx) {
        fz_clear_pixmap(ctx, pixmap);
        draw = fz_new_draw_device(ctx, fz_scale(scale, scale), pixmap);
        fz_fill_shade(ctx, draw, shade, ctm, alpha * current_alpha(dev), params);
        fz_close_device(ctx, draw);
    }
    fz_always(ctx) {
        fz_drop_device(ctx, draw);
    }
    fz_catch(ctx) {
        fz_drop_pixmap(ctx, pixmap);
        fz_rethrow(ctx);
    }
    unpremultiply(pixmap);
    foli_draw_item* item = NULL;
    fz_var(item);
    fz_try(ctx) {
        item = push_item(ctx, dev->drawing, FOLI_DRAW_IMAGE);
    }
    fz_catch(ctx) {
        fz_drop_pixmap(ctx, pixmap);
        fz_rethrow(ctx);
    }
    item->pixmap = pixmap;
    item->area = fz_make_rect(box.x0 / scale, box.y0 / scale, box.x1 / scale, box.y1 / scale);
    item->image_matrix = fz_make_matrix(item->area.x1 - item->area.x0, 0, 0, item->area.y1 - item->area.y0,
                                        item->area.x0, item->area.y0);
}

/* ----------------------------------------------------- clips, masks, groups */

static int nearly_same_matrix(fz_matrix a, fz_matrix b) {
    float scale = fmaxf(1, fmaxf(fabsf(a.a) + fabsf(a.b), fabsf(a.c) + fabsf(a.d)));
    float tolerance = 0.01f * scale;
    return fabsf(a.a - b.a) < tolerance && fabsf(a.b - b.b) < tolerance && fabsf(a.c - b.c) < tolerance &&
           fabsf(a.d - b.d) < tolerance && fabsf(a.e - b.e) < tolerance && fabsf(a.f - b.f) < tolerance;
}

/* Content under a soft mask that is not one image's alpha: shown as a
 * rendering of the page over the mask's area, with its text kept as
 * invisible text after it. */
static void flatten_masked(fz_context* ctx, record_device* dev, const clip_entry* mask) {
    foli_drawing* d = dev->drawing;
    int first = mask->first_masked_item;
    int kept = first;
    for (int i = first; i < d->item_count; ++i) {
        foli_draw_item* item = &d->items[i];
        if (item->kind == FOLI_DRAW_TEXT) {
            item->fill = item->stroke = 0;
            d->items[kept++] = *item;
        } else {
            release_item(ctx, item);
        }
    }
    int texts = kept - first;
    d->item_count = kept;
    fz_rect area = fz_intersect_rect(mask->mask_area, mask->scissor);
    if (fz_is_empty_rect(area)) return;
    foli_draw_item* raster = push_item(ctx, d, FOLI_DRAW_RASTER);
    raster->area = area;
    /* The raster goes under the kept text. */
    foli_draw_item saved = *raster;
    memmove(&d->items[first + 1], &d->items[first], sizeof(foli_draw_item) * (size_t)texts);
    d->items[first] = saved;
    d->flattened_regions++;
}

static void close_mask(fz_context* ctx, record_device* dev, clip_entry* mask) {
    foli_drawing* d = dev->drawing;
    int first = mask->first_masked_item;
    int drawn = d->item_count - first;
    if (drawn == 0) {
        /* nothing drawn under it */
    } else if (drawn == 1 && mask->mask_image != NULL && d->items[first].kind == FOLI_DRAW_IMAGE &&
               d->items[first].image != NULL && !d->items[first].stencil && d->items[first].soft_mask == NULL &&
               nearly_same_matrix(d->items[first].image_matrix, mask->mask_matrix)) {
        /* An image with its soft mask (SMask): the mask becomes its alpha. */
        d->items[first].soft_mask = mask->mask_image;
        mask->mask_image = NULL;
    } else {
        flatten_masked(ctx, dev, mask);
    }
    fz_drop_image(ctx, mask->mask_image);
    mask->mask_image = NULL;
}

static void record_pop_clip(fz_context* ctx, fz_device* device) {
    record_device* dev = RECORDER(device);
    if (dev->clip_count == 0) return;
    clip_entry entry = dev->clips[--dev->clip_count];
    if (entry.kind == CLIP_RECORDED)
        push_item(ctx, dev->drawing, FOLI_DRAW_POP_CLIP);
    else if (entry.kind == CLIP_MASK)
        close_mask(ctx, dev, &entry);
}

static void record_begin_mask(fz_context* ctx, fz_device* device, fz_rect area, int luminosity,
                              fz_colorspace* cs, const float* bc, fz_color_params params) {
    record_device* dev = RECORDER(device);
    if (dev->mask.depth++ > 0) {
        dev->mask.drawings++; /* a mask inside a mask: not a plain image */
        return;
    }
    dev->mask.drawings = 0;
    fz_drop_image(ctx, dev->mask.image);
    dev->mask.image = NULL;
    dev->mask.area = area;
}

static void record_end_mask(FOLI_END_MASK_PARAMS) {
    record_device* rec = RECORDER(dev);
    if (rec->mask.depth == 0) return;
    if (--rec->mask.depth > 0) {
        push_clip_entry(ctx, rec, CLIP_SILENT, rec->mask.area);
        return;
    }
    if (rec->mask.drawings != 1) {
        fz_drop_image(ctx, rec->mask.image);
        rec->mask.image = NULL;
    }
    clip_entry* entry = push_clip_entry(ctx, rec, CLIP_MASK, rec->mask.area);
    entry->first_masked_item = rec->drawing->item_count;
    entry->mask_image = rec->mask.image; /* the entry takes the reference */
    rec->mask.image = NULL;
    entry->mask_matrix = rec->mask.matrix;
    entry->mask_area = rec->mask.area;
}

/* Groups multiply their alpha into what they contain; blend modes and
 * knockout are drawn as normal painting. */
static void record_begin_group(fz_context* ctx, fz_device* device, fz_rect area, fz_colorspace* cs, int isolated,
                               int knockout, int blendmode, float alpha) {
    record_device* dev = RECORDER(device);
    GROW(ctx, dev->group_alpha, dev->group_count, dev->group_capacity, float, 1);
    float outer = current_alpha(dev);
    dev->group_alpha[dev->group_count++] = outer * alpha;
}

static void record_end_group(fz_context* ctx, fz_device* device) {
    record_device* dev = RECORDER(device);
    if (dev->group_count > 0) dev->group_count--;
}

static void record_drop(fz_context* ctx, fz_device* device) {
    record_device* dev = RECORDER(device);
    for (int i = 0; i < dev->clip_count; ++i) fz_drop_image(ctx, dev->clips[i].mask_image);
    fz_drop_image(ctx, dev->mask.image);
    fz_free(ctx, dev->clips);
    fz_free(ctx, dev->group_alpha);
}

/* Tiles are not taken: without begin_tile the interpreter draws every
 * tile cell, which is what the record wants. */
static fz_device* new_record_device(fz_context* ctx, foli_drawing* drawing, fz_rect page) {
    record_device* dev = fz_new_derived_device(ctx, record_device);
    dev->super.drop_device = record_drop;
    dev->super.fill_path = record_fill_path;
    dev->super.stroke_path = record_stroke_path;
    dev->super.clip_path = record_clip_path;
    dev->super.clip_stroke_path = record_clip_stroke_path;
    dev->super.fill_text = record_fill_text;
    dev->super.stroke_text = record_stroke_text;
    dev->super.clip_text = record_clip_text;
    dev->super.clip_stroke_text = record_clip_stroke_text;
    dev->super.ignore_text = record_ignore_text;
    dev->super.fill_shade = record_fill_shade;
    dev->super.fill_image = record_fill_image;
    dev->super.fill_image_mask = record_fill_image_mask;
    dev->super.clip_image_mask = record_clip_image_mask;
    dev->super.pop_clip = record_pop_clip;
    dev->super.begin_mask = record_begin_mask;
    dev->super.end_mask = record_end_mask;
    dev->super.begin_group = record_begin_group;
    dev->super.end_group = record_end_group;
    dev->drawing = drawing;
    dev->page = page;
    return &dev->super;
}

/* Pops what a page left open (a damaged content stream), so every clip
 * the record pushed is popped and every mask decided. */
static void close_open_clips(fz_context* ctx, fz_device* device) {
    record_device* dev = RECORDER(device);
    dev->mask.depth = 0;
    while (dev->clip_count > 0) record_pop_clip(ctx, device);
}

foli_mu_status foli_mu_record_page(fz_context* ctx, fz_page* page, int with_annotations, foli_drawing* drawing) {
    foli_mu_status status = FOLI_MU_OK;
    fz_device* device = NULL;
    fz_var(status);
    fz_var(device);
    fz_try(ctx) {
        fz_rect bounds = fz_bound_page(ctx, page);
        device = new_record_device(ctx, drawing, bounds);
        /* Through the shim's page runner: work budget, in-page cancel. */
        status = foli_mu_run_page(ctx, page, device, fz_identity, with_annotations);
        if (status == FOLI_MU_OK) {
            close_open_clips(ctx, device);
            fz_close_device(ctx, device);
        }
    }
    fz_always(ctx) {
        fz_drop_device(ctx, device);
    }
    fz_catch(ctx) {
        status = foli_mu_caught_memory_error(ctx) ? FOLI_MU_MEMORY : FOLI_MU_PAGE;
    }
    if (status != FOLI_MU_OK) foli_mu_drop_drawing(ctx, drawing);
    return status;
}

/* ---------------------------------------------------------- image pixels */

fz_buffer* foli_mu_image_jpeg(fz_context* ctx, fz_image* image) {
    fz_compressed_buffer* compressed = fz_compressed_image_buffer(ctx, image);
    if (compressed == NULL || compressed->params.type != FZ_IMAGE_JPEG || compressed->buffer == NULL) return NULL;
    if (image->mask != NULL || image->imagemask || image->use_decode || image->use_colorkey ||
        image->orientation > 1 || image->colorspace == NULL || image->bpc != 8)
        return NULL;
    if (!fz_colorspace_is_rgb(ctx, image->colorspace) && !fz_colorspace_is_gray(ctx, image->colorspace)) return NULL;
    if (compressed->params.u.jpeg.color_transform == 0) return NULL;
    /* A stream cut short or corrupt is not copied as if it were whole. */
    if (!foli_jpeg_decodes_whole(compressed->buffer->data, compressed->buffer->len)) return NULL;
    return fz_keep_buffer(ctx, compressed->buffer);
}

/* The size to decode at: the image's own, or one of the same shape with at
 * most max_pixels pixels. */
static fz_matrix decode_size(int width, int height, int64_t max_pixels) {
    double w = width, h = height;
    double pixels = w * h;
    if (max_pixels > 0 && pixels > (double)max_pixels) {
        double shrink = sqrt((double)max_pixels / pixels);
        w = fmax(1.0, floor(w * shrink));
        h = fmax(1.0, floor(h * shrink));
    }
    return fz_scale((float)w, (float)h);
}

/* The image's pixels as gray or RGB without alpha. */
static fz_pixmap* decode_colour(fz_context* ctx, fz_image* image, int64_t max_pixels) {
    fz_matrix size = decode_size(image->w, image->h, max_pixels);
    fz_pixmap* decoded = fz_get_pixmap_from_image(ctx, image, NULL, &size, NULL, NULL);
    fz_colorspace* cs = decoded->colorspace;
    if (cs != NULL && (fz_colorspace_is_rgb(ctx, cs) || fz_colorspace_is_gray(ctx, cs)) && !decoded->alpha)
        return decoded;
    fz_pixmap* converted = NULL;
    fz_try(ctx) {
        fz_colorspace* target = cs != NULL && fz_colorspace_is_gray(ctx, cs) ? fz_device_gray(ctx) : fz_device_rgb(ctx);
        converted = fz_convert_pixmap(ctx, decoded, target, NULL, NULL, fz_default_color_params, 0);
    }
    fz_always(ctx) {
        fz_drop_pixmap(ctx, decoded);
    }
    fz_catch(ctx) {
        fz_rethrow(ctx);
    }
    return converted;
}

/* One 8-bit coverage value per pixel of a mask, sampled (nearest pixel)
 * at width x height: the gray of a soft mask, or the coverage of a
 * stencil, which MuPDF decodes as an alpha-only pixmap. */
static unsigned char* mask_coverage(fz_context* ctx, fz_image* mask, int width, int height) {
    fz_matrix size = fz_scale((float)width, (float)height);
    fz_pixmap* decoded = fz_get_pixmap_from_image(ctx, mask, NULL, &size, NULL, NULL);
    unsigned char* coverage = NULL;
    fz_var(coverage);
    fz_try(ctx) {
        coverage = fz_malloc(ctx, (size_t)width * (size_t)height);
        int n = decoded->n;
        for (int y = 0; y < height; ++y) {
            int sy = (int)(((int64_t)y * decoded->h) / height);
            const unsigned char* row = decoded->samples + (size_t)sy * (size_t)decoded->stride;
            for (int x = 0; x < width; ++x) {
                int sx = (int)(((int64_t)x * decoded->w) / width);
                coverage[(size_t)y * (size_t)width + (size_t)x] = row[(size_t)sx * (size_t)n + (size_t)(n - 1)];
            }
        }
    }
    fz_always(ctx) {
        fz_drop_pixmap(ctx, decoded);
    }
    fz_catch(ctx) {
        fz_free(ctx, coverage);
        fz_rethrow(ctx);
    }
    return coverage;
}

foli_mu_status foli_mu_decode_image_item(fz_context* ctx, fz_image* image, fz_image* soft_mask, int stencil,
                                         unsigned int rgb, int64_t max_pixels, fz_pixmap** out) {
    foli_mu_status status = FOLI_MU_OK;
    fz_pixmap* colour = NULL;
    fz_pixmap* result = NULL;
    unsigned char* coverage = NULL;
    fz_var(status);
    fz_var(colour);
    fz_var(result);
    fz_var(coverage);
    *out = NULL;
    fz_try(ctx) {
        if (stencil) {
            fz_matrix size = decode_size(image->w, image->h, max_pixels);
            int width = (int)size.a, height = (int)size.d;
            coverage = mask_coverage(ctx, image, width, height);
            result = fz_new_pixmap(ctx, fz_device_rgb(ctx), width, height, NULL, 1);
            for (int y = 0; y < height; ++y) {
                unsigned char* row = result->samples + (size_t)y * (size_t)result->stride;
                for (int x = 0; x < width; ++x) {
                    unsigned char* p = row + (size_t)x * 4;
                    p[0] = (unsigned char)(rgb >> 16);
                    p[1] = (unsigned char)(rgb >> 8);
                    p[2] = (unsigned char)rgb;
                    p[3] = coverage[(size_t)y * (size_t)width + (size_t)x];
                }
            }
        } else {
            colour = decode_colour(ctx, image, max_pixels);
            if (soft_mask == NULL) {
                result = colour;
                colour = NULL;
            } else {
                int width = colour->w, height = colour->h, n = colour->n;
                coverage = mask_coverage(ctx, soft_mask, width, height);
                result = fz_new_pixmap(ctx, colour->colorspace, width, height, NULL, 1);
                for (int y = 0; y < height; ++y) {
                    const unsigned char* from = colour->samples + (size_t)y * (size_t)colour->stride;
                    unsigned char* to = result->samples + (size_t)y * (size_t)result->stride;
                    for (int x = 0; x < width; ++x) {
                        memcpy(to + (size_t)x * (size_t)(n + 1), from + (size_t)x * (size_t)n, (size_t)n);
                        to[(size_t)x * (size_t)(n + 1) + (size_t)n] = coverage[(size_t)y * (size_t)width + (size_t)x];
                    }
                }
            }
        }
    }
    fz_always(ctx) {
        fz_drop_pixmap(ctx, colour);
        fz_free(ctx, coverage);
    }
    fz_catch(ctx) {
        fz_drop_pixmap(ctx, result);
        result = NULL;
        status = foli_mu_caught_memory_error(ctx) ? FOLI_MU_MEMORY : FOLI_MU_FAILED;
    }
    *out = result;
    return status;
}
