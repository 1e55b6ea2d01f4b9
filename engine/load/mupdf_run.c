/* Part of the MuPDF shim (see mupdf_shim.h): running a page's contents into
 * a device under watch. Every run of page contents goes through
 * foli_mu_run_page, which
 *   - puts a watch device in front of the target device that counts the
 *     drawing work, stops the page once it passes FOLI_PAGE_WORK_LIMIT and
 *     polls the caller's cancel hook between drawing operations, at most
 *     every FOLI_CANCEL_POLL_MS of work;
 *   - skips a drawing operation that fails (a broken image, font or
 *     shading) with a warning and goes on with the rest of the page;
 *   - keeps what was drawn when the page stops early, closing whatever the
 *     target device still has open.
 * No fz_try block here contains a return; results travel through locals. */
#include "mupdf_shim.h"
#include "mupdf_compat.h"

#include <math.h>
#include <string.h>
#include <time.h>

/* ------------------------------------------------------------ the watch */

void foli_mu_set_run_watch(fz_context* ctx, const foli_run_watch* watch) {
    fz_set_user_context(ctx, (void*)watch);
}

static const foli_run_watch* run_watch(fz_context* ctx) { return (const foli_run_watch*)fz_user_context(ctx); }

static double now_ms(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec * 1000.0 + (double)now.tv_nsec / 1e6;
}

/* ------------------------------------------------------- the watch device */

typedef enum stop_reason { RUN_GOING = 0, RUN_OVER_BUDGET, RUN_CANCELLED } stop_reason;

/* What the target device has open, so that a page stopped early can be
 * closed in order: clips, soft masks being defined (then clips), groups
 * and tiles. */
typedef enum open_kind { OPEN_CLIP, OPEN_MASK, OPEN_GROUP, OPEN_TILE } open_kind;

typedef struct watch_device {
    fz_device super;
    fz_device* target;
    fz_cookie* cookie;
    const foli_run_watch* watch;
    fz_rect area;           /* the part of device space that is drawn */
    int64_t work;
    double last_poll_ms;
    stop_reason stopped;
    int target_failed;      /* the target threw from a container call and is disabled */
    int skipped;            /* drawing operations that failed and were left out */
    open_kind* open;
    int open_count, open_capacity;
} watch_device;

static void stop_run(fz_context* ctx, watch_device* dev, stop_reason why) {
    dev->stopped = why;
    dev->cookie->abort = 1;
    fz_throw(ctx, FZ_ERROR_ABORT, why == RUN_CANCELLED ? "cancelled" : "page work limit reached");
}

/* Adds the work of one operation, and stops the page when it is over the
 * budget or the caller asks to cancel. Throws only FZ_ERROR_ABORT. */
static void charge(fz_context* ctx, watch_device* dev, int64_t units) {
    if (dev->stopped != RUN_GOING) stop_run(ctx, dev, dev->stopped);
    dev->work += FOLI_OPERATION_WORK + units;
    if (dev->work > FOLI_PAGE_WORK_LIMIT) stop_run(ctx, dev, RUN_OVER_BUDGET);
    if (dev->watch == NULL || dev->watch->cancel_requested == NULL) return;
    double now = now_ms();
    if (now - dev->last_poll_ms < FOLI_CANCEL_POLL_MS) return;
    dev->last_poll_ms = now;
    if (dev->watch->cancel_requested(dev->watch->user)) stop_run(ctx, dev, RUN_CANCELLED);
}

static void count_move(fz_context* ctx, void* arg, float x, float y) { ++*(int64_t*)arg; }
static void count_line(fz_context* ctx, void* arg, float x, float y) { ++*(int64_t*)arg; }
static void count_curve(fz_context* ctx, void* arg, float x1, float y1, float x2, float y2, float x3, float y3) {
    ++*(int64_t*)arg;
}
static void count_close(fz_context* ctx, void* arg) { ++*(int64_t*)arg; }

static const fz_path_walker segment_counter = {count_move, count_line, count_curve, count_close,
                                               NULL,       NULL,       NULL,        NULL};

static int64_t path_units(fz_context* ctx, const fz_path* path) {
    int64_t segments = 0;
    fz_walk_path(ctx, path, &segment_counter, &segments);
    return 1 + segments;
}

static int64_t text_units(const fz_text* text) {
    int64_t glyphs = 0;
    for (const fz_text_span* span = text->head; span != NULL; span = span->next) glyphs += span->len;
    return 1 + glyphs * FOLI_GLYPH_WORK;
}

/* Pixels covered in device space, within the drawn area. */
static int64_t area_units(fz_rect box, fz_rect area) {
    box = fz_intersect_rect(box, area);
    if (fz_is_empty_rect(box) || !isfinite(box.x0) || !isfinite(box.x1) || !isfinite(box.y0) || !isfinite(box.y1))
        return 1;
    double pixels = ((double)box.x1 - box.x0) * ((double)box.y1 - box.y0);
    return 1 + (int64_t)fmin(pixels / FOLI_PIXELS_PER_WORK, (double)FOLI_PAGE_WORK_LIMIT);
}

static void remember_open(fz_context* ctx, watch_device* dev, open_kind kind) {
    if (dev->open_count == dev->open_capacity) {
        int capacity = dev->open_capacity ? dev->open_capacity * 2 : 32;
        dev->open = fz_realloc_array(ctx, dev->open, capacity, open_kind);
        dev->open_capacity = capacity;
    }
    dev->open[dev->open_count++] = kind;
}

static void forget_open(watch_device* dev) {
    if (dev->open_count > 0) --dev->open_count;
}

/* A drawing operation that fails is left out with a warning; only a stop
 * (FZ_ERROR_ABORT) goes on up. */
static void skip_failed_drawing(fz_context* ctx, watch_device* dev) {
    if (fz_caught(ctx) == FZ_ERROR_ABORT) fz_rethrow(ctx);
    if (dev->skipped++ == 0) fz_warn(ctx, "leaving out a drawing operation that failed: %s", fz_caught_message(ctx));
}

/* A container call that fails leaves the target disabled. */
static void target_failed(fz_context* ctx, watch_device* dev) {
    dev->target_failed = 1;
    fz_rethrow(ctx);
}

#define TARGET(dev) (((watch_device*)(dev))->target)
#define WATCH(dev) ((watch_device*)(dev))

static void watch_fill_path(fz_context* ctx, fz_device* dev, const fz_path* path, int even_odd, fz_matrix ctm,
                            fz_colorspace* cs, const float* color, float alpha, fz_color_params params) {
    charge(ctx, WATCH(dev), path_units(ctx, path));
    fz_device* target = TARGET(dev);
    if (target->fill_path == NULL) return;
    fz_try(ctx) {
        target->fill_path(ctx, target, path, even_odd, ctm, cs, color, alpha, params);
    }
    fz_catch(ctx) {
        skip_failed_drawing(ctx, WATCH(dev));
    }
}

static void watch_stroke_path(fz_context* ctx, fz_device* dev, const fz_path* path, const fz_stroke_state* stroke,
                              fz_matrix ctm, fz_colorspace* cs, const float* color, float alpha,
                              fz_color_params params) {
    charge(ctx, WATCH(dev), path_units(ctx, path));
    fz_device* target = TARGET(dev);
    if (target->stroke_path == NULL) return;
    fz_try(ctx) {
        target->stroke_path(ctx, target, path, stroke, ctm, cs, color, alpha, params);
    }
    fz_catch(ctx) {
        skip_failed_drawing(ctx, WATCH(dev));
    }
}

static void watch_fill_text(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm, fz_colorspace* cs,
                            const float* color, float alpha, fz_color_params params) {
    charge(ctx, WATCH(dev), text_units(text));
    fz_device* target = TARGET(dev);
    if (target->fill_text == NULL) return;
    fz_try(ctx) {
        target->fill_text(ctx, target, text, ctm, cs, color, alpha, params);
    }
    fz_catch(ctx) {
        skip_failed_drawing(ctx, WATCH(dev));
    }
}

static void watch_stroke_text(fz_context* ctx, fz_device* dev, const fz_text* text, const fz_stroke_state* stroke,
                              fz_matrix ctm, fz_colorspace* cs, const float* color, float alpha,
                              fz_color_params params) {
    /* A stroke is drawn around each glyph's outline: a wide one costs the
     * area it covers, at most the drawn area for each glyph. */
    watch_device* watch = WATCH(dev);
    int64_t units = text_units(text);
    float width = stroke != NULL ? stroke->linewidth * fz_matrix_expansion(ctm) : 0;
    if (isfinite(width) && width > 1) {
        double glyphs = (double)(units - 1) / FOLI_GLYPH_WORK;
        double area = (double)(watch->area.x1 - watch->area.x0) * (double)(watch->area.y1 - watch->area.y0);
        double covered = fmin((double)width * width, isfinite(area) ? area : 0);
        units += (int64_t)fmin(glyphs * covered / FOLI_PIXELS_PER_WORK, (double)FOLI_PAGE_WORK_LIMIT);
    }
    charge(ctx, WATCH(dev), units);
    fz_device* target = TARGET(dev);
    if (target->stroke_text == NULL) return;
    fz_try(ctx) {
        target->stroke_text(ctx, target, text, stroke, ctm, cs, color, alpha, params);
    }
    fz_catch(ctx) {
        skip_failed_drawing(ctx, WATCH(dev));
    }
}

static void watch_ignore_text(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm) {
    charge(ctx, WATCH(dev), text_units(text));
    fz_device* target = TARGET(dev);
    if (target->ignore_text == NULL) return;
    fz_try(ctx) {
        target->ignore_text(ctx, target, text, ctm);
    }
    fz_catch(ctx) {
        skip_failed_drawing(ctx, WATCH(dev));
    }
}

static void watch_fill_shade(fz_context* ctx, fz_device* dev, fz_shade* shade, fz_matrix ctm, float alpha,
                             fz_color_params params) {
    watch_device* watch = WATCH(dev);
    charge(ctx, watch, area_units(fz_bound_shade(ctx, shade, ctm), watch->area));
    fz_device* target = watch->target;
    if (target->fill_shade == NULL) return;
    fz_try(ctx) {
        target->fill_shade(ctx, target, shade, ctm, alpha, params);
    }
    fz_catch(ctx) {
        skip_failed_drawing(ctx, watch);
    }
}

static int64_t image_units(watch_device* dev, fz_matrix ctm) {
    return area_units(fz_transform_rect(fz_unit_rect, ctm), dev->area);
}

static void watch_fill_image(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm, float alpha,
                             fz_color_params params) {
    watch_device* watch = WATCH(dev);
    charge(ctx, watch, image_units(watch, ctm));
    fz_device* target = watch->target;
    if (target->fill_image == NULL) return;
    fz_try(ctx) {
        target->fill_image(ctx, target, image, ctm, alpha, params);
    }
    fz_catch(ctx) {
        skip_failed_drawing(ctx, watch);
    }
}

static void watch_fill_image_mask(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm, fz_colorspace* cs,
                                  const float* color, float alpha, fz_color_params params) {
    watch_device* watch = WATCH(dev);
    charge(ctx, watch, image_units(watch, ctm));
    fz_device* target = watch->target;
    if (target->fill_image_mask == NULL) return;
    fz_try(ctx) {
        target->fill_image_mask(ctx, target, image, ctm, cs, color, alpha, params);
    }
    fz_catch(ctx) {
        skip_failed_drawing(ctx, watch);
    }
}

/* Container calls go through MuPDF's device functions, which keep the
 * target's own record of what is open. */

static void watch_clip_path(fz_context* ctx, fz_device* dev, const fz_path* path, int even_odd, fz_matrix ctm,
                            fz_rect scissor) {
    charge(ctx, WATCH(dev), path_units(ctx, path));
    fz_try(ctx) {
        fz_clip_path(ctx, TARGET(dev), path, even_odd, ctm, scissor);
    }
    fz_catch(ctx) {
        target_failed(ctx, WATCH(dev));
    }
    remember_open(ctx, WATCH(dev), OPEN_CLIP);
}

static void watch_clip_stroke_path(fz_context* ctx, fz_device* dev, const fz_path* path,
                                   const fz_stroke_state* stroke, fz_matrix ctm, fz_rect scissor) {
    charge(ctx, WATCH(dev), path_units(ctx, path));
    fz_try(ctx) {
        fz_clip_stroke_path(ctx, TARGET(dev), path, stroke, ctm, scissor);
    }
    fz_catch(ctx) {
        target_failed(ctx, WATCH(dev));
    }
    remember_open(ctx, WATCH(dev), OPEN_CLIP);
}

static void watch_clip_text(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm, fz_rect scissor) {
    charge(ctx, WATCH(dev), text_units(text));
    fz_try(ctx) {
        fz_clip_text(ctx, TARGET(dev), text, ctm, scissor);
    }
    fz_catch(ctx) {
        target_failed(ctx, WATCH(dev));
    }
    remember_open(ctx, WATCH(dev), OPEN_CLIP);
}

static void watch_clip_stroke_text(fz_context* ctx, fz_device* dev, const fz_text* text,
                                   const fz_stroke_state* stroke, fz_matrix ctm, fz_rect scissor) {
    charge(ctx, WATCH(dev), text_units(text));
    fz_try(ctx) {
        fz_clip_stroke_text(ctx, TARGET(dev), text, stroke, ctm, scissor);
    }
    fz_catch(ctx) {
        target_failed(ctx, WATCH(dev));
    }
    remember_open(ctx, WATCH(dev), OPEN_CLIP);
}

static void watch_clip_image_mask(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm, fz_rect scissor) {
    charge(ctx, WATCH(dev), image_units(WATCH(dev), ctm));
    fz_try(ctx) {
        fz_clip_image_mask(ctx, TARGET(dev), image, ctm, scissor);
    }
    fz_catch(ctx) {
        target_failed(ctx, WATCH(dev));
    }
    remember_open(ctx, WATCH(dev), OPEN_CLIP);
}

/* Closing calls never stop the page: MuPDF makes them while it unwinds. */
static void watch_pop_clip(fz_context* ctx, fz_device* dev) {
    forget_open(WATCH(dev));
    fz_pop_clip(ctx, TARGET(dev));
}

static void watch_begin_mask(fz_context* ctx, fz_device* dev, fz_rect area, int luminosity, fz_colorspace* cs,
                             const float* bc, fz_color_params params) {
    charge(ctx, WATCH(dev), 1);
    fz_try(ctx) {
        fz_begin_mask(ctx, TARGET(dev), area, luminosity, cs, bc, params);
    }
    fz_catch(ctx) {
        target_failed(ctx, WATCH(dev));
    }
    remember_open(ctx, WATCH(dev), OPEN_MASK);
}

static void watch_end_mask(FOLI_END_MASK_PARAMS) {
    watch_device* watch = WATCH(dev);
    /* A defined mask acts as a clip until its pop_clip. */
    if (watch->open_count > 0 && watch->open[watch->open_count - 1] == OPEN_MASK)
        watch->open[watch->open_count - 1] = OPEN_CLIP;
    FOLI_FORWARD_END_MASK(ctx, watch->target);
}

static void watch_begin_group(fz_context* ctx, fz_device* dev, fz_rect area, fz_colorspace* cs, int isolated,
                              int knockout, int blendmode, float alpha) {
    charge(ctx, WATCH(dev), 1);
    fz_try(ctx) {
        fz_begin_group(ctx, TARGET(dev), area, cs, isolated, knockout, blendmode, alpha);
    }
    fz_catch(ctx) {
        target_failed(ctx, WATCH(dev));
    }
    remember_open(ctx, WATCH(dev), OPEN_GROUP);
}

static void watch_end_group(fz_context* ctx, fz_device* dev) {
    forget_open(WATCH(dev));
    fz_end_group(ctx, TARGET(dev));
}

static int watch_begin_tile(fz_context* ctx, fz_device* dev, fz_rect area, fz_rect view, float xstep, float ystep,
                            fz_matrix ctm, int id) {
    int cached = 0;
    fz_var(cached);
    charge(ctx, WATCH(dev), 1);
    fz_try(ctx) {
        cached = fz_begin_tile_id(ctx, TARGET(dev), area, view, xstep, ystep, ctm, id);
    }
    fz_catch(ctx) {
        target_failed(ctx, WATCH(dev));
    }
    remember_open(ctx, WATCH(dev), OPEN_TILE);
    return cached;
}

static void watch_end_tile(fz_context* ctx, fz_device* dev) {
    forget_open(WATCH(dev));
    fz_end_tile(ctx, TARGET(dev));
}

static void watch_render_flags(fz_context* ctx, fz_device* dev, int set, int clear) {
    fz_render_flags(ctx, TARGET(dev), set, clear);
}

static void watch_set_default_colorspaces(fz_context* ctx, fz_device* dev, fz_default_colorspaces* colorspaces) {
    fz_set_default_colorspaces(ctx, TARGET(dev), colorspaces);
}

static void watch_begin_layer(fz_context* ctx, fz_device* dev, const char* name) {
    fz_begin_layer(ctx, TARGET(dev), name);
}

static void watch_end_layer(fz_context* ctx, fz_device* dev) { fz_end_layer(ctx, TARGET(dev)); }

static void watch_drop(fz_context* ctx, fz_device* dev) { fz_free(ctx, WATCH(dev)->open); }

/* Closes, innermost first, whatever the target still has open after the
 * page stopped early, so that what was drawn inside reaches the output. */
static void close_what_is_open(fz_context* ctx, watch_device* dev) {
    if (dev->target_failed) return;
    while (dev->open_count > 0) {
        switch (dev->open[--dev->open_count]) {
        case OPEN_CLIP: fz_pop_clip(ctx, dev->target); break;
        case OPEN_MASK:
            fz_end_mask(ctx, dev->target);
            fz_pop_clip(ctx, dev->target);
            break;
        case OPEN_GROUP: fz_end_group(ctx, dev->target); break;
        case OPEN_TILE: fz_end_tile(ctx, dev->target); break;
        }
    }
}

static watch_device* new_watch_device(fz_context* ctx, fz_device* target, fz_cookie* cookie, fz_rect area) {
    watch_device* dev = fz_new_derived_device(ctx, watch_device);
    dev->super.drop_device = watch_drop;
    dev->super.fill_path = watch_fill_path;
    dev->super.stroke_path = watch_stroke_path;
    dev->super.clip_path = watch_clip_path;
    dev->super.clip_stroke_path = watch_clip_stroke_path;
    dev->super.fill_text = watch_fill_text;
    dev->super.stroke_text = watch_stroke_text;
    dev->super.clip_text = watch_clip_text;
    dev->super.clip_stroke_text = watch_clip_stroke_text;
    dev->super.ignore_text = watch_ignore_text;
    dev->super.fill_shade = watch_fill_shade;
    dev->super.fill_image = watch_fill_image;
    dev->super.fill_image_mask = watch_fill_image_mask;
    dev->super.clip_image_mask = watch_clip_image_mask;
    dev->super.pop_clip = watch_pop_clip;
    dev->super.begin_mask = watch_begin_mask;
    dev->super.end_mask = watch_end_mask;
    dev->super.begin_group = watch_begin_group;
    dev->super.end_group = watch_end_group;
    dev->super.begin_tile = watch_begin_tile;
    dev->super.end_tile = watch_end_tile;
    dev->super.render_flags = watch_render_flags;
    dev->super.set_default_colorspaces = watch_set_default_colorspaces;
    dev->super.begin_layer = watch_begin_layer;
    dev->super.end_layer = watch_end_layer;
    /* The interpreter reads these to decide what to hand over. */
    dev->super.hints = target->hints;
    dev->super.flags = target->flags;
    dev->target = target;
    dev->cookie = cookie;
    dev->watch = run_watch(ctx);
    dev->area = area;
    dev->last_poll_ms = now_ms();
    return dev;
}

/* ------------------------------------------------------------- page runs */

static void warn_stopped(fz_context* ctx, const watch_device* dev) {
    if (dev->stopped == RUN_OVER_BUDGET)
        fz_warn(ctx, "page drawing stopped after %d units of work (the limit is %d); the rest of the page is left out",
                (int)dev->work, (int)FOLI_PAGE_WORK_LIMIT);
}

foli_mu_status foli_mu_run_page(fz_context* ctx, fz_page* page, fz_device* device, fz_matrix ctm,
                                int with_annotations) {
    foli_mu_status status = FOLI_MU_OK;
    watch_device* watch = NULL;
    fz_cookie cookie;
    memset(&cookie, 0, sizeof cookie);
    fz_var(status);
    fz_var(watch);
    fz_try(ctx) {
        fz_rect area = fz_transform_rect(fz_bound_page(ctx, page), ctm);
        watch = new_watch_device(ctx, device, &cookie, area);
        if (with_annotations)
            fz_run_page(ctx, page, &watch->super, ctm, &cookie);
        else
            fz_run_page_contents(ctx, page, &watch->super, ctm, &cookie);
    }
    fz_catch(ctx) {
        if (foli_mu_caught_memory_error(ctx))
            status = FOLI_MU_MEMORY;
        else if (watch == NULL)
            status = FOLI_MU_PAGE;
        else if (watch->stopped == RUN_GOING)
            fz_warn(ctx, "the page is damaged (%s); converting what could be read", fz_caught_message(ctx));
    }
    if (watch != NULL) {
        /* MuPDF may end the run quietly once the cookie says abort. */
        if (watch->stopped == RUN_CANCELLED && status == FOLI_MU_OK) status = FOLI_MU_CANCELLED;
        if (status == FOLI_MU_OK) warn_stopped(ctx, watch);
        fz_try(ctx) {
            close_what_is_open(ctx, watch);
        }
        fz_catch(ctx) {
            fz_warn(ctx, "cannot close what the page left open: %s", fz_caught_message(ctx));
        }
        fz_drop_device(ctx, &watch->super);
    }
    return status;
}
