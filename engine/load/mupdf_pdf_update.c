/* Text layers and saving; every call that may throw stays in its own
 * fz_try/fz_catch, and no fz_try block contains a return. */
#include "load/mupdf_pdf_update.h"

#include "load/mupdf_compat.h"

#include <stdio.h>
#include <string.h>

static foli_mu_status caught(fz_context* ctx, foli_mu_status fallback) {
    return foli_mu_caught_memory_error(ctx) ? FOLI_MU_MEMORY : fallback;
}

foli_mu_status foli_pdf_page_to_user(fz_context* ctx, fz_document* doc, int page, fz_matrix* out) {
    foli_mu_status status = FOLI_MU_OK;
    pdf_document* pdf = pdf_specifics(ctx, doc);
    fz_var(status);
    *out = fz_identity;
    if (pdf == NULL) return FOLI_MU_FAILED;
    fz_try(ctx) {
        fz_rect mediabox;
        fz_matrix user_to_page;
        pdf_page_obj_transform(ctx, pdf_lookup_page_obj(ctx, pdf, page), &mediabox, &user_to_page);
        *out = fz_invert_matrix(user_to_page);
    }
    fz_catch(ctx) {
        status = caught(ctx, FOLI_MU_PAGE);
    }
    return status;
}

/* The page's font resources, or NULL; throws. */
static pdf_obj* page_fonts(fz_context* ctx, pdf_document* pdf, int page) {
    pdf_obj* resources = pdf_dict_get_inheritable(ctx, pdf_lookup_page_obj(ctx, pdf, page), PDF_NAME(Resources));
    return pdf_dict_get(ctx, resources, PDF_NAME(Font));
}

static int any_key_starts_with(fz_context* ctx, pdf_obj* dict, const char* prefix) {
    int count = pdf_dict_len(ctx, dict);
    size_t length = strlen(prefix);
    for (int i = 0; i < count; ++i) {
        const char* key = pdf_to_name(ctx, pdf_dict_get_key(ctx, dict, i));
        if (strncmp(key, prefix, length) == 0) return 1;
    }
    return 0;
}

foli_mu_status foli_pdf_free_font_name(fz_context* ctx, fz_document* doc, int page, const char* base, char* name,
                                       int size) {
    foli_mu_status status = FOLI_MU_OK;
    pdf_document* pdf = pdf_specifics(ctx, doc);
    fz_var(status);
    if (pdf == NULL || size < 16) return FOLI_MU_FAILED;
    fz_strlcpy(name, base, (size_t)size);
    fz_try(ctx) {
        pdf_obj* fonts = page_fonts(ctx, pdf, page);
        for (int number = 1; any_key_starts_with(ctx, fonts, name); ++number)
            fz_snprintf(name, (size_t)size, "%s%d", base, number);
    }
    fz_catch(ctx) {
        status = caught(ctx, FOLI_MU_PAGE);
    }
    return status;
}

/* Maps every CID to glyph 1, two bytes a CID. Throws. */
static fz_buffer* cid_to_gid_map(fz_context* ctx, int cid_count) {
    fz_buffer* map = fz_new_buffer(ctx, (size_t)cid_count * 2);
    fz_try(ctx) {
        for (int cid = 0; cid < cid_count; ++cid) {
            fz_append_byte(ctx, map, 0);
            fz_append_byte(ctx, map, cid == 0 ? 0 : 1);
        }
    }
    fz_catch(ctx) {
        fz_drop_buffer(ctx, map);
        fz_rethrow(ctx);
    }
    return map;
}

/* Adds `data` as a new stream object with `dict` (may be NULL) and returns
 * a reference to it. Throws. */
static pdf_obj* add_stream(fz_context* ctx, pdf_document* pdf, const unsigned char* data, size_t size, pdf_obj* dict) {
    fz_buffer* buffer = fz_new_buffer_from_copied_data(ctx, data, size);
    pdf_obj* ref = NULL;
    fz_try(ctx) {
        ref = pdf_add_stream(ctx, pdf, buffer, dict, 0);
    }
    fz_always(ctx) {
        fz_drop_buffer(ctx, buffer);
    }
    fz_catch(ctx) {
        fz_rethrow(ctx);
    }
    return ref;
}

static pdf_obj* add_font_objects(fz_context* ctx, pdf_document* pdf, const foli_layer_font* f) {
    pdf_obj *program_dict = NULL, *program = NULL, *descriptor = NULL, *cidfont = NULL, *map = NULL;
    pdf_obj *to_unicode = NULL, *font = NULL, *bbox = NULL, *descendants = NULL, *info = NULL;
    fz_buffer* gid_map = NULL;
    fz_var(program_dict);
    fz_var(program);
    fz_var(descriptor);
    fz_var(cidfont);
    fz_var(map);
    fz_var(to_unicode);
    fz_var(font);
    fz_var(gid_map);
    fz_try(ctx) {
        program_dict = pdf_new_dict(ctx, pdf, 1);
        pdf_dict_put_int(ctx, program_dict, PDF_NAME(Length1), (int64_t)f->program_size);
        program = add_stream(ctx, pdf, f->program, f->program_size, program_dict);

        descriptor = pdf_add_new_dict(ctx, pdf, 10);
        pdf_dict_put(ctx, descriptor, PDF_NAME(Type), PDF_NAME(FontDescriptor));
        pdf_dict_put_name(ctx, descriptor, PDF_NAME(FontName), "GlyphLessFont");
        pdf_dict_put_int(ctx, descriptor, PDF_NAME(Flags), 5); /* fixed pitch, symbolic */
        bbox = pdf_dict_put_array(ctx, descriptor, PDF_NAME(FontBBox), 4);
        pdf_array_push_int(ctx, bbox, 0);
        pdf_array_push_int(ctx, bbox, f->descent);
        pdf_array_push_int(ctx, bbox, f->advance);
        pdf_array_push_int(ctx, bbox, f->ascent);
        pdf_dict_put_int(ctx, descriptor, PDF_NAME(ItalicAngle), 0);
        pdf_dict_put_int(ctx, descriptor, PDF_NAME(Ascent), f->ascent);
        pdf_dict_put_int(ctx, descriptor, PDF_NAME(Descent), f->descent);
        pdf_dict_put_int(ctx, descriptor, PDF_NAME(CapHeight), f->ascent);
        pdf_dict_put_int(ctx, descriptor, PDF_NAME(StemV), 80);
        pdf_dict_put(ctx, descriptor, PDF_NAME(FontFile2), program);

        gid_map = cid_to_gid_map(ctx, f->cid_count);
        map = pdf_add_stream(ctx, pdf, gid_map, NULL, 0);

        cidfont = pdf_add_new_dict(ctx, pdf, 8);
        pdf_dict_put(ctx, cidfont, PDF_NAME(Type), PDF_NAME(Font));
        pdf_dict_put(ctx, cidfont, PDF_NAME(Subtype), PDF_NAME(CIDFontType2));
        pdf_dict_put_name(ctx, cidfont, PDF_NAME(BaseFont), "GlyphLessFont");
        info = pdf_dict_put_dict(ctx, cidfont, PDF_NAME(CIDSystemInfo), 3);
        pdf_dict_put_string(ctx, info, PDF_NAME(Registry), "Adobe", 5);
        pdf_dict_put_string(ctx, info, PDF_NAME(Ordering), "Identity", 8);
        pdf_dict_put_int(ctx, info, PDF_NAME(Supplement), 0);
        pdf_dict_put(ctx, cidfont, PDF_NAME(FontDescriptor), descriptor);
        pdf_dict_put_int(ctx, cidfont, PDF_NAME(DW), f->advance);
        pdf_dict_put(ctx, cidfont, PDF_NAME(CIDToGIDMap), map);

        to_unicode = add_stream(ctx, pdf, (const unsigned char*)f->to_unicode, f->to_unicode_size, NULL);

        font = pdf_add_new_dict(ctx, pdf, 6);
        pdf_dict_put(ctx, font, PDF_NAME(Type), PDF_NAME(Font));
        pdf_dict_put(ctx, font, PDF_NAME(Subtype), PDF_NAME(Type0));
        pdf_dict_put_name(ctx, font, PDF_NAME(BaseFont), "GlyphLessFont");
        pdf_dict_put(ctx, font, PDF_NAME(Encoding), PDF_NAME(Identity_H));
        descendants = pdf_dict_put_array(ctx, font, PDF_NAME(DescendantFonts), 1);
        pdf_array_push(ctx, descendants, cidfont);
        pdf_dict_put(ctx, font, PDF_NAME(ToUnicode), to_unicode);
    }
    fz_always(ctx) {
        fz_drop_buffer(ctx, gid_map);
        pdf_drop_obj(ctx, program_dict);
        pdf_drop_obj(ctx, program);
        pdf_drop_obj(ctx, descriptor);
        pdf_drop_obj(ctx, map);
        pdf_drop_obj(ctx, cidfont);
        pdf_drop_obj(ctx, to_unicode);
    }
    fz_catch(ctx) {
        pdf_drop_obj(ctx, font);
        fz_rethrow(ctx);
    }
    return font;
}

foli_mu_status foli_pdf_add_layer_font(fz_context* ctx, fz_document* doc, const foli_layer_font* description,
                                       pdf_obj** font) {
    foli_mu_status status = FOLI_MU_OK;
    pdf_document* pdf = pdf_specifics(ctx, doc);
    fz_var(status);
    *font = NULL;
    if (pdf == NULL) return FOLI_MU_FAILED;
    fz_try(ctx) {
        *font = add_font_objects(ctx, pdf, description);
    }
    fz_catch(ctx) {
        status = caught(ctx, FOLI_MU_FAILED);
    }
    return status;
}

/* The page's own resources dictionary: inherited resources are copied
 * into the page, so that nothing added here reaches other pages. Throws. */
static pdf_obj* own_resources(fz_context* ctx, pdf_obj* page) {
    pdf_obj* resources = pdf_dict_get(ctx, page, PDF_NAME(Resources));
    if (pdf_is_dict(ctx, resources)) return resources;
    pdf_obj* inherited = pdf_dict_get_inheritable(ctx, page, PDF_NAME(Resources));
    if (pdf_is_dict(ctx, inherited)) {
        pdf_obj* copy = pdf_copy_dict(ctx, inherited);
        pdf_dict_put_drop(ctx, page, PDF_NAME(Resources), copy);
        return copy;
    }
    return pdf_dict_put_dict(ctx, page, PDF_NAME(Resources), 1);
}

static void add_layer(fz_context* ctx, pdf_document* pdf, int index, const char* const* font_names,
                      pdf_obj* const* font_list, int font_count, const char* content, size_t content_size) {
    static const char save[] = "q\n";
    pdf_obj *opening = NULL, *layer = NULL, *contents = NULL;
    fz_var(opening);
    fz_var(layer);
    fz_var(contents);
    fz_try(ctx) {
        pdf_obj* page = pdf_lookup_page_obj(ctx, pdf, index);
        pdf_obj* resources = own_resources(ctx, page);
        pdf_obj* fonts = pdf_dict_get(ctx, resources, PDF_NAME(Font));
        if (!pdf_is_dict(ctx, fonts)) fonts = pdf_dict_put_dict(ctx, resources, PDF_NAME(Font), 1);
        for (int i = 0; i < font_count; ++i) pdf_dict_puts(ctx, fonts, font_names[i], font_list[i]);

        opening = add_stream(ctx, pdf, (const unsigned char*)save, sizeof save - 1, NULL);
        layer = add_stream(ctx, pdf, (const unsigned char*)content, content_size, NULL);
        pdf_obj* old = pdf_dict_get(ctx, page, PDF_NAME(Contents));
        contents = pdf_new_array(ctx, pdf, 4);
        pdf_array_push(ctx, contents, opening);
        if (pdf_is_array(ctx, old)) {
            int count = pdf_array_len(ctx, old);
            for (int i = 0; i < count; ++i) pdf_array_push(ctx, contents, pdf_array_get(ctx, old, i));
        } else if (pdf_is_stream(ctx, old)) {
            pdf_array_push(ctx, contents, old);
        }
        pdf_array_push(ctx, contents, layer);
        pdf_dict_put(ctx, page, PDF_NAME(Contents), contents);
    }
    fz_always(ctx) {
        pdf_drop_obj(ctx, opening);
        pdf_drop_obj(ctx, layer);
        pdf_drop_obj(ctx, contents);
    }
    fz_catch(ctx) {
        fz_rethrow(ctx);
    }
}

foli_mu_status foli_pdf_add_page_layer(fz_context* ctx, fz_document* doc, int page, const char* const* font_names,
                                       pdf_obj* const* fonts, int font_count, const char* content,
                                       size_t content_size) {
    foli_mu_status status = FOLI_MU_OK;
    pdf_document* pdf = pdf_specifics(ctx, doc);
    fz_var(status);
    if (pdf == NULL) return FOLI_MU_FAILED;
    fz_try(ctx) {
        add_layer(ctx, pdf, page, font_names, fonts, font_count, content, content_size);
    }
    fz_catch(ctx) {
        status = caught(ctx, FOLI_MU_PAGE);
    }
    return status;
}

/* ------------------------------------------------------- outline fonts */

typedef struct outline_writer {
    fz_buffer* out;
} outline_writer;

static void outline_moveto(fz_context* ctx, void* arg, float x, float y) {
    fz_append_printf(ctx, ((outline_writer*)arg)->out, "%g %g m\n", x, y);
}

static void outline_lineto(fz_context* ctx, void* arg, float x, float y) {
    fz_append_printf(ctx, ((outline_writer*)arg)->out, "%g %g l\n", x, y);
}

static void outline_curveto(fz_context* ctx, void* arg, float x1, float y1, float x2, float y2, float x3, float y3) {
    fz_append_printf(ctx, ((outline_writer*)arg)->out, "%g %g %g %g %g %g c\n", x1, y1, x2, y2, x3, y3);
}

static void outline_closepath(fz_context* ctx, void* arg) { fz_append_string(ctx, ((outline_writer*)arg)->out, "h\n"); }

static const fz_path_walker outline_walker = {outline_moveto, outline_lineto, outline_curveto, outline_closepath};

/* The glyph procedure of one character (its outline, filled in the text's
 * colour: d1) and its advance; widens *bbox by the glyph's box. Throws. */
static fz_buffer* glyph_procedure(fz_context* ctx, fz_font* base, int unicode, float* advance, fz_rect* bbox) {
    fz_font* font = base;
    int gid = fz_encode_character_with_fallback(ctx, base, unicode, 0, 0, &font);
    *advance = fz_advance_glyph(ctx, font, gid, 0) * 1000;
    fz_buffer* out = fz_new_buffer(ctx, 256);
    fz_path* path = NULL;
    fz_var(path);
    fz_try(ctx) {
        path = fz_outline_glyph(ctx, font, gid, fz_scale(1000, 1000));
        fz_rect box = path ? fz_bound_path(ctx, path, NULL, fz_identity) : fz_empty_rect;
        if (fz_is_empty_rect(box)) box = fz_make_rect(0, 0, 0, 0);
        fz_append_printf(ctx, out, "%g 0 %g %g %g %g d1\n", *advance, box.x0, box.y0, box.x1, box.y1);
        if (path) {
            outline_writer writer = {out};
            fz_walk_path(ctx, path, &outline_walker, &writer);
            fz_append_string(ctx, out, "f\n");
        }
        *bbox = fz_union_rect(*bbox, box);
    }
    fz_always(ctx) {
        fz_drop_path(ctx, path);
    }
    fz_catch(ctx) {
        fz_drop_buffer(ctx, out);
        fz_rethrow(ctx);
    }
    return out;
}

static void append_utf16_hex(fz_context* ctx, fz_buffer* out, int c) {
    if (c >= 0x10000) {
        int v = c - 0x10000;
        fz_append_printf(ctx, out, "%04x%04x", 0xD800 + (v >> 10), 0xDC00 + (v & 0x3FF));
    } else {
        fz_append_printf(ctx, out, "%04x", c);
    }
}

/* One Type3 font for unicodes[0..count-1] (count <= 256). Throws. */
static pdf_obj* add_outline_font(fz_context* ctx, pdf_document* pdf, fz_font* base, const int* unicodes, int count,
                                 float* advances) {
    pdf_obj *font = NULL, *procs = NULL, *widths = NULL, *differences = NULL, *proc = NULL, *map = NULL;
    fz_buffer *buffer = NULL, *cmap = NULL;
    fz_var(font);
    fz_var(proc);
    fz_var(map);
    fz_var(buffer);
    fz_var(cmap);
    fz_try(ctx) {
        fz_rect bbox = fz_make_rect(0, 0, 0, 0);
        font = pdf_add_new_dict(ctx, pdf, 10);
        pdf_dict_put(ctx, font, PDF_NAME(Type), PDF_NAME(Font));
        pdf_dict_put(ctx, font, PDF_NAME(Subtype), PDF_NAME(Type3));
        procs = pdf_dict_put_dict(ctx, font, PDF_NAME(CharProcs), count);
        pdf_obj* encoding = pdf_dict_put_dict(ctx, font, PDF_NAME(Encoding), 2);
        pdf_dict_put(ctx, encoding, PDF_NAME(Type), PDF_NAME(Encoding));
        differences = pdf_dict_put_array(ctx, encoding, PDF_NAME(Differences), count + 1);
        pdf_array_push_int(ctx, differences, 0);
        widths = pdf_dict_put_array(ctx, font, PDF_NAME(Widths), count);
        cmap = fz_new_buffer(ctx, 256 + 20 * (size_t)count);
        fz_append_string(ctx, cmap,
                         "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                         "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                         "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                         "1 begincodespacerange\n<00> <FF>\nendcodespacerange\n");
        for (int i = 0; i < count; ++i) {
            char name[16];
            fz_snprintf(name, sizeof name, "g%d", i);
            buffer = glyph_procedure(ctx, base, unicodes[i], &advances[i], &bbox);
            proc = pdf_add_stream(ctx, pdf, buffer, NULL, 0);
            fz_drop_buffer(ctx, buffer);
            buffer = NULL;
            pdf_dict_puts(ctx, procs, name, proc);
            pdf_drop_obj(ctx, proc);
            proc = NULL;
            pdf_array_push_name(ctx, differences, name);
            pdf_array_push_real(ctx, widths, advances[i]);
            if (i % 100 == 0)
                fz_append_printf(ctx, cmap, "%s%d beginbfchar\n", i == 0 ? "" : "endbfchar\n",
                                 count - i < 100 ? count - i : 100);
            fz_append_printf(ctx, cmap, "<%02x> <", i);
            append_utf16_hex(ctx, cmap, unicodes[i]);
            fz_append_string(ctx, cmap, ">\n");
        }
        fz_append_string(ctx, cmap, "endbfchar\nendcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n");
        map = pdf_add_stream(ctx, pdf, cmap, NULL, 0);
        pdf_dict_put(ctx, font, PDF_NAME(ToUnicode), map);
        pdf_dict_put_int(ctx, font, PDF_NAME(FirstChar), 0);
        pdf_dict_put_int(ctx, font, PDF_NAME(LastChar), count - 1);
        pdf_dict_put_rect(ctx, font, PDF_NAME(FontBBox), bbox);
        pdf_dict_put_matrix(ctx, font, PDF_NAME(FontMatrix), fz_scale(0.001f, 0.001f));
        pdf_dict_put_dict(ctx, font, PDF_NAME(Resources), 1);
    }
    fz_always(ctx) {
        fz_drop_buffer(ctx, buffer);
        fz_drop_buffer(ctx, cmap);
        pdf_drop_obj(ctx, proc);
        pdf_drop_obj(ctx, map);
    }
    fz_catch(ctx) {
        pdf_drop_obj(ctx, font);
        fz_rethrow(ctx);
    }
    return font;
}

foli_mu_status foli_pdf_add_outline_fonts(fz_context* ctx, fz_document* doc, const int* unicodes, int count,
                                          pdf_obj** fonts, float* advances) {
    foli_mu_status status = FOLI_MU_OK;
    pdf_document* pdf = pdf_specifics(ctx, doc);
    fz_font* base = NULL;
    int made = 0;
    fz_var(status);
    fz_var(base);
    fz_var(made);
    if (pdf == NULL) return FOLI_MU_FAILED;
    fz_try(ctx) {
        base = fz_new_base14_font(ctx, "Helvetica");
        for (int start = 0; start < count; start += FOLI_OUTLINE_FONT_SIZE) {
            int size = count - start < FOLI_OUTLINE_FONT_SIZE ? count - start : FOLI_OUTLINE_FONT_SIZE;
            fonts[made] = add_outline_font(ctx, pdf, base, unicodes + start, size, advances + start);
            ++made;
        }
    }
    fz_always(ctx) {
        fz_drop_font(ctx, base);
    }
    fz_catch(ctx) {
        for (int i = 0; i < made; ++i) pdf_drop_obj(ctx, fonts[i]);
        status = caught(ctx, FOLI_MU_FAILED);
    }
    return status;
}

int foli_pdf_can_update_incrementally(fz_context* ctx, fz_document* doc) {
    int can = 0;
    pdf_document* pdf = pdf_specifics(ctx, doc);
    fz_var(can);
    if (pdf == NULL) return 0;
    fz_try(ctx) {
        can = pdf_can_be_saved_incrementally(ctx, pdf);
    }
    fz_catch(ctx) {
        can = 0;
    }
    return can;
}

foli_mu_status foli_pdf_save(fz_context* ctx, fz_document* doc, const char* path, int incremental) {
    foli_mu_status status = FOLI_MU_OK;
    pdf_document* pdf = pdf_specifics(ctx, doc);
    fz_var(status);
    if (pdf == NULL) return FOLI_MU_FAILED;
    fz_try(ctx) {
        pdf_write_options options = pdf_default_write_options;
        options.do_incremental = incremental;
        options.do_compress = 1;       /* the new streams; old ones stay as they are */
        options.do_compress_fonts = 1;
        options.do_compress_images = 1;
        pdf_save_document(ctx, pdf, path, &options);
    }
    fz_catch(ctx) {
        status = caught(ctx, FOLI_MU_IO);
    }
    return status;
}
