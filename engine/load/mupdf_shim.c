/* MuPDF calls that may throw, each inside its own fz_try/fz_catch. No
 * fz_try block here contains a return; results travel through locals. */
#include "mupdf_shim.h"
#include "mupdf_compat.h"

#include <math.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

/* ---------------------------------------------------------------- errors */

static foli_mu_status status_from_caught(fz_context* ctx, foli_mu_status fallback) {
    const char* message = fz_caught_message(ctx);
    if (foli_mu_caught_memory_error(ctx)) return FOLI_MU_MEMORY;
    if (message != NULL && (strstr(message, "encryption") != NULL || strstr(message, "crypt") != NULL))
        return FOLI_MU_SECURITY;
    if (message != NULL && strstr(message, "out of memory") != NULL) return FOLI_MU_MEMORY;
    return fallback;
}

/* -------------------------------------------------------------- contexts */

fz_context* foli_mu_new_context(void) { return fz_new_context(NULL, NULL, FZ_STORE_DEFAULT); }

void foli_mu_set_message_callbacks(fz_context* ctx, fz_warning_cb* warning, fz_error_cb* error, void* user) {
    fz_set_warning_callback(ctx, warning, user);
    fz_set_error_callback(ctx, error, user);
}

/* ------------------------------------------------------------- documents */

/* A PDF names itself in its first kilobyte; anything else is refused
 * before the repair machinery tries to make sense of it. */
static foli_mu_status check_pdf_file(const char* path) {
    struct stat info;
    if (path == NULL || stat(path, &info) != 0 || !S_ISREG(info.st_mode)) return FOLI_MU_FILE;
    FILE* file = fopen(path, "rb");
    if (file == NULL) return FOLI_MU_FILE;
    char head[1024];
    size_t length = fread(head, 1, sizeof head, file);
    int read_failed = ferror(file);
    fclose(file);
    if (read_failed) return FOLI_MU_FILE;
    for (size_t i = 0; i + 5 <= length; ++i)
        if (memcmp(head + i, "%PDF-", 5) == 0) return FOLI_MU_OK;
    return FOLI_MU_FORMAT;
}

foli_mu_status foli_mu_open_pdf(fz_context* ctx, const char* path, const char* password, fz_document** out) {
    *out = NULL;
    foli_mu_status status = check_pdf_file(path);
    if (status != FOLI_MU_OK) return status;

    pdf_document* pdf = NULL;
    fz_var(pdf);
    fz_var(status);
    fz_try(ctx) {
        pdf = pdf_open_document(ctx, path);
        if (pdf_needs_password(ctx, pdf) && !pdf_authenticate_password(ctx, pdf, password ? password : ""))
            status = FOLI_MU_PASSWORD;
    }
    fz_catch(ctx) {
        status = status_from_caught(ctx, FOLI_MU_FORMAT);
    }
    if (status != FOLI_MU_OK) {
        fz_drop_document(ctx, (fz_document*)pdf);
        return status;
    }
    *out = (fz_document*)pdf;
    return FOLI_MU_OK;
}

foli_mu_status foli_mu_count_pages(fz_context* ctx, fz_document* doc, int* count) {
    return foli_mu_count_real_pages(ctx, doc, count);
}

/* The outline is read through MuPDF's outline iterator rather than with
 * fz_load_outline, which loses the entries it has built when one entry's
 * destination cannot be resolved. Here each entry is linked into the tree
 * as soon as it exists, an unreadable entry is skipped with its children,
 * and the walk goes no deeper than FOLI_OUTLINE_MAX_DEPTH levels. */
#define FOLI_OUTLINE_MAX_DEPTH 64
#define FOLI_OUTLINE_MAX_STEPS (1 << 20) /* a bound on the walk, whatever the iterator does */

/* One move of the iterator; -1 when it cannot move or throws. */
static int outline_step(fz_context* ctx, fz_outline_iterator* iter,
                        int (*move)(fz_context*, fz_outline_iterator*)) {
    int result = -1;
    fz_var(result);
    fz_try(ctx) {
        result = move(ctx, iter);
    }
    fz_catch(ctx) {
        if (foli_mu_caught_memory_error(ctx)) fz_rethrow(ctx);
        result = -1;
    }
    return result;
}

/* Appends a node for the iterator's current entry at *tail, or returns NULL
 * when there is no entry or it cannot be read. Throws only for memory. */
static fz_outline* append_outline_entry(fz_context* ctx, fz_outline_iterator* iter, fz_outline** tail) {
    fz_outline* node = NULL;
    fz_var(node);
    fz_try(ctx) {
        fz_outline_item* item = fz_outline_iterator_item(ctx, iter);
        if (item != NULL) {
            node = fz_new_outline(ctx);
            *tail = node;
            node->is_open = item->is_open;
            if (item->title != NULL) node->title = fz_strdup(ctx, item->title);
            if (item->uri != NULL) node->uri = fz_strdup(ctx, item->uri);
        }
    }
    fz_catch(ctx) {
        if (foli_mu_caught_memory_error(ctx)) fz_rethrow(ctx);
        fz_warn(ctx, "ignoring an unreadable outline entry");
    }
    return node;
}

/* Depth first over the iterator, without recursion. Throws only for memory. */
static void read_outline(fz_context* ctx, fz_outline_iterator* iter, fz_outline** head) {
    fz_outline** tails[FOLI_OUTLINE_MAX_DEPTH];
    int level = 0;
    tails[0] = head;
    for (int steps = 0; steps < FOLI_OUTLINE_MAX_STEPS; ++steps) {
        fz_outline* node = append_outline_entry(ctx, iter, tails[level]);
        if (node != NULL) {
            tails[level] = &node->next;
            if (level + 1 < FOLI_OUTLINE_MAX_DEPTH) {
                int down = outline_step(ctx, iter, fz_outline_iterator_down);
                if (down == 0) {
                    tails[++level] = &node->down;
                    continue;
                }
                /* 1: on the empty place below the entry, which has no children. */
                if (down == 1) outline_step(ctx, iter, fz_outline_iterator_up);
            }
        }
        /* On to the next entry, climbing out of the levels that are done. */
        while (outline_step(ctx, iter, fz_outline_iterator_next) != 0) {
            if (level == 0) return;
            outline_step(ctx, iter, fz_outline_iterator_up);
            --level;
        }
    }
    fz_warn(ctx, "outline cut short after %d steps", FOLI_OUTLINE_MAX_STEPS);
}

foli_mu_status foli_mu_load_outline(fz_context* ctx, fz_document* doc, fz_outline** out) {
    foli_mu_status status = FOLI_MU_OK;
    fz_outline* head = NULL;
    fz_outline_iterator* iter = NULL;
    fz_var(status);
    fz_var(head);
    fz_var(iter);
    *out = NULL;
    fz_try(ctx) {
        iter = fz_new_outline_iterator(ctx, doc);
        if (iter != NULL) read_outline(ctx, iter, &head);
    }
    fz_always(ctx) {
        if (iter != NULL) fz_drop_outline_iterator(ctx, iter);
    }
    fz_catch(ctx) {
        /* A broken outline is not worth failing the conversion over. */
        status = status_from_caught(ctx, FOLI_MU_OK);
        if (status != FOLI_MU_MEMORY) fz_warn(ctx, "ignoring unreadable outline");
    }
    if (status != FOLI_MU_OK) {
        fz_drop_outline(ctx, head);
        return status;
    }
    *out = head;
    return FOLI_MU_OK;
}

void foli_mu_lookup_metadata(fz_context* ctx, fz_document* doc, const char* key, char* buffer, int size) {
    if (size <= 0) return;
    buffer[0] = 0;
    fz_try(ctx) {
        if (fz_lookup_metadata(ctx, doc, key, buffer, size) < 0) buffer[0] = 0;
    }
    fz_catch(ctx) {
        buffer[0] = 0;
    }
}

void foli_mu_document_language(fz_context* ctx, fz_document* doc, char* buffer, int size) {
    pdf_document* pdf = pdf_specifics(ctx, doc);
    if (size <= 0) return;
    buffer[0] = 0;
    if (pdf == NULL) return;
    fz_try(ctx) {
        pdf_obj* root = pdf_dict_get(ctx, pdf_trailer(ctx, pdf), PDF_NAME(Root));
        const char* lang = pdf_dict_get_text_string(ctx, root, PDF_NAME(Lang));
        fz_strlcpy(buffer, lang, (size_t)size);
    }
    fz_catch(ctx) {
        buffer[0] = 0;
    }
}

int foli_mu_resolve_link_page(fz_context* ctx, fz_document* doc, const char* uri) {
    int page = -1;
    fz_var(page);
    if (uri == NULL) return -1;
    fz_try(ctx) {
        if (!fz_is_external_link(ctx, uri)) {
            fz_location location = fz_resolve_link(ctx, doc, uri, NULL, NULL);
            page = fz_page_number_from_location(ctx, doc, location);
        }
    }
    fz_catch(ctx) {
        page = -1;
    }
    return page;
}

/* ----------------------------------------------------------------- pages */

foli_mu_status foli_mu_load_page(fz_context* ctx, fz_document* doc, int index, fz_page** out, fz_rect* bounds) {
    foli_mu_status status = FOLI_MU_OK;
    fz_var(status);
    fz_page* page = NULL;
    fz_var(page);
    *out = NULL;
    status = foli_mu_bound_page_nesting(ctx, doc, index);
    if (status != FOLI_MU_OK) return status;
    fz_try(ctx) {
        page = fz_load_page(ctx, doc, index);
        /* A page object MuPDF could not read gives an empty page, which
         * would convert to a blank one as if it were. */
        pdf_page* pdf = pdf_page_from_fz_page(ctx, page);
        if (pdf != NULL && !pdf_is_dict(ctx, pdf->obj)) fz_throw(ctx, FZ_ERROR_GENERIC, "unreadable page object");
        *bounds = fz_bound_page(ctx, page);
    }
    fz_catch(ctx) {
        status = status_from_caught(ctx, FOLI_MU_PAGE);
    }
    if (status != FOLI_MU_OK) {
        fz_drop_page(ctx, page);
        return status;
    }
    *out = page;
    return FOLI_MU_OK;
}

foli_mu_status foli_mu_load_links(fz_context* ctx, fz_page* page, fz_link** out) {
    foli_mu_status status = FOLI_MU_OK;
    fz_var(status);
    *out = NULL;
    fz_try(ctx) {
        *out = fz_load_links(ctx, page);
    }
    fz_catch(ctx) {
        status = status_from_caught(ctx, FOLI_MU_OK);
        if (status != FOLI_MU_MEMORY) fz_warn(ctx, "ignoring unreadable links");
    }
    return status;
}

/* ----------------------------------------------------------------- notes */

/* Free text shows its contents on the page already. */
static int is_note_type(enum pdf_annot_type type) {
    return type != PDF_ANNOT_LINK && type != PDF_ANNOT_WIDGET && type != PDF_ANNOT_POPUP &&
           type != PDF_ANNOT_FREE_TEXT && type != PDF_ANNOT_UNKNOWN;
}

/* Appends the annotation's note to the list; throws only for memory. */
static void add_note(fz_context* ctx, pdf_annot* annot, foli_note** notes, int* count, int* capacity) {
    const char* contents = NULL;
    const char* author = "";
    fz_rect box = fz_empty_rect;
    int usable = 0;
    fz_var(contents);
    fz_var(author);
    fz_var(box);
    fz_var(usable);
    fz_try(ctx) {
        if (is_note_type(pdf_annot_type(ctx, annot))) {
            contents = pdf_annot_contents(ctx, annot);
            box = pdf_bound_annot(ctx, annot);
            usable = contents != NULL && contents[0] != 0;
        }
    }
    fz_catch(ctx) {
        if (foli_mu_caught_memory_error(ctx)) fz_rethrow(ctx);
        usable = 0;
    }
    if (!usable) return;
    fz_try(ctx) {
        const char* given = pdf_annot_author(ctx, annot);
        if (given != NULL) author = given;
    }
    fz_catch(ctx) {
        if (foli_mu_caught_memory_error(ctx)) fz_rethrow(ctx);
        author = "";
    }
    if (*count == *capacity) {
        int grown = *capacity ? *capacity * 2 : 8;
        *notes = fz_realloc_array(ctx, *notes, grown, foli_note);
        *capacity = grown;
    }
    foli_note* note = &(*notes)[*count];
    note->box = box;
    note->contents = NULL;
    note->author = NULL;
    ++*count;
    note->contents = fz_strdup(ctx, contents);
    note->author = fz_strdup(ctx, author);
}

foli_mu_status foli_mu_load_notes(fz_context* ctx, fz_page* page, foli_note** out, int* out_count) {
    foli_mu_status status = FOLI_MU_OK;
    foli_note* notes = NULL;
    int count = 0, capacity = 0;
    fz_var(status);
    fz_var(notes);
    fz_var(count);
    fz_var(capacity);
    *out = NULL;
    *out_count = 0;
    pdf_page* pdf = pdf_page_from_fz_page(ctx, page);
    if (pdf == NULL) return FOLI_MU_OK;
    fz_try(ctx) {
        for (pdf_annot* annot = pdf_first_annot(ctx, pdf); annot != NULL; annot = pdf_next_annot(ctx, annot))
            add_note(ctx, annot, &notes, &count, &capacity);
    }
    fz_catch(ctx) {
        status = status_from_caught(ctx, FOLI_MU_OK);
    }
    if (status != FOLI_MU_OK) {
        foli_mu_drop_notes(ctx, notes, count);
        return status;
    }
    *out = notes;
    *out_count = count;
    return FOLI_MU_OK;
}

void foli_mu_drop_notes(fz_context* ctx, foli_note* notes, int count) {
    for (int i = 0; i < count; ++i) {
        fz_free(ctx, notes[i].contents);
        fz_free(ctx, notes[i].author);
    }
    fz_free(ctx, notes);
}

/* ------------------------------------------------------ vector collection */

/* A device that passes everything on to the structured-text device and
 * on the way records axis-aligned lines and rectangles of the paths, and
 * drops the characters drawn entirely outside the page (see text_on_page). */
typedef struct tee_device {
    fz_device super;
    fz_device* text;
    foli_vector_list* vectors;
    fz_rect page;
    const fz_text* last_source; /* kept: the last text object seen */
    const fz_text* last_result; /* kept: what was passed on for it */
} tee_device;

typedef struct path_walk {
    fz_context* ctx;
    foli_vector_list* vectors;
    fz_matrix ctm;
    int stroked;
    unsigned int rgb;
    float width;
    fz_point start, current;
    fz_point points[5];
    int point_count; /* points of the current subpath, -1 once it is not a simple polygon */
} path_walk;

static void push_vector(path_walk* walk, fz_rect box, int kind) {
    foli_vector_list* list = walk->vectors;
    if (list->count == list->capacity) {
        int capacity = list->capacity ? list->capacity * 2 : 64;
        list->items = fz_realloc_array(walk->ctx, list->items, capacity, foli_vector);
        list->capacity = capacity;
    }
    foli_vector* item = &list->items[list->count++];
    item->box = box;
    item->kind = kind;
    item->stroked = walk->stroked;
    item->rgb = walk->rgb;
    item->width = walk->width;
}

static fz_rect rect_of_points(fz_point a, fz_point b) {
    fz_rect r;
    r.x0 = fminf(a.x, b.x);
    r.x1 = fmaxf(a.x, b.x);
    r.y0 = fminf(a.y, b.y);
    r.y1 = fmaxf(a.y, b.y);
    return r;
}

static int is_axis_aligned(fz_point a, fz_point b) { return fabsf(a.x - b.x) < 0.5f || fabsf(a.y - b.y) < 0.5f; }

/* Emits a stroked segment as a line whose box includes half the width. */
static void emit_segment(path_walk* walk, fz_point a, fz_point b) {
    if (!is_axis_aligned(a, b)) return;
    fz_rect box = rect_of_points(a, b);
    float half = walk->width / 2;
    if (box.x1 - box.x0 < box.y1 - box.y0) {
        box.x0 -= half;
        box.x1 += half;
    } else {
        box.y0 -= half;
        box.y1 += half;
    }
    push_vector(walk, box, FOLI_VECTOR_LINE);
}

/* A closed subpath of four corners on an axis-aligned box is a rectangle. */
static void finish_subpath(path_walk* walk) {
    int n = walk->point_count;
    if (!walk->stroked && n >= 4) {
        if (n == 5 && fabsf(walk->points[4].x - walk->points[0].x) < 0.5f &&
            fabsf(walk->points[4].y - walk->points[0].y) < 0.5f)
            n = 4;
        if (n == 4) {
            int aligned = 1;
            for (int i = 0; i < 4; ++i) aligned &= is_axis_aligned(walk->points[i], walk->points[(i + 1) % 4]);
            if (aligned) push_vector(walk, rect_of_points(walk->points[0], walk->points[2]), FOLI_VECTOR_RECT);
        }
    }
    walk->point_count = 0;
}

static void add_point(path_walk* walk, fz_point p) {
    if (walk->point_count < 0) return;
    if (walk->point_count == 5) {
        walk->point_count = -1;
        return;
    }
    walk->points[walk->point_count++] = p;
}

static void walk_moveto(fz_context* ctx, void* arg, float x, float y) {
    path_walk* walk = arg;
    (void)ctx;
    finish_subpath(walk);
    walk->start = walk->current = fz_transform_point_xy(x, y, walk->ctm);
    add_point(walk, walk->current);
}

static void walk_lineto(fz_context* ctx, void* arg, float x, float y) {
    path_walk* walk = arg;
    (void)ctx;
    fz_point p = fz_transform_point_xy(x, y, walk->ctm);
    if (walk->stroked) emit_segment(walk, walk->current, p);
    add_point(walk, p);
    walk->current = p;
}

static void walk_curveto(fz_context* ctx, void* arg, float x1, float y1, float x2, float y2, float x3, float y3) {
    path_walk* walk = arg;
    (void)ctx;
    (void)x1, (void)y1, (void)x2, (void)y2;
    walk->current = fz_transform_point_xy(x3, y3, walk->ctm);
    walk->point_count = -1;
}

static void walk_closepath(fz_context* ctx, void* arg) {
    path_walk* walk = arg;
    (void)ctx;
    if (walk->stroked) emit_segment(walk, walk->current, walk->start);
    walk->current = walk->start;
    finish_subpath(walk);
}

static void walk_rectto(fz_context* ctx, void* arg, float x0, float y0, float x1, float y1) {
    path_walk* walk = arg;
    (void)ctx;
    finish_subpath(walk);
    fz_point a = fz_transform_point_xy(x0, y0, walk->ctm);
    fz_point b = fz_transform_point_xy(x1, y0, walk->ctm);
    fz_point c = fz_transform_point_xy(x1, y1, walk->ctm);
    fz_point d = fz_transform_point_xy(x0, y1, walk->ctm);
    if (walk->stroked) {
        emit_segment(walk, a, b);
        emit_segment(walk, b, c);
        emit_segment(walk, c, d);
        emit_segment(walk, d, a);
    } else if (is_axis_aligned(a, b) && is_axis_aligned(b, c)) {
        push_vector(walk, rect_of_points(a, c), FOLI_VECTOR_RECT);
    }
    walk->start = walk->current = a;
}

static const fz_path_walker vector_walker = {
    walk_moveto, walk_lineto, walk_curveto, walk_closepath, NULL, NULL, NULL, walk_rectto,
};

static unsigned int to_rgb(fz_context* ctx, fz_colorspace* cs, const float* color, fz_color_params params) {
    float rgb[3] = {0, 0, 0};
    if (cs != NULL && color != NULL) fz_convert_color(ctx, cs, color, fz_device_rgb(ctx), rgb, NULL, params);
    unsigned int r = (unsigned int)fz_clamp(rgb[0] * 255 + 0.5f, 0, 255);
    unsigned int g = (unsigned int)fz_clamp(rgb[1] * 255 + 0.5f, 0, 255);
    unsigned int b = (unsigned int)fz_clamp(rgb[2] * 255 + 0.5f, 0, 255);
    return (r << 16) | (g << 8) | b;
}

static void collect_path(fz_context* ctx, tee_device* tee, const fz_path* path, fz_matrix ctm, int stroked,
                         float width, fz_colorspace* cs, const float* color, float alpha, fz_color_params params) {
    if (tee->vectors == NULL || alpha <= 0) return;
    path_walk walk;
    memset(&walk, 0, sizeof walk);
    walk.ctx = ctx;
    walk.vectors = tee->vectors;
    walk.ctm = ctm;
    walk.stroked = stroked;
    walk.rgb = to_rgb(ctx, cs, color, params);
    walk.width = width * fz_matrix_expansion(ctm);
    fz_walk_path(ctx, path, &vector_walker, &walk);
    finish_subpath(&walk);
}

static void tee_fill_path(fz_context* ctx, fz_device* dev, const fz_path* path, int even_odd, fz_matrix ctm,
                          fz_colorspace* cs, const float* color, float alpha, fz_color_params params) {
    tee_device* tee = (tee_device*)dev;
    collect_path(ctx, tee, path, ctm, 0, 0, cs, color, alpha, params);
    fz_fill_path(ctx, tee->text, path, even_odd, ctm, cs, color, alpha, params);
}

static void tee_stroke_path(fz_context* ctx, fz_device* dev, const fz_path* path, const fz_stroke_state* stroke,
                            fz_matrix ctm, fz_colorspace* cs, const float* color, float alpha,
                            fz_color_params params) {
    tee_device* tee = (tee_device*)dev;
    collect_path(ctx, tee, path, ctm, 1, stroke ? stroke->linewidth : 1, cs, color, alpha, params);
    fz_stroke_path(ctx, tee->text, path, stroke, ctm, cs, color, alpha, params);
}

static void tee_clip_path(fz_context* ctx, fz_device* dev, const fz_path* path, int even_odd, fz_matrix ctm,
                          fz_rect scissor) {
    fz_clip_path(ctx, ((tee_device*)dev)->text, path, even_odd, ctm, scissor);
}

static void tee_clip_stroke_path(fz_context* ctx, fz_device* dev, const fz_path* path,
                                 const fz_stroke_state* stroke, fz_matrix ctm, fz_rect scissor) {
    fz_clip_stroke_path(ctx, ((tee_device*)dev)->text, path, stroke, ctm, scissor);
}

/* ------------------------------------------------ clipping text to the page */

/* Glyph outlines stay within this many ems of their origin in practice. */
#define GLYPH_REACH_EMS 2.0f

/* The largest factor by which `m` stretches a vector (its largest
 * singular value). */
static float max_stretch(fz_matrix m) {
    float p = m.a * m.a + m.b * m.b, q = m.c * m.c + m.d * m.d, r = m.a * m.c + m.b * m.d;
    return sqrtf((p + q) / 2 + sqrtf((p - q) * (p - q) / 4 + r * r));
}

/* The part of the page where a glyph origin lies so far from the edges
 * that the glyph is surely on the page. */
static fz_rect safe_origins(const fz_text_span* span, fz_matrix ctm, fz_rect page) {
    float reach = GLYPH_REACH_EMS * max_stretch(fz_concat(span->trm, ctm));
    fz_rect inner = {page.x0 + reach, page.y0 + reach, page.x1 - reach, page.y1 - reach};
    return inner;
}

static int origin_in(const fz_text_item* item, fz_matrix ctm, fz_rect safe) {
    float x = item->x * ctm.a + item->y * ctm.c + ctm.e;
    float y = item->x * ctm.b + item->y * ctm.d + ctm.f;
    return x >= safe.x0 && x <= safe.x1 && y >= safe.y0 && y <= safe.y1;
}

/* Whether the glyph is entirely outside the page. Glyphs whose origin
 * lies in `safe` are not; the others are bounded as the structured-text
 * device's own page clipping bounds them (so are NaN origins). */
static int glyph_off_page(fz_context* ctx, const fz_text_span* span, const fz_text_item* item, fz_matrix ctm,
                          fz_rect page, fz_rect safe) {
    if (origin_in(item, ctm, safe)) return 0;
    fz_rect box = fz_bound_glyph(ctx, span->font, item->gid, span->trm);
    box.x0 += item->x;
    box.y0 += item->y;
    box.x1 += item->x;
    box.y1 += item->y;
    box = fz_transform_rect(box, ctm);
    return box.x1 <= page.x0 || box.y1 <= page.y0 || box.x0 >= page.x1 || box.y0 >= page.y1;
}

static int any_glyph_off_page(fz_context* ctx, const fz_text* text, fz_matrix ctm, fz_rect page) {
    for (const fz_text_span* span = text->head; span != NULL; span = span->next) {
        fz_rect safe = safe_origins(span, ctm, page);
        for (int i = 0; i < span->len; ++i)
            if (!origin_in(&span->items[i], ctm, safe) && glyph_off_page(ctx, span, &span->items[i], ctm, page, safe))
                return 1;
    }
    return 0;
}

/* A copy of the text without the glyphs that are entirely off the page. */
static fz_text* copy_on_page(fz_context* ctx, const fz_text* text, fz_matrix ctm, fz_rect page) {
    fz_text* copy = fz_new_text(ctx);
    fz_try(ctx) {
        for (const fz_text_span* span = text->head; span != NULL; span = span->next) {
            fz_rect safe = safe_origins(span, ctm, page);
            for (int i = 0; i < span->len; ++i) {
                const fz_text_item* item = &span->items[i];
                if (glyph_off_page(ctx, span, item, ctm, page, safe)) continue;
                fz_matrix trm = span->trm;
                trm.e = item->x;
                trm.f = item->y;
                fz_show_glyph(ctx, copy, span->font, trm, item->gid, item->ucs, span->wmode, span->bidi_level,
                              (fz_bidi_direction)span->markup_dir, (fz_text_language)span->language);
            }
        }
    }
    fz_catch(ctx) {
        fz_drop_text(ctx, copy);
        fz_rethrow(ctx);
    }
    return copy;
}

/* The text to pass on to the structured-text device: the text itself, or
 * a copy without the characters drawn entirely outside the page. Asking
 * the device to clip would bound every glyph of the page; here only the
 * glyphs whose origin lies near or beyond the page's edge are bounded.
 * The device skips a text object it has just seen (text that is filled and
 * then used as a clip), so one text object always yields the same result. */
static const fz_text* text_on_page(fz_context* ctx, tee_device* tee, const fz_text* text, fz_matrix ctm) {
    if (text == tee->last_source) return tee->last_result;
    const fz_text* result = text;
    if (any_glyph_off_page(ctx, text, ctm, tee->page))
        result = copy_on_page(ctx, text, ctm, tee->page);
    else
        fz_keep_text(ctx, result);
    fz_drop_text(ctx, tee->last_source);
    fz_drop_text(ctx, tee->last_result);
    tee->last_source = fz_keep_text(ctx, text);
    tee->last_result = result;
    return result;
}

static void tee_fill_text(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm, fz_colorspace* cs,
                          const float* color, float alpha, fz_color_params params) {
    tee_device* tee = (tee_device*)dev;
    fz_fill_text(ctx, tee->text, text_on_page(ctx, tee, text, ctm), ctm, cs, color, alpha, params);
}

static void tee_stroke_text(fz_context* ctx, fz_device* dev, const fz_text* text, const fz_stroke_state* stroke,
                            fz_matrix ctm, fz_colorspace* cs, const float* color, float alpha,
                            fz_color_params params) {
    tee_device* tee = (tee_device*)dev;
    fz_stroke_text(ctx, tee->text, text_on_page(ctx, tee, text, ctm), stroke, ctm, cs, color, alpha, params);
}

static void tee_clip_text(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm, fz_rect scissor) {
    tee_device* tee = (tee_device*)dev;
    fz_clip_text(ctx, tee->text, text_on_page(ctx, tee, text, ctm), ctm, scissor);
}

static void tee_clip_stroke_text(fz_context* ctx, fz_device* dev, const fz_text* text, const fz_stroke_state* stroke,
                                 fz_matrix ctm, fz_rect scissor) {
    tee_device* tee = (tee_device*)dev;
    fz_clip_stroke_text(ctx, tee->text, text_on_page(ctx, tee, text, ctm), stroke, ctm, scissor);
}

static void tee_ignore_text(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm) {
    tee_device* tee = (tee_device*)dev;
    fz_ignore_text(ctx, tee->text, text_on_page(ctx, tee, text, ctm), ctm);
}

static void tee_fill_shade(fz_context* ctx, fz_device* dev, fz_shade* shade, fz_matrix ctm, float alpha,
                           fz_color_params params) {
    fz_fill_shade(ctx, ((tee_device*)dev)->text, shade, ctm, alpha, params);
}

static void tee_fill_image(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm, float alpha,
                           fz_color_params params) {
    fz_fill_image(ctx, ((tee_device*)dev)->text, image, ctm, alpha, params);
}

static void tee_fill_image_mask(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm, fz_colorspace* cs,
                                const float* color, float alpha, fz_color_params params) {
    fz_fill_image_mask(ctx, ((tee_device*)dev)->text, image, ctm, cs, color, alpha, params);
}

static void tee_clip_image_mask(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm, fz_rect scissor) {
    fz_clip_image_mask(ctx, ((tee_device*)dev)->text, image, ctm, scissor);
}

static void tee_pop_clip(fz_context* ctx, fz_device* dev) { fz_pop_clip(ctx, ((tee_device*)dev)->text); }

static void tee_begin_mask(fz_context* ctx, fz_device* dev, fz_rect area, int luminosity, fz_colorspace* cs,
                           const float* bc, fz_color_params params) {
    fz_begin_mask(ctx, ((tee_device*)dev)->text, area, luminosity, cs, bc, params);
}

static void tee_end_mask(FOLI_END_MASK_PARAMS) { FOLI_FORWARD_END_MASK(ctx, ((tee_device*)dev)->text); }

static void tee_begin_group(fz_context* ctx, fz_device* dev, fz_rect area, fz_colorspace* cs, int isolated,
                            int knockout, int blendmode, float alpha) {
    fz_begin_group(ctx, ((tee_device*)dev)->text, area, cs, isolated, knockout, blendmode, alpha);
}

static void tee_end_group(fz_context* ctx, fz_device* dev) { fz_end_group(ctx, ((tee_device*)dev)->text); }

static void tee_close(fz_context* ctx, fz_device* dev) { fz_close_device(ctx, ((tee_device*)dev)->text); }

static void tee_drop(fz_context* ctx, fz_device* dev) {
    tee_device* tee = (tee_device*)dev;
    fz_drop_text(ctx, tee->last_source);
    fz_drop_text(ctx, tee->last_result);
}

/* Tiles are not forwarded: without begin_tile the interpreter draws every
 * tile cell itself, which is what the text device wants anyway. */
static fz_device* new_tee_device(fz_context* ctx, fz_device* text, fz_rect page, foli_vector_list* vectors) {
    tee_device* tee = fz_new_derived_device(ctx, tee_device);
    tee->super.close_device = tee_close;
    tee->super.drop_device = tee_drop;
    tee->super.fill_path = tee_fill_path;
    tee->super.stroke_path = tee_stroke_path;
    tee->super.clip_path = tee_clip_path;
    tee->super.clip_stroke_path = tee_clip_stroke_path;
    tee->super.fill_text = tee_fill_text;
    tee->super.stroke_text = tee_stroke_text;
    tee->super.clip_text = tee_clip_text;
    tee->super.clip_stroke_text = tee_clip_stroke_text;
    tee->super.ignore_text = tee_ignore_text;
    tee->super.fill_shade = tee_fill_shade;
    tee->super.fill_image = tee_fill_image;
    tee->super.fill_image_mask = tee_fill_image_mask;
    tee->super.clip_image_mask = tee_clip_image_mask;
    tee->super.pop_clip = tee_pop_clip;
    tee->super.begin_mask = tee_begin_mask;
    tee->super.end_mask = tee_end_mask;
    tee->super.begin_group = tee_begin_group;
    tee->super.end_group = tee_end_group;
    tee->text = text;
    tee->vectors = vectors;
    tee->page = page;
    return &tee->super;
}

foli_mu_status foli_mu_extract_page(fz_context* ctx, fz_page* page, const foli_extract_request* request,
                                    fz_stext_page** text, foli_vector_list* vectors) {
    foli_mu_status status = FOLI_MU_OK;
    fz_var(status);
    fz_stext_page* stext = NULL;
    fz_device* text_device = NULL;
    fz_device* tee = NULL;
    fz_var(stext);
    fz_var(text_device);
    fz_var(tee);
    *text = NULL;
    fz_try(ctx) {
        /* No FZ_STEXT_MEDIABOX_CLIP: the tee drops off-page characters. */
        fz_stext_options options;
        memset(&options, 0, sizeof options);
        options.flags = request->with_images ? FZ_STEXT_PRESERVE_IMAGES : 0;
        fz_rect bounds = fz_bound_page(ctx, page);
        stext = fz_new_stext_page(ctx, bounds);
        text_device = fz_new_stext_device(ctx, stext, &options);
        tee = new_tee_device(ctx, text_device, bounds, request->with_vectors ? vectors : NULL);
        status = foli_mu_run_page(ctx, page, tee, fz_identity, request->with_annotations);
        if (status == FOLI_MU_OK) fz_close_device(ctx, tee);
    }
    fz_always(ctx) {
        fz_drop_device(ctx, tee);
        fz_drop_device(ctx, text_device);
    }
    fz_catch(ctx) {
        status = status_from_caught(ctx, FOLI_MU_PAGE);
    }
    if (status != FOLI_MU_OK) {
        fz_drop_stext_page(ctx, stext);
        return status;
    }
    *text = stext;
    return FOLI_MU_OK;
}

/* ------------------------------------------------------------ path boxes */

typedef struct box_device {
    fz_device super;
    fz_rect* boxes;
    int count;
    int capacity;
} box_device;

static void push_box(fz_context* ctx, box_device* dev, fz_rect box) {
    if (fz_is_empty_rect(box) || fz_is_infinite_rect(box)) return;
    if (dev->count == dev->capacity) {
        int grown = dev->capacity ? dev->capacity * 2 : 64;
        dev->boxes = fz_realloc_array(ctx, dev->boxes, grown, fz_rect);
        dev->capacity = grown;
    }
    dev->boxes[dev->count++] = box;
}

static void box_fill_path(fz_context* ctx, fz_device* dev, const fz_path* path, int even_odd, fz_matrix ctm,
                          fz_colorspace* cs, const float* color, float alpha, fz_color_params params) {
    push_box(ctx, (box_device*)dev, fz_bound_path(ctx, path, NULL, ctm));
}

static void box_stroke_path(fz_context* ctx, fz_device* dev, const fz_path* path, const fz_stroke_state* stroke,
                            fz_matrix ctm, fz_colorspace* cs, const float* color, float alpha,
                            fz_color_params params) {
    push_box(ctx, (box_device*)dev, fz_bound_path(ctx, path, stroke, ctm));
}

static void box_fill_shade(fz_context* ctx, fz_device* dev, fz_shade* shade, fz_matrix ctm, float alpha,
                           fz_color_params params) {
    push_box(ctx, (box_device*)dev, fz_bound_shade(ctx, shade, ctm));
}

foli_mu_status foli_mu_path_boxes(fz_context* ctx, fz_page* page, int with_annotations, fz_rect** out, int* out_count) {
    foli_mu_status status = FOLI_MU_OK;
    box_device* dev = NULL;
    fz_var(status);
    fz_var(dev);
    *out = NULL;
    *out_count = 0;
    fz_try(ctx) {
        dev = fz_new_derived_device(ctx, box_device);
        dev->super.fill_path = box_fill_path;
        dev->super.stroke_path = box_stroke_path;
        dev->super.fill_shade = box_fill_shade;
        status = foli_mu_run_page(ctx, page, &dev->super, fz_identity, with_annotations);
        if (status == FOLI_MU_OK) fz_close_device(ctx, &dev->super);
    }
    fz_catch(ctx) {
        status = status_from_caught(ctx, FOLI_MU_PAGE);
    }
    if (dev != NULL) {
        if (status == FOLI_MU_OK) {
            *out = dev->boxes;
            *out_count = dev->count;
        } else {
            fz_free(ctx, dev->boxes);
        }
        dev->boxes = NULL;
        fz_drop_device(ctx, &dev->super);
    }
    return status;
}

/* ------------------------------------------------------------- rendering */

/* Renders `clip` (device coordinates at `ctm`) of the page on white. */
static foli_mu_status render_area(fz_context* ctx, fz_page* page, fz_matrix ctm, fz_irect area, fz_colorspace* cs,
                                  int with_annotations, fz_pixmap** out) {
    foli_mu_status status = FOLI_MU_OK;
    fz_pixmap* pixmap = NULL;
    fz_device* device = NULL;
    fz_var(status);
    fz_var(pixmap);
    fz_var(device);
    *out = NULL;
    fz_try(ctx) {
        pixmap = fz_new_pixmap_with_bbox(ctx, cs, area, NULL, 0);
        fz_clear_pixmap_with_value(ctx, pixmap, 0xFF);
        device = fz_new_draw_device(ctx, fz_identity, pixmap);
        status = foli_mu_run_page(ctx, page, device, ctm, with_annotations);
        if (status == FOLI_MU_OK) fz_close_device(ctx, device);
    }
    fz_always(ctx) {
        fz_drop_device(ctx, device);
    }
    fz_catch(ctx) {
        status = status_from_caught(ctx, FOLI_MU_PAGE);
    }
    if (status != FOLI_MU_OK) {
        fz_drop_pixmap(ctx, pixmap);
        return status;
    }
    *out = pixmap;
    return FOLI_MU_OK;
}

foli_mu_status foli_mu_render_page(fz_context* ctx, fz_page* page, float zoom, int gray, int with_annotations,
                                   fz_pixmap** out) {
    foli_mu_status status = FOLI_MU_OK;
    fz_irect area = fz_empty_irect;
    fz_var(status);
    fz_var(area);
    *out = NULL;
    fz_matrix ctm = fz_scale(zoom, zoom);
    fz_try(ctx) {
        area = fz_round_rect(fz_transform_rect(fz_bound_page(ctx, page), ctm));
    }
    fz_catch(ctx) {
        status = status_from_caught(ctx, FOLI_MU_PAGE);
    }
    if (status != FOLI_MU_OK) return status;
    fz_colorspace* cs = gray ? fz_device_gray(ctx) : fz_device_rgb(ctx);
    return render_area(ctx, page, ctm, area, cs, with_annotations, out);
}

foli_mu_status foli_mu_render_region(fz_context* ctx, fz_page* page, fz_rect clip, float zoom, fz_pixmap** out) {
    fz_matrix ctm = fz_scale(zoom, zoom);
    fz_irect area = fz_round_rect(fz_transform_rect(clip, ctm));
    return render_area(ctx, page, ctm, area, fz_device_rgb(ctx), 0, out);
}

/* A device that passes the page's graphics on to a draw device and leaves
 * out what it draws as text (and images, when asked). Text used as a clip
 * still clips, so every clip it pushes is popped again. */
typedef struct graphics_device {
    fz_device super;
    fz_device* target;
    int with_images;
    int without_boxes; /* leave out the paths the page model keeps as rules and boxes */
} graphics_device;

#define GRAPHICS_TARGET(dev) (((graphics_device*)(dev))->target)

/* Whether a path is nothing but axis-aligned segments (stroked) or
 * axis-aligned rectangles (filled): what the vector list of the page model
 * records, and the writers that draw those as shapes leave out of a
 * rendering. */
typedef struct box_check {
    fz_matrix ctm;
    int stroked;
    int boxes; /* still only boxes */
    fz_point start, current;
    fz_point points[5];
    int point_count;
} box_check;

static void check_subpath(box_check* check) {
    int n = check->point_count;
    if (!check->stroked && n > 0) {
        if (n == 5 && fabsf(check->points[4].x - check->points[0].x) < 0.5f &&
            fabsf(check->points[4].y - check->points[0].y) < 0.5f)
            n = 4;
        if (n != 4) {
            check->boxes = 0;
        } else {
            for (int i = 0; i < 4; ++i)
                if (!is_axis_aligned(check->points[i], check->points[(i + 1) % 4])) check->boxes = 0;
        }
    }
    check->point_count = 0;
}

static void check_point(box_check* check, fz_point p) {
    if (check->point_count == 5) {
        check->boxes = 0;
        return;
    }
    check->points[check->point_count++] = p;
}

static void check_moveto(fz_context* ctx, void* arg, float x, float y) {
    box_check* check = arg;
    (void)ctx;
    check_subpath(check);
    check->start = check->current = fz_transform_point_xy(x, y, check->ctm);
    check_point(check, check->current);
}

static void check_lineto(fz_context* ctx, void* arg, float x, float y) {
    box_check* check = arg;
    (void)ctx;
    fz_point p = fz_transform_point_xy(x, y, check->ctm);
    if (check->stroked && !is_axis_aligned(check->current, p)) check->boxes = 0;
    if (!check->stroked) check_point(check, p);
    check->current = p;
}

static void check_curveto(fz_context* ctx, void* arg, float x1, float y1, float x2, float y2, float x3, float y3) {
    box_check* check = arg;
    (void)ctx, (void)x1, (void)y1, (void)x2, (void)y2, (void)x3, (void)y3;
    check->boxes = 0;
}

static void check_closepath(fz_context* ctx, void* arg) {
    box_check* check = arg;
    (void)ctx;
    if (check->stroked && !is_axis_aligned(check->current, check->start)) check->boxes = 0;
    check->current = check->start;
    check_subpath(check);
}

static void check_rectto(fz_context* ctx, void* arg, float x0, float y0, float x1, float y1) {
    box_check* check = arg;
    (void)ctx;
    check_subpath(check);
    fz_point a = fz_transform_point_xy(x0, y0, check->ctm);
    fz_point b = fz_transform_point_xy(x1, y0, check->ctm);
    fz_point c = fz_transform_point_xy(x1, y1, check->ctm);
    if (!is_axis_aligned(a, b) || !is_axis_aligned(b, c)) check->boxes = 0;
    check->start = check->current = a;
}

static const fz_path_walker box_check_walker = {
    check_moveto, check_lineto, check_curveto, check_closepath, NULL, NULL, NULL, check_rectto,
};

static int is_box_path(fz_context* ctx, const fz_path* path, fz_matrix ctm, int stroked) {
    box_check check;
    memset(&check, 0, sizeof check);
    check.ctm = ctm;
    check.stroked = stroked;
    check.boxes = 1;
    fz_walk_path(ctx, path, &box_check_walker, &check);
    check_subpath(&check);
    return check.boxes;
}

static void graphics_fill_path(fz_context* ctx, fz_device* dev, const fz_path* path, int even_odd, fz_matrix ctm,
                               fz_colorspace* cs, const float* color, float alpha, fz_color_params params) {
    if (((graphics_device*)dev)->without_boxes && is_box_path(ctx, path, ctm, 0)) return;
    fz_fill_path(ctx, GRAPHICS_TARGET(dev), path, even_odd, ctm, cs, color, alpha, params);
}

static void graphics_stroke_path(fz_context* ctx, fz_device* dev, const fz_path* path, const fz_stroke_state* stroke,
                                 fz_matrix ctm, fz_colorspace* cs, const float* color, float alpha,
                                 fz_color_params params) {
    if (((graphics_device*)dev)->without_boxes && is_box_path(ctx, path, ctm, 1)) return;
    fz_stroke_path(ctx, GRAPHICS_TARGET(dev), path, stroke, ctm, cs, color, alpha, params);
}

static void graphics_clip_path(fz_context* ctx, fz_device* dev, const fz_path* path, int even_odd, fz_matrix ctm,
                               fz_rect scissor) {
    fz_clip_path(ctx, GRAPHICS_TARGET(dev), path, even_odd, ctm, scissor);
}

static void graphics_clip_stroke_path(fz_context* ctx, fz_device* dev, const fz_path* path,
                                      const fz_stroke_state* stroke, fz_matrix ctm, fz_rect scissor) {
    fz_clip_stroke_path(ctx, GRAPHICS_TARGET(dev), path, stroke, ctm, scissor);
}

static void graphics_clip_text(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm, fz_rect scissor) {
    fz_clip_text(ctx, GRAPHICS_TARGET(dev), text, ctm, scissor);
}

static void graphics_clip_stroke_text(fz_context* ctx, fz_device* dev, const fz_text* text,
                                      const fz_stroke_state* stroke, fz_matrix ctm, fz_rect scissor) {
    fz_clip_stroke_text(ctx, GRAPHICS_TARGET(dev), text, stroke, ctm, scissor);
}

static void graphics_fill_shade(fz_context* ctx, fz_device* dev, fz_shade* shade, fz_matrix ctm, float alpha,
                                fz_color_params params) {
    fz_fill_shade(ctx, GRAPHICS_TARGET(dev), shade, ctm, alpha, params);
}

static void graphics_fill_image(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm, float alpha,
                                fz_color_params params) {
    if (((graphics_device*)dev)->with_images) fz_fill_image(ctx, GRAPHICS_TARGET(dev), image, ctm, alpha, params);
}

static void graphics_fill_image_mask(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm,
                                     fz_colorspace* cs, const float* color, float alpha, fz_color_params params) {
    fz_fill_image_mask(ctx, GRAPHICS_TARGET(dev), image, ctm, cs, color, alpha, params);
}

static void graphics_clip_image_mask(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm,
                                     fz_rect scissor) {
    fz_clip_image_mask(ctx, GRAPHICS_TARGET(dev), image, ctm, scissor);
}

static void graphics_pop_clip(fz_context* ctx, fz_device* dev) { fz_pop_clip(ctx, GRAPHICS_TARGET(dev)); }

static void graphics_begin_mask(fz_context* ctx, fz_device* dev, fz_rect area, int luminosity, fz_colorspace* cs,
                                const float* bc, fz_color_params params) {
    fz_begin_mask(ctx, GRAPHICS_TARGET(dev), area, luminosity, cs, bc, params);
}

static void graphics_end_mask(FOLI_END_MASK_PARAMS) { FOLI_FORWARD_END_MASK(ctx, GRAPHICS_TARGET(dev)); }

static void graphics_begin_group(fz_context* ctx, fz_device* dev, fz_rect area, fz_colorspace* cs, int isolated,
                                 int knockout, int blendmode, float alpha) {
    fz_begin_group(ctx, GRAPHICS_TARGET(dev), area, cs, isolated, knockout, blendmode, alpha);
}

static void graphics_end_group(fz_context* ctx, fz_device* dev) { fz_end_group(ctx, GRAPHICS_TARGET(dev)); }

static void graphics_close(fz_context* ctx, fz_device* dev) { fz_close_device(ctx, GRAPHICS_TARGET(dev)); }

static fz_device* new_graphics_device(fz_context* ctx, fz_device* target, int with_images, int without_boxes) {
    graphics_device* dev = fz_new_derived_device(ctx, graphics_device);
    dev->super.close_device = graphics_close;
    dev->super.fill_path = graphics_fill_path;
    dev->super.stroke_path = graphics_stroke_path;
    dev->super.clip_path = graphics_clip_path;
    dev->super.clip_stroke_path = graphics_clip_stroke_path;
    dev->super.clip_text = graphics_clip_text;
    dev->super.clip_stroke_text = graphics_clip_stroke_text;
    dev->super.fill_shade = graphics_fill_shade;
    dev->super.fill_image = graphics_fill_image;
    dev->super.fill_image_mask = graphics_fill_image_mask;
    dev->super.clip_image_mask = graphics_clip_image_mask;
    dev->super.pop_clip = graphics_pop_clip;
    dev->super.begin_mask = graphics_begin_mask;
    dev->super.end_mask = graphics_end_mask;
    dev->super.begin_group = graphics_begin_group;
    dev->super.end_group = graphics_end_group;
    dev->target = target;
    dev->with_images = with_images;
    dev->without_boxes = without_boxes;
    return &dev->super;
}

static foli_mu_status render_graphics(fz_context* ctx, fz_page* page, float zoom, int with_images, int without_boxes,
                                      int with_annotations, fz_pixmap** out) {
    foli_mu_status status = FOLI_MU_OK;
    fz_pixmap* pixmap = NULL;
    fz_device* draw = NULL;
    fz_device* graphics = NULL;
    fz_var(status);
    fz_var(pixmap);
    fz_var(draw);
    fz_var(graphics);
    *out = NULL;
    fz_try(ctx) {
        fz_matrix ctm = fz_scale(zoom, zoom);
        fz_irect area = fz_round_rect(fz_transform_rect(fz_bound_page(ctx, page), ctm));
        pixmap = fz_new_pixmap_with_bbox(ctx, fz_device_rgb(ctx), area, NULL, 0);
        fz_clear_pixmap_with_value(ctx, pixmap, 0xFF);
        draw = fz_new_draw_device(ctx, fz_identity, pixmap);
        graphics = new_graphics_device(ctx, draw, with_images, without_boxes);
        status = foli_mu_run_page(ctx, page, graphics, ctm, with_annotations);
        if (status == FOLI_MU_OK) fz_close_device(ctx, graphics);
    }
    fz_always(ctx) {
        fz_drop_device(ctx, graphics);
        fz_drop_device(ctx, draw);
    }
    fz_catch(ctx) {
        status = status_from_caught(ctx, FOLI_MU_PAGE);
    }
    if (status != FOLI_MU_OK) {
        fz_drop_pixmap(ctx, pixmap);
        pixmap = NULL;
    }
    *out = pixmap;
    return status;
}

foli_mu_status foli_mu_render_page_graphics(fz_context* ctx, fz_page* page, float zoom, int with_images,
                                            int with_annotations, fz_pixmap** out) {
    return render_graphics(ctx, page, zoom, with_images, 0, with_annotations, out);
}

foli_mu_status foli_mu_render_page_art(fz_context* ctx, fz_page* page, float zoom, int with_annotations,
                                       fz_pixmap** out) {
    return render_graphics(ctx, page, zoom, 0, 1, with_annotations, out);
}

/* The size to ask the decoder for: the image's own, or a smaller one of
 * the same shape that holds at most max_pixels pixels. */
static fz_matrix decode_size(const fz_image* image, int64_t max_pixels) {
    double width = image->w, height = image->h;
    double pixels = width * height;
    if (max_pixels > 0 && pixels > (double)max_pixels) {
        double shrink = sqrt((double)max_pixels / pixels);
        width = fmax(1.0, floor(width * shrink));
        height = fmax(1.0, floor(height * shrink));
    }
    return fz_scale((float)width, (float)height);
}

foli_mu_status foli_mu_decode_image(fz_context* ctx, fz_image* image, int64_t max_pixels, fz_pixmap** out) {
    foli_mu_status status = FOLI_MU_OK;
    fz_var(status);
    fz_pixmap* decoded = NULL;
    fz_pixmap* converted = NULL;
    fz_var(decoded);
    fz_var(converted);
    *out = NULL;
    fz_try(ctx) {
        fz_matrix size = decode_size(image, max_pixels);
        decoded = fz_get_pixmap_from_image(ctx, image, NULL, &size, NULL, NULL);
        fz_colorspace* cs = decoded->colorspace;
        int usable = cs != NULL && (fz_colorspace_is_rgb(ctx, cs) || fz_colorspace_is_gray(ctx, cs));
        if (usable && decoded->alpha == 0) {
            converted = decoded;
            decoded = NULL;
        } else {
            fz_colorspace* target = (cs != NULL && fz_colorspace_is_gray(ctx, cs)) ? fz_device_gray(ctx)
                                                                                    : fz_device_rgb(ctx);
            converted = fz_convert_pixmap(ctx, decoded, target, NULL, NULL, fz_default_color_params, 0);
        }
    }
    fz_always(ctx) {
        fz_drop_pixmap(ctx, decoded);
    }
    fz_catch(ctx) {
        status = status_from_caught(ctx, FOLI_MU_FAILED);
    }
    *out = converted;
    return status;
}
