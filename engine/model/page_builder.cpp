#include "model/page_builder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/errors.h"

namespace foli {
namespace {

Rect to_rect(const fz_rect& r) { return {r.x0, r.y0, r.x1, r.y1}; }

std::string font_name(fz_context* ctx, fz_font* font) {
    const char* name = font ? fz_font_name(ctx, font) : "";
    const char* plus = std::strchr(name, '+');
    // Subset fonts are named "ABCDEF+RealName".
    if (plus != nullptr && plus - name == 6) name = plus + 1;
    return name;
}

bool name_has(const std::string& name, const char* word) { return name.find(word) != std::string::npos; }

// Fixed-pitch families whose fonts often lack the fixed-pitch flag
// ("NimbusMonL-Regu", TeX's "CMTT10" and "SFTT1000").
bool is_monospace_name(const std::string& name) {
    static const char* const families[] = {"Mono", "Courier", "NimbusMon", "Consolas", "Menlo", "Monaco",
                                           "Typewriter", "CMTT", "SFTT", "Inconsolata", "LetterGothic"};
    for (const char* family : families)
        if (name_has(name, family)) return true;
    return false;
}

struct SpanStyle {
    fz_font* font = nullptr;
    float size = 0;
    int color = 0;

    bool same_as(const fz_stext_char& ch) const {
        return ch.font == font && std::fabs(ch.size - size) < 0.01f && ch.color == color;
    }
};

Span start_span(fz_context* ctx, const fz_stext_char& ch) {
    Span span;
    span.font = font_name(ctx, ch.font);
    span.size = ch.size;
    span.color = static_cast<uint32_t>(ch.color) & 0xFFFFFFu;
    span.bold = ch.font && (fz_font_is_bold(ctx, ch.font) || name_has(span.font, "Bold") ||
                            name_has(span.font, "Black") || name_has(span.font, "Heavy") ||
                            name_has(span.font, "Semibold") || name_has(span.font, "Demi"));
    span.italic = ch.font && (fz_font_is_italic(ctx, ch.font) || name_has(span.font, "Italic") ||
                              name_has(span.font, "Oblique"));
    span.monospace = ch.font && (fz_font_is_monospaced(ctx, ch.font) || is_monospace_name(span.font));
    return span;
}

// Keeps the model's text valid UTF-8 whatever the font's mapping says:
// surrogates, values beyond Unicode and NUL become U+FFFD.
void append_utf8(std::string& out, int c) {
    if (c <= 0 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    char buffer[FZ_UTFMAX];
    int length = fz_runetochar(buffer, c);
    out.append(buffer, static_cast<size_t>(length));
}

// MuPDF inserts spaces for gaps inside a text object, but words drawn by
// separate text operators on one line can come out glued together.
bool needs_space_between(const fz_stext_char& previous, const fz_stext_char& next) {
    if (previous.c == ' ' || next.c == ' ') return false;
    float gap = next.quad.ul.x - previous.quad.ur.x;
    return gap > 0.12f * std::max(previous.size, next.size);
}

Line build_line(fz_context* ctx, const fz_stext_line& source) {
    Line line;
    line.box = to_rect(source.bbox);
    line.horizontal = source.wmode == 0 && std::fabs(source.dir.y) < 0.1f && source.dir.x > 0;
    SpanStyle style;
    const fz_stext_char* previous = nullptr;
    for (const fz_stext_char* ch = source.first_char; ch != nullptr; ch = ch->next) {
        if (previous != nullptr && line.horizontal && needs_space_between(*previous, *ch))
            line.spans.back().text += ' ';
        previous = ch;
        if (line.spans.empty() || !style.same_as(*ch)) {
            line.spans.push_back(start_span(ctx, *ch));
            style = {ch->font, ch->size, ch->color};
        }
        Span& span = line.spans.back();
        append_utf8(span.text, ch->c);
        span.box = span.box.united(to_rect(fz_rect_from_quad(ch->quad)));
    }
    return line;
}

void add_text_block(fz_context* ctx, const fz_stext_block& source, PageModel& model) {
    TextBlock block;
    block.box = to_rect(source.bbox);
    for (const fz_stext_line* line = source.u.t.first_line; line != nullptr; line = line->next)
        if (line->first_char != nullptr) block.lines.push_back(build_line(ctx, *line));
    if (!block.lines.empty()) model.text_blocks.push_back(std::move(block));
}

void add_image_block(fz_context* ctx, const fz_stext_block& source, PageModel& model) {
    fz_image* image = source.u.i.image;
    if (image == nullptr) return;
    ImageItem item;
    item.box = to_rect(source.bbox);
    item.pixel_width = image->w;
    item.pixel_height = image->h;
    item.image = keep_image(ctx, image);
    model.images.push_back(std::move(item));
}

void add_vectors(const foli_vector_list& list, PageModel& model) {
    model.vectors.reserve(static_cast<size_t>(list.count));
    for (int i = 0; i < list.count; ++i) {
        const foli_vector& v = list.items[i];
        VectorItem item;
        item.kind = v.kind == FOLI_VECTOR_RECT ? VectorItem::Kind::Rect : VectorItem::Kind::Line;
        item.box = to_rect(v.box);
        item.stroked = v.stroked != 0;
        item.color = v.rgb;
        item.width = v.width;
        model.vectors.push_back(item);
    }
}

void add_links(const Document& document, const Page& page, PageModel& model) {
    fz_link* links = nullptr;
    check(foli_mu_load_links(document.ctx(), page.get(), &links), "cannot load links");
    LinkHandle owner(document.ctx(), links);
    for (const fz_link* link = links; link != nullptr; link = link->next) {
        if (link->uri == nullptr) continue;
        LinkItem item;
        item.box = to_rect(link->rect);
        item.uri = link->uri;
        item.target_page = document.resolve_page(link->uri);
        model.links.push_back(std::move(item));
    }
}

// A span takes the link whose area holds the span's centre.
void attach_links(PageModel& model) {
    if (model.links.empty()) return;
    for (TextBlock& block : model.text_blocks)
        for (Line& line : block.lines)
            for (Span& span : line.spans)
                for (const LinkItem& link : model.links)
                    if (link.box.contains(span.box.center_x(), span.box.center_y())) {
                        span.link = link.uri;
                        break;
                    }
}

struct VectorListOwner {
    fz_context* ctx;
    foli_vector_list list{};
    ~VectorListOwner() { fz_free(ctx, list.items); }
};

}  // namespace

PageModel build_page_model(const Document& document, const Page& page, const ModelRequest& request) {
    fz_context* ctx = document.ctx();
    PageModel model;
    model.index = page.index();
    model.width = page.bounds().width();
    model.height = page.bounds().height();

    foli_extract_request extract{request.annotations, request.images, request.vectors};
    VectorListOwner vectors{ctx};
    fz_stext_page* text = nullptr;
    check(foli_mu_extract_page(ctx, page.get(), &extract, &text, &vectors.list), "cannot read a page");
    TextPageHandle owner(ctx, text);

    for (const fz_stext_block* block = text->first_block; block != nullptr; block = block->next) {
        if (block->type == FZ_STEXT_BLOCK_TEXT)
            add_text_block(ctx, *block, model);
        else if (block->type == FZ_STEXT_BLOCK_IMAGE && request.images)
            add_image_block(ctx, *block, model);
    }
    add_vectors(vectors.list, model);
    if (request.links) {
        add_links(document, page, model);
        attach_links(model);
    }
    return model;
}

}  // namespace foli
