/* The only place that calls MuPDF functions which may throw. Every function
 * here wraps its work in fz_try/fz_catch and reports the outcome as a
 * foli_mu_status value, so no longjmp ever leaves this file and no C++
 * frame is ever jumped over. Functions that cannot throw (fz_drop_*,
 * fz_keep_*, font queries, plain struct reads) are called directly from C++.
 */
#ifndef FOLI_MUPDF_SHIM_H
#define FOLI_MUPDF_SHIM_H

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum foli_mu_status {
    FOLI_MU_OK = 0,
    FOLI_MU_FILE,     /* input missing or unreadable */
    FOLI_MU_PASSWORD, /* password required and the given one is wrong */
    FOLI_MU_FORMAT,   /* not a PDF, or damaged beyond repair */
    FOLI_MU_SECURITY, /* encrypted with a handler we cannot open */
    FOLI_MU_MEMORY,
    FOLI_MU_PAGE,     /* one page could not be loaded or interpreted */
    FOLI_MU_IO,       /* output could not be written */
    FOLI_MU_FAILED,   /* anything else */
    FOLI_MU_CANCELLED /* the caller asked to stop while a page ran */
} foli_mu_status;

/* A context that shares nothing with any other, so it needs no locks: one
 * per conversion (or page count), used by one thread at a time. */
fz_context* foli_mu_new_context(void);
void foli_mu_set_message_callbacks(fz_context* ctx, fz_warning_cb* warning, fz_error_cb* error, void* user);

/* Documents. */
foli_mu_status foli_mu_open_pdf(fz_context* ctx, const char* path, const char* password, fz_document** out);
foli_mu_status foli_mu_count_pages(fz_context* ctx, fz_document* doc, int* count);
/* The outline as a tree (NULL when there is none), at most 64 levels deep.
 * Entries that cannot be read are left out with their children, and an
 * outline that cannot be read at all gives NULL, both with a warning; only
 * running out of memory fails. */
foli_mu_status foli_mu_load_outline(fz_context* ctx, fz_document* doc, fz_outline** out);
/* Looks up an info entry such as "info:Title"; writes "" when absent. */
void foli_mu_lookup_metadata(fz_context* ctx, fz_document* doc, const char* key, char* buffer, int size);
/* The document's natural language tag (the catalog's /Lang, "en-GB");
 * writes "" when absent or unreadable. */
void foli_mu_document_language(fz_context* ctx, fz_document* doc, char* buffer, int size);
/* Resolves an outline or link target to a 0-based page index, -1 if none. */
int foli_mu_resolve_link_page(fz_context* ctx, fz_document* doc, const char* uri);

/* Pages. Loading a page first bounds what it nests (see
 * foli_mu_bound_page_nesting) and refuses a page object that cannot be read
 * with FOLI_MU_PAGE, rather than giving a blank page. */
foli_mu_status foli_mu_load_page(fz_context* ctx, fz_document* doc, int index, fz_page** out, fz_rect* bounds);
foli_mu_status foli_mu_load_links(fz_context* ctx, fz_page* page, fz_link** out);

/* An annotation that carries a note for the reader: its place on the
 * page and its text (UTF-8). */
typedef struct foli_note {
    fz_rect box;    /* page coordinates */
    char* contents; /* never empty */
    char* author;   /* "" when not given */
} foli_note;

/* The page's notes: annotations with a non-empty /Contents, links, form
 * fields, pop-up windows and free text (already shown on the page)
 * excepted. An unreadable annotation is left
 * out; only running out of memory fails. Free with foli_mu_drop_notes. */
foli_mu_status foli_mu_load_notes(fz_context* ctx, fz_page* page, foli_note** notes, int* count);
void foli_mu_drop_notes(fz_context* ctx, foli_note* notes, int count);

/* A ruling line or filled rectangle found in the page's vector graphics,
 * in page coordinates (points, y downwards). */
typedef enum foli_vector_kind {
    FOLI_VECTOR_LINE = 0, /* a stroked axis-aligned segment */
    FOLI_VECTOR_RECT = 1  /* a filled (or stroked-outline) axis-aligned rectangle */
} foli_vector_kind;

typedef struct foli_vector {
    fz_rect box;
    int kind;
    int stroked;
    unsigned int rgb; /* 0xRRGGBB */
    float width;      /* stroke width for lines */
} foli_vector;

typedef struct foli_vector_list {
    foli_vector* items;
    int count;
    int capacity;
} foli_vector_list;

typedef struct foli_extract_request {
    int with_annotations;   /* run annotations and widgets as well as the contents */
    int with_images;        /* keep image blocks in the text page */
    int with_vectors;       /* collect rules and filled rectangles */
} foli_extract_request;

/* Runs the page once and builds its structured text, and when asked the
 * list of vectors (free its items with fz_free). */
foli_mu_status foli_mu_extract_page(fz_context* ctx, fz_page* page, const foli_extract_request* request,
                                    fz_stext_page** text, foli_vector_list* vectors);

/* The bounds (page coordinates) of every path the page fills or strokes
 * and every shading it paints: the raw material for finding its vector
 * drawings. Free the list with fz_free. */
foli_mu_status foli_mu_path_boxes(fz_context* ctx, fz_page* page, int with_annotations, fz_rect** boxes, int* count);

/* Rendering. */
foli_mu_status foli_mu_render_page(fz_context* ctx, fz_page* page, float zoom, int gray, int with_annotations,
                                   fz_pixmap** out);
/* Renders the part `clip` of the page (page coordinates) at `zoom` as RGB
 * on white, without annotations. */
foli_mu_status foli_mu_render_region(fz_context* ctx, fz_page* page, fz_rect clip, float zoom, fz_pixmap** out);
/* Renders the page at `zoom` as RGB on white with its text left out, and
 * its images too unless `with_images`: the picture that positioned text
 * is set on. */
foli_mu_status foli_mu_render_page_graphics(fz_context* ctx, fz_page* page, float zoom, int with_images,
                                            int with_annotations, fz_pixmap** out);
/* The same without images and without the axis-aligned rules and filled
 * rectangles the page model lists as vectors: the rest of the page's art
 * (curves, shadings, diagonal lines), for a writer that draws the images
 * and the rules as objects of their own. */
foli_mu_status foli_mu_render_page_art(fz_context* ctx, fz_page* page, float zoom, int with_annotations,
                                       fz_pixmap** out);
/* Decodes an image into an RGB or gray pixmap without alpha. An image of
 * more than max_pixels pixels (0: no limit) is subsampled by a power of two
 * to between max_pixels and four times as many, while it is read where the
 * decoder can, so it never exists at full size: a few hundred bytes of PDF
 * can declare an image of many gigabytes. */
foli_mu_status foli_mu_decode_image(fz_context* ctx, fz_image* image, int64_t max_pixels, fz_pixmap** out);

/* ---------------------------------------------------------- page runs
 * (mupdf_run.c, mupdf_nesting.c) */

/* Every page run has a budget of drawing work, far above what any real
 * page needs (docs/limits.md): every drawing operation costs
 * FOLI_OPERATION_WORK units, plus one unit per path segment,
 * FOLI_GLYPH_WORK units per glyph and one unit per FOLI_PIXELS_PER_WORK
 * device pixels an image or shading covers. A page that reaches the limit
 * stops drawing there with a warning; what was drawn is kept. The budget
 * does not depend on the machine's speed, so a page converts the same
 * everywhere. */
#define FOLI_PAGE_WORK_LIMIT ((int64_t)1 << 22)
#define FOLI_OPERATION_WORK 16
#define FOLI_GLYPH_WORK 4
#define FOLI_PIXELS_PER_WORK 256.0
/* While a page runs, the cancel hook is asked at most this often. */
#define FOLI_CANCEL_POLL_MS 50.0

/* What watches the page runs of one context: a cancel hook asked between
 * drawing operations (nonzero stops the run with FOLI_MU_CANCELLED). The
 * watch stays the caller's and must outlive the context's page runs. */
typedef struct foli_run_watch {
    int (*cancel_requested)(void* user);
    void* user;
} foli_run_watch;

/* Sets (or with NULL clears) the watch of every later page run in `ctx`. */
void foli_mu_set_run_watch(fz_context* ctx, const foli_run_watch* watch);

/* The one way page contents are run, for every writer: runs the page
 * (with annotations and widgets when asked) into `device` at `ctm`, under
 * the work budget and the context's watch; the page must come from
 * foli_mu_load_page, which bounds what it nests. A drawing operation that
 * fails is left out; a page whose contents are damaged keeps what could be
 * read; both with a warning and FOLI_MU_OK. The device stays the caller's
 * to close. */
foli_mu_status foli_mu_run_page(fz_context* ctx, fz_page* page, fz_device* device, fz_matrix ctm,
                                int with_annotations);

/* How deep MuPDF may descend into what a page nests (docs/limits.md). Every
 * form level also takes places on MuPDF's exception stack, which overflows
 * at about 80 nested forms and then loses the page. */
#define FOLI_MAX_CONTENT_NESTING 32  /* forms, tiling patterns, soft masks, Type 3 fonts */
#define FOLI_MAX_OBJECT_NESTING 32   /* arrays and dictionaries within one of those */
#define FOLI_MAX_FUNCTION_NESTING 64 /* braces in a calculator function */
#define FOLI_NESTING_WALK_STEPS ((int64_t)1 << 22)

/* Leaves out of the document's copy in memory, with a warning, whatever the
 * resources and annotation appearances of page `index` nest deeper than the
 * bounds above, and empties calculator functions nested too deep. MuPDF
 * walks a page's resources as it loads the page, so foli_mu_load_page does
 * this first. Fails with FOLI_MU_PAGE only when the page reaches more than
 * FOLI_NESTING_WALK_STEPS objects. */
foli_mu_status foli_mu_bound_page_nesting(fz_context* ctx, fz_document* doc, int index);

/* Counts the pages the page tree really holds, without recursion, to at
 * most FOLI_MAX_PAGE_TREE_DEPTH levels, and corrects in memory every /Count
 * that says otherwise, so that MuPDF's page lookup (which trusts them) finds
 * each page. A node met twice, or below the depth bound, holds no pages. */
#define FOLI_MAX_PAGE_TREE_DEPTH 32
foli_mu_status foli_mu_count_real_pages(fz_context* ctx, fz_document* doc, int* count);

#ifdef __cplusplus
}
#endif

#endif /* FOLI_MUPDF_SHIM_H */
