/* Adding a text layer to the pages of an open PDF and saving the result,
 * for the searchable PDF. The pages' own objects (content streams, fonts,
 * images, annotations) are never rewritten: each page gets its old
 * contents wrapped in q/Q and one new content stream after them. Every
 * MuPDF call that may throw runs inside fz_try/fz_catch in
 * mupdf_pdf_update.c. */
#ifndef FOLI_MUPDF_PDF_UPDATE_H
#define FOLI_MUPDF_PDF_UPDATE_H

#include "load/mupdf_shim.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The matrix from MuPDF's page space (points, origin at the top left of
 * the page as shown, y downwards: what pages are rendered and extracted
 * in) to the page's PDF user space. */
foli_mu_status foli_pdf_page_to_user(fz_context* ctx, fz_document* doc, int page, fz_matrix* out);

/* A prefix for font resource names that no font name in the page's
 * resources starts with: `base`, or `base` with a number after it. */
foli_mu_status foli_pdf_free_font_name(fz_context* ctx, fz_document* doc, int page, const char* base, char* name,
                                       int size);

/* A Type0 font over one embedded TrueType program whose glyph 1 every
 * character id (CID 0 .. cid_count-1, two-byte Identity-H codes) is drawn
 * with; `to_unicode` is the CMap that gives each CID its text. */
typedef struct foli_layer_font {
    const unsigned char* program;
    size_t program_size;
    const char* to_unicode;
    size_t to_unicode_size;
    int cid_count;
    int advance;  /* of every glyph, in 1/1000 em */
    int ascent;   /* 1/1000 em above the baseline */
    int descent;  /* 1/1000 em, negative */
} foli_layer_font;

/* Adds the font's objects; *font is a new reference to the Type0 font. */
foli_mu_status foli_pdf_add_layer_font(fz_context* ctx, fz_document* doc, const foli_layer_font* description,
                                       pdf_obj** font);

/* Fonts that draw characters with their real shapes, for a text layer that
 * is shown: Type3 fonts of up to 256 characters each (codes 0 to 255; the
 * character unicodes[i] is code i % 256 of font i / 256), whose glyphs are
 * the outlines of the built-in fonts (Helvetica, else the fallback font
 * for the character's script), each with a ToUnicode map. `fonts` has room
 * for (count + 255) / 256 new references; advances[i] is character i's
 * advance in 1/1000 em. */
#define FOLI_OUTLINE_FONT_SIZE 256
foli_mu_status foli_pdf_add_outline_fonts(fz_context* ctx, fz_document* doc, const int* unicodes, int count,
                                          pdf_obj** fonts, float* advances);

/* Draws `content` over the page, with fonts[i] in the page's resources
 * under font_names[i]. */
foli_mu_status foli_pdf_add_page_layer(fz_context* ctx, fz_document* doc, int page, const char* const* font_names,
                                       pdf_obj* const* fonts, int font_count, const char* content,
                                       size_t content_size);

/* Writes the document to `path`: as the original file followed by an
 * incremental update when `incremental` (false for a document MuPDF had to
 * repair), else whole. FOLI_MU_IO when the file cannot be written. */
foli_mu_status foli_pdf_save(fz_context* ctx, fz_document* doc, const char* path, int incremental);

/* Whether the document can be written as its original plus an update. */
int foli_pdf_can_update_incrementally(fz_context* ctx, fz_document* doc);

#ifdef __cplusplus
}
#endif

#endif /* FOLI_MUPDF_PDF_UPDATE_H */
