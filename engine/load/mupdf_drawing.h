/* Part of the MuPDF shim (see mupdf_shim.h): a page's drawing as a list of
 * plain records, for writers that reproduce the page itself rather than
 * its text flow (OFD). One run of the page through a recording device
 * gives, in painting order:
 *   - paths, filled and/or stroked, in device space (page points, y down);
 *   - text as glyphs (font, glyph id, Unicode, origin) with the glyph
 *     matrix, filled, stroked or invisible (render mode 3);
 *   - images (with their soft mask when it is a plain image), stencil
 *     masks painted in a colour, and shadings drawn into pixels;
 *   - regions only a rendering can show (content under a soft mask or an
 *     image mask that is not one image's alpha), whose text is kept as
 *     invisible text;
 *   - clips as a stack of pushes and pops, the pushed shape a path
 *     (clipping text is turned into its glyph outlines).
 * Type 3 glyphs are drawn into the record as the paths and images their
 * procedures paint, with the text kept as invisible text.
 *
 * C++ reads the records directly; the MuPDF objects they hold (fonts,
 * images, pixmaps) stay alive until foli_mu_drop_drawing.
 */
#ifndef FOLI_MUPDF_DRAWING_H
#define FOLI_MUPDF_DRAWING_H

#include "mupdf_shim.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef enum foli_draw_kind {
    FOLI_DRAW_PATH = 0,  /* fill and/or stroke a path */
    FOLI_DRAW_TEXT,      /* glyphs */
    FOLI_DRAW_IMAGE,     /* an image, a stencil mask, or a shading's pixels */
    FOLI_DRAW_RASTER,    /* a region to show as a rendering of the page */
    FOLI_DRAW_CLIP,      /* push a clip: the path, or nothing we can express (path_ops == 0) */
    FOLI_DRAW_POP_CLIP
} foli_draw_kind;

/* Path commands; coordinates follow in the drawing's coords array: two for
 * MOVE and LINE, six for CURVE, none for CLOSE. */
enum { FOLI_PATH_MOVE = 'M', FOLI_PATH_LINE = 'L', FOLI_PATH_CURVE = 'C', FOLI_PATH_CLOSE = 'Z' };

typedef struct foli_draw_glyph {
    int gid;    /* glyph id in the font; -1 continues the glyph before (ligatures) */
    int ucs;    /* Unicode character, or -1 when the document does not say */
    float x, y; /* origin in device space */
    float advance; /* in ems, along the writing direction */
} foli_draw_glyph;

typedef struct foli_draw_item {
    int kind;

    /* PATH and CLIP: commands [path_start, path_start + path_ops) with
     * coordinates from coord_start, in device space. */
    int path_start, path_ops, coord_start;
    int even_odd;

    /* PATH and TEXT paint. */
    int fill, stroke;
    unsigned int fill_rgb, stroke_rgb; /* 0xRRGGBB */
    float fill_alpha, stroke_alpha;    /* with the enclosing groups' alpha */
    float line_width;                  /* device space */
    float miter_limit;
    int line_cap, line_join;           /* fz_linecap, fz_linejoin */
    int dash_start, dash_count;        /* in the drawing's dashes array, device space */
    float dash_phase;

    /* TEXT: glyphs [glyph_start, glyph_start + glyph_count) of font `font`
     * (index into fonts), each drawn with glyph_matrix (em space to device
     * space, without translation) at its origin. Neither fill nor stroke:
     * invisible text. */
    int font;
    fz_matrix glyph_matrix;
    int wmode;
    int glyph_start, glyph_count;

    /* IMAGE: `image` drawn through image_matrix (unit square to device
     * space), with `soft_mask` as its alpha when set; a stencil mask
     * (`stencil`) painted in fill_rgb; or `pixmap` (a shading's pixels,
     * with alpha) in place of an image. */
    fz_image* image;
    fz_image* soft_mask;
    fz_pixmap* pixmap;
    int stencil;
    fz_matrix image_matrix;
    float alpha;

    /* RASTER: the region, device space. Also the bounds of IMAGE items. */
    fz_rect area;
} foli_draw_item;

typedef struct foli_drawing {
    foli_draw_item* items;
    int item_count, item_capacity;
    unsigned char* ops;
    int op_count, op_capacity;
    float* coords;
    int coord_count, coord_capacity;
    float* dashes;
    int dash_count, dash_capacity;
    foli_draw_glyph* glyphs;
    int glyph_count, glyph_capacity;
    fz_font** fonts; /* each kept once */
    int font_count, font_capacity;

    /* What could only be approximated, for the writer's log. */
    int flattened_regions; /* soft masks shown as renderings */
    int unexpressed_clips; /* clips by stroke outlines or Type 3 text, left out */
    int type3_glyphs;      /* Type 3 glyphs drawn as graphics */
} foli_drawing;

/* Runs the page (and its annotations when asked) through the recording
 * device into `drawing`, which must be zeroed. `bounds` is the page's
 * area, where shadings are clipped. On failure the drawing is emptied. */
foli_mu_status foli_mu_record_page(fz_context* ctx, fz_page* page, int with_annotations, foli_drawing* drawing);

/* Drops every object the drawing holds and frees its arrays; the drawing
 * is left zeroed. */
void foli_mu_drop_drawing(fz_context* ctx, foli_drawing* drawing);

/* The bytes of an image that is a plain baseline JPEG in gray or RGB with
 * no mask, decode array or colour key, as embedded (a kept buffer), or
 * NULL when the image must be decoded. Never throws. */
fz_buffer* foli_mu_image_jpeg(fz_context* ctx, fz_image* image);

/* Decodes an image item into gray, gray+alpha, RGB or RGB+alpha pixels:
 * the image with its soft mask as alpha, or a stencil mask painted in
 * `rgb` with the mask as alpha. Images over max_pixels pixels are
 * subsampled as foli_mu_decode_image does. */
foli_mu_status foli_mu_decode_image_item(fz_context* ctx, fz_image* image, fz_image* soft_mask, int stencil,
                                         unsigned int rgb, int64_t max_pixels, fz_pixmap** out);

#ifdef __cplusplus
}
#endif

#endif /* FOLI_MUPDF_DRAWING_H */
