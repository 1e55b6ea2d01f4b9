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

foli_mu_status foli_pdf_free_font_name(fz_context* ctx, fz_document* doc, int page, const char* base, char* name,
                                       int size) {
    foli_mu_status status = FOLI_MU_OK;
    pdf_document* pdf = pdf_specifics(ctx, doc);
    fz_var(status);
    if (pdf == NULL || size < 16) return FOLI_MU_FAILED;
    fz_strlcpy(name, base, (size_t)size);
    fz_try(ctx) {
        pdf_obj* fonts = page_fonts(ctx, pdf, page);
        for (int number = 1; pdf_dict_gets(ctx, fonts, name) != NULL; ++number)
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

static void add_layer(fz_context* ctx, pdf_document* pdf, int index, const char* font_name, pdf_obj* font,
                      const char* content, size_t content_size) {
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
        pdf_dict_puts(ctx, fonts, font_name, font);

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

foli_mu_status foli_pdf_add_page_layer(fz_context* ctx, fz_document* doc, int page, const char* font_name,
                                       pdf_obj* font, const char* content, size_t content_size) {
    foli_mu_status status = FOLI_MU_OK;
    pdf_document* pdf = pdf_specifics(ctx, doc);
    fz_var(status);
    if (pdf == NULL) return FOLI_MU_FAILED;
    fz_try(ctx) {
        add_layer(ctx, pdf, page, font_name, font, content, content_size);
    }
    fz_catch(ctx) {
        status = caught(ctx, FOLI_MU_PAGE);
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
