/* Part of the MuPDF shim (see mupdf_shim.h): bounding, before a page runs,
 * how deep MuPDF will descend into what the page's resources nest.
 *
 * MuPDF interprets a form, tiling pattern, soft mask or Type 3 glyph by
 * recursion, loads colour spaces and functions by recursion, and parses a
 * calculator (Type 4) function by recursion on its braces; every form level
 * also takes a few places on MuPDF's exception stack, whose overflow loses
 * the page. A file can nest any of these as deep as it likes. This walk
 * visits what the page's resources and annotation appearances reach and
 * leaves out, in the document's copy in memory, whatever lies deeper than:
 *   FOLI_MAX_CONTENT_NESTING  forms, patterns, soft masks and Type 3 fonts
 *                             in one another;
 *   FOLI_MAX_OBJECT_NESTING   arrays and dictionaries in one another (across
 *                             references) within one of those;
 *   FOLI_MAX_FUNCTION_NESTING braces in one calculator function, which is
 *                             then replaced by an empty one (every output 0).
 * Each cut is logged. The walk's own recursion is bounded by the same
 * numbers. No fz_try block here contains a return. */
#include "mupdf_shim.h"
#include "mupdf_compat.h"

#include <limits.h>
#include <stdint.h>
#include <string.h>

typedef struct nesting_walk {
    fz_context* ctx;
    pdf_document* doc;
    fz_hash_table* checked; /* object number -> deepest levels already walked */
    int64_t steps;
    int cuts;
    int functions_emptied;
} nesting_walk;

/* Levels of one place in the walk. */
typedef struct walk_level {
    int content; /* forms and the like entered so far */
    int object;  /* containers entered within the current content level */
} walk_level;

/* Where a value sits, so that it can be left out. */
typedef struct walk_place {
    pdf_obj* container;
    pdf_obj* key; /* for a dictionary */
    int index;    /* for an array */
} walk_place;

static void cut(nesting_walk* walk, walk_place place) {
    fz_context* ctx = walk->ctx;
    if (pdf_is_dict(ctx, place.container))
        pdf_dict_del(ctx, place.container, place.key);
    else if (pdf_is_array(ctx, place.container))
        pdf_array_put(ctx, place.container, place.index, PDF_NULL);
    ++walk->cuts;
}

/* Forms, tiling patterns and Type 3 fonts are interpreted as content. */
static int is_content(fz_context* ctx, pdf_obj* obj) {
    if (pdf_is_stream(ctx, obj))
        return pdf_name_eq(ctx, pdf_dict_get(ctx, obj, PDF_NAME(Subtype)), PDF_NAME(Form)) ||
               pdf_dict_get_int(ctx, obj, PDF_NAME(PatternType)) == 1;
    return pdf_is_dict(ctx, obj) && pdf_name_eq(ctx, pdf_dict_get(ctx, obj, PDF_NAME(Subtype)), PDF_NAME(Type3));
}

/* The deepest brace nesting of a calculator function, read no further
 * than just past FOLI_MAX_FUNCTION_NESTING. */
static int function_nesting(fz_context* ctx, pdf_obj* function) {
    fz_stream* stream = pdf_open_stream(ctx, function);
    int depth = 0, deepest = 0, in_comment = 0;
    fz_try(ctx) {
        int c;
        while (deepest <= FOLI_MAX_FUNCTION_NESTING && (c = fz_read_byte(ctx, stream)) != EOF) {
            if (in_comment) {
                in_comment = c != '\n' && c != '\r';
            } else if (c == '%') {
                in_comment = 1;
            } else if (c == '{') {
                if (++depth > deepest) deepest = depth;
            } else if (c == '}' && depth > 0) {
                --depth;
            }
        }
    }
    fz_always(ctx) {
        fz_drop_stream(ctx, stream);
    }
    fz_catch(ctx) {
        fz_rethrow(ctx);
    }
    return deepest;
}

static void bound_function(nesting_walk* walk, pdf_obj* ref) {
    fz_context* ctx = walk->ctx;
    if (function_nesting(ctx, ref) <= FOLI_MAX_FUNCTION_NESTING) return;
    fz_buffer* empty = fz_new_buffer_from_copied_data(ctx, (const unsigned char*)"{ }", 3);
    fz_try(ctx) {
        pdf_update_stream(ctx, walk->doc, ref, empty, 0);
    }
    fz_always(ctx) {
        fz_drop_buffer(ctx, empty);
    }
    fz_catch(ctx) {
        fz_rethrow(ctx);
    }
    ++walk->functions_emptied;
}

/* Packs levels into a hash value (never NULL). */
static void* pack_levels(walk_level level) { return (void*)(intptr_t)(((level.content + 1) << 16) | (level.object + 1)); }
static walk_level unpack_levels(void* value) {
    intptr_t packed = (intptr_t)value;
    walk_level level = {(int)(packed >> 16) - 1, (int)(packed & 0xFFFF) - 1};
    return level;
}

/* Whether an object has been walked at levels at least this deep. If not,
 * records the deeper of both and returns the levels to walk it at: an
 * object is walked again only when reached deeper, at most once per level. */
static int already_walked(nesting_walk* walk, int num, walk_level* level) {
    fz_context* ctx = walk->ctx;
    void* found = fz_hash_find(ctx, walk->checked, &num);
    if (found != NULL) {
        walk_level before = unpack_levels(found);
        if (level->content <= before.content && level->object <= before.object) return 1;
        if (before.content > level->content) level->content = before.content;
        if (before.object > level->object) level->object = before.object;
        fz_hash_remove(ctx, walk->checked, &num);
    }
    fz_hash_insert(ctx, walk->checked, &num, pack_levels(*level));
    return 0;
}

static void walk_value(nesting_walk* walk, pdf_obj* value, walk_level level, walk_place place);

static void walk_children(nesting_walk* walk, pdf_obj* obj, walk_level level) {
    fz_context* ctx = walk->ctx;
    if (pdf_is_array(ctx, obj)) {
        int count = pdf_array_len(ctx, obj);
        for (int i = 0; i < count; ++i) {
            walk_place place = {obj, NULL, i};
            walk_value(walk, pdf_array_get(ctx, obj, i), level, place);
        }
    } else if (pdf_is_dict(ctx, obj)) {
        for (int i = 0; i < pdf_dict_len(ctx, obj); ++i) {
            pdf_obj* key = pdf_dict_get_key(ctx, obj, i);
            /* Links back up the document tree lead to other pages. */
            if (pdf_name_eq(ctx, key, PDF_NAME(Parent)) || pdf_name_eq(ctx, key, PDF_NAME(P))) continue;
            walk_place place = {obj, key, 0};
            int before = pdf_dict_len(ctx, obj);
            walk_value(walk, pdf_dict_get_val(ctx, obj, i), level, place);
            if (pdf_dict_len(ctx, obj) < before) --i; /* this entry was left out */
        }
    }
}

/* Walks one value found at `place`, one level below its container. */
static void walk_value(nesting_walk* walk, pdf_obj* value, walk_level level, walk_place place) {
    fz_context* ctx = walk->ctx;
    if (!pdf_is_array(ctx, value) && !pdf_is_dict(ctx, value)) return; /* also unloadable references */
    if (++walk->steps > FOLI_NESTING_WALK_STEPS) fz_throw(ctx, FZ_ERROR_GENERIC, "page resources too large to check");

    if (is_content(ctx, value)) {
        level.content += 1;
        level.object = 0;
        if (level.content > FOLI_MAX_CONTENT_NESTING) {
            cut(walk, place);
            return;
        }
    } else if (++level.object > FOLI_MAX_OBJECT_NESTING) {
        cut(walk, place);
        return;
    }
    if (pdf_is_indirect(ctx, value)) {
        if (already_walked(walk, pdf_to_num(ctx, value), &level)) return;
        if (pdf_is_stream(ctx, value) && pdf_dict_get_int(ctx, value, PDF_NAME(FunctionType)) == 4)
            bound_function(walk, value);
    }
    walk_children(walk, value, level);
}

static void walk_page(nesting_walk* walk, pdf_obj* page) {
    fz_context* ctx = walk->ctx;
    walk_level top = {0, 0};
    walk_place nowhere = {NULL, NULL, 0};
    walk_value(walk, pdf_dict_get_inheritable(ctx, page, PDF_NAME(Resources)), top, nowhere);
    walk_value(walk, pdf_dict_get(ctx, page, PDF_NAME(Group)), top, nowhere);
    pdf_obj* annotations = pdf_dict_get(ctx, page, PDF_NAME(Annots));
    int count = pdf_array_len(ctx, annotations);
    for (int i = 0; i < count; ++i) {
        pdf_obj* annotation = pdf_array_get(ctx, annotations, i);
        walk_place place = {annotation, PDF_NAME(AP), 0};
        walk_value(walk, pdf_dict_get(ctx, annotation, PDF_NAME(AP)), top, place);
    }
}

foli_mu_status foli_mu_bound_page_nesting(fz_context* ctx, fz_document* doc, int index) {
    pdf_document* pdf = pdf_specifics(ctx, doc);
    if (pdf == NULL) return FOLI_MU_OK;
    foli_mu_status status = FOLI_MU_OK;
    nesting_walk walk;
    memset(&walk, 0, sizeof walk);
    walk.ctx = ctx;
    walk.doc = pdf;
    fz_var(status);
    fz_try(ctx) {
        pdf_obj* page = pdf_lookup_page_obj(ctx, pdf, index);
        walk.checked = fz_new_hash_table(ctx, 256, sizeof(int), -1, NULL);
        walk_page(&walk, page);
    }
    fz_always(ctx) {
        fz_drop_hash_table(ctx, walk.checked);
    }
    fz_catch(ctx) {
        status = foli_mu_caught_memory_error(ctx) ? FOLI_MU_MEMORY : FOLI_MU_PAGE;
        if (status == FOLI_MU_PAGE) fz_warn(ctx, "cannot check what the page nests: %s", fz_caught_message(ctx));
    }
    if (walk.cuts > 0)
        fz_warn(ctx, "left out %d resources nested deeper than %d forms or %d objects", walk.cuts,
                FOLI_MAX_CONTENT_NESTING, FOLI_MAX_OBJECT_NESTING);
    if (walk.functions_emptied > 0)
        fz_warn(ctx, "emptied %d calculator functions nested deeper than %d levels", walk.functions_emptied,
                FOLI_MAX_FUNCTION_NESTING);
    return status;
}

/* ------------------------------------------------------------ page tree */

typedef struct tree_frame {
    pdf_obj* node;
    int next_kid;
    int64_t pages;
} tree_frame;

static int is_tree_node(fz_context* ctx, pdf_obj* obj) {
    return pdf_is_dict(ctx, obj) &&
           (pdf_is_array(ctx, pdf_dict_get(ctx, obj, PDF_NAME(Kids))) ||
            pdf_name_eq(ctx, pdf_dict_get(ctx, obj, PDF_NAME(Type)), PDF_NAME(Pages)));
}

/* Ends the node on top of the stack: its /Count becomes what it holds. */
static int64_t finish_tree_node(fz_context* ctx, tree_frame* frame, int* corrected) {
    int64_t pages = frame->pages > INT_MAX ? INT_MAX : frame->pages;
    if (pdf_dict_get_int(ctx, frame->node, PDF_NAME(Count)) != pages) {
        pdf_dict_put_int(ctx, frame->node, PDF_NAME(Count), pages);
        ++*corrected;
    }
    return pages;
}

static int count_tree(fz_context* ctx, pdf_obj* root, int* corrected, int* cut) {
    tree_frame stack[FOLI_MAX_PAGE_TREE_DEPTH];
    int depth = 0;
    fz_hash_table* seen = fz_new_hash_table(ctx, 64, sizeof(int), -1, NULL);
    int64_t total = 0;
    fz_var(total);
    fz_try(ctx) {
        stack[0].node = root;
        stack[0].next_kid = 0;
        stack[0].pages = 0;
        depth = 1;
        while (depth > 0) {
            tree_frame* frame = &stack[depth - 1];
            pdf_obj* kids = pdf_dict_get(ctx, frame->node, PDF_NAME(Kids));
            if (frame->next_kid >= pdf_array_len(ctx, kids)) {
                int64_t pages = finish_tree_node(ctx, frame, corrected);
                if (--depth == 0)
                    total = pages;
                else
                    stack[depth - 1].pages += pages;
                continue;
            }
            pdf_obj* kid = pdf_array_get(ctx, kids, frame->next_kid++);
            if (!is_tree_node(ctx, kid)) {
                frame->pages += 1; /* a page, whether or not it can be read */
                continue;
            }
            int num = pdf_to_num(ctx, kid);
            /* A node met again (a loop, or shared) and nodes past the depth
             * bound hold no pages. */
            if (depth == FOLI_MAX_PAGE_TREE_DEPTH || (num > 0 && fz_hash_find(ctx, seen, &num) != NULL)) {
                ++*cut;
                continue;
            }
            if (num > 0) fz_hash_insert(ctx, seen, &num, (void*)1);
            stack[depth].node = kid;
            stack[depth].next_kid = 0;
            stack[depth].pages = 0;
            ++depth;
        }
    }
    fz_always(ctx) {
        fz_drop_hash_table(ctx, seen);
    }
    fz_catch(ctx) {
        fz_rethrow(ctx);
    }
    return (int)total;
}

foli_mu_status foli_mu_count_real_pages(fz_context* ctx, fz_document* doc, int* count) {
    foli_mu_status status = FOLI_MU_OK;
    int corrected = 0, cut = 0;
    fz_var(status);
    *count = 0;
    pdf_document* pdf = pdf_specifics(ctx, doc);
    fz_try(ctx) {
        pdf_obj* root = pdf != NULL ? pdf_dict_getp(ctx, pdf_trailer(ctx, pdf), "Root/Pages") : NULL;
        if (is_tree_node(ctx, root))
            *count = count_tree(ctx, root, &corrected, &cut);
        else
            *count = fz_count_pages(ctx, doc);
    }
    fz_catch(ctx) {
        status = foli_mu_caught_memory_error(ctx) ? FOLI_MU_MEMORY : FOLI_MU_FORMAT;
    }
    if (corrected > 0) fz_warn(ctx, "the page tree declares page counts it does not hold; counted %d pages", *count);
    if (cut > 0)
        fz_warn(ctx, "left out %d page-tree nodes met twice or nested deeper than %d levels", cut,
                FOLI_MAX_PAGE_TREE_DEPTH);
    return status;
}
