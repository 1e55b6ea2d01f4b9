#include "model/page_builder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "analysis/bidi.h"
#include "analysis/characters.h"
#include "core/errors.h"
#include "load/mupdf_compat.h"

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
    unsigned int color = 0;

    bool same_as(const fz_stext_char& ch) const {
        return ch.font == font && std::fabs(ch.size - size) < 0.01f && FOLI_STEXT_CHAR_RGB(ch) == color;
    }
};

struct FontStyle {
    std::string name;
    bool bold = false;
    bool italic = false;
    bool monospace = false;
};

FontStyle describe_font(fz_context* ctx, fz_font* font) {
    FontStyle style;
    style.name = font_name(ctx, font);
    const std::string& name = style.name;
    style.bold = font && (fz_font_is_bold(ctx, font) || name_has(name, "Bold") || name_has(name, "Black") ||
                          name_has(name, "Heavy") || name_has(name, "Semibold") || name_has(name, "Demi"));
    style.italic = font && (fz_font_is_italic(ctx, font) || name_has(name, "Italic") || name_has(name, "Oblique"));
    style.monospace = font && (fz_font_is_monospaced(ctx, font) || is_monospace_name(name));
    return style;
}

// The style of each font of one page, worked out on its first span. The
// page's structured text keeps its fonts alive, so their addresses stay
// unique while the page is built.
class FontStyles {
public:
    explicit FontStyles(fz_context* ctx) : ctx_(ctx) {}

    const FontStyle& of(fz_font* font) {
        auto found = styles_.find(font);
        if (found == styles_.end()) found = styles_.emplace(font, describe_font(ctx_, font)).first;
        return found->second;
    }

private:
    fz_context* ctx_;
    std::unordered_map<fz_font*, FontStyle> styles_;
};

Span start_span(FontStyles& fonts, const fz_stext_char& ch) {
    const FontStyle& font = fonts.of(ch.font);
    Span span;
    span.font = font.name;
    span.size = ch.size;
    span.color = FOLI_STEXT_CHAR_RGB(ch);
    span.bold = font.bold;
    span.italic = font.italic;
    span.monospace = font.monospace;
    return span;
}

// The smallest rectangle holding the quad, as fz_rect_from_quad makes it
// (inline: it runs for every character of the page).
Rect quad_box(const fz_quad& q) {
    return {std::min(std::min(q.ll.x, q.lr.x), std::min(q.ul.x, q.ur.x)),
            std::min(std::min(q.ll.y, q.lr.y), std::min(q.ul.y, q.ur.y)),
            std::max(std::max(q.ll.x, q.lr.x), std::max(q.ul.x, q.ur.x)),
            std::max(std::max(q.ll.y, q.lr.y), std::max(q.ul.y, q.ur.y))};
}

// Keeps the model's text valid UTF-8 whatever the font's mapping says:
// surrogates, values beyond Unicode and NUL become U+FFFD.
void append_utf8(std::string& out, int c) {
    if (c > 0 && c < 0x80) {
        out.push_back(static_cast<char>(c));
        return;
    }
    if (c <= 0 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    char buffer[FZ_UTFMAX];
    int length = fz_runetochar(buffer, c);
    out.append(buffer, static_cast<size_t>(length));
}

// MuPDF inserts spaces for gaps inside a text object, but words drawn by
// separate text operators on one line can come out glued together. The gap
// is measured the way the line runs (`turn`, see Line).
bool needs_space_between(const PlacedChar& previous, const PlacedChar& next, int turn) {
    if (previous.c == ' ' || next.c == ' ') return false;
    float gap = 0;
    switch (turn) {
    case 0: gap = next.box.x0 - previous.box.x1; break;
    case 1: gap = next.box.y0 - previous.box.y1; break;
    case 2: gap = previous.box.x0 - next.box.x1; break;
    case 3: gap = previous.box.y0 - next.box.y1; break;
    default: return false;
    }
    return gap > 0.12f * std::max(previous.size, next.size);
}

// Whether the glyphs of a line are drawn mirrored: their up vector lies on
// the other side of the line's direction than for text turned only.
bool is_mirrored(const fz_stext_line& source) {
    const fz_stext_char* ch = source.first_char;
    if (ch == nullptr) return false;
    float up_x = ch->quad.ul.x - ch->quad.ll.x, up_y = ch->quad.ul.y - ch->quad.ll.y;
    return source.dir.x * up_y - source.dir.y * up_x > 0;
}

// Quarter turns of a line's direction (see Line::turn).
int line_turn(const fz_stext_line& source) {
    if (source.wmode != 0) return -1;
    const float x = source.dir.x, y = source.dir.y;
    if (std::fabs(y) < 0.1f) return x > 0 ? 0 : 2;
    if (std::fabs(x) < 0.1f) return y > 0 ? 1 : 3;
    return -1;
}

// The characters of a line with their boxes, as the analysis cleans them
// (characters.h), and the run styles they refer to. Reused from line to
// line, so that no line allocates.
struct LineChars {
    std::vector<PlacedChar> chars;
    std::vector<PlacedChar> spaced;            // scratch: `chars` with the spaces put in
    std::vector<const fz_stext_char*> styles;  // the first character of each style
};

void collect_chars(const fz_stext_line& source, LineChars& out) {
    out.chars.clear();
    out.styles.clear();
    SpanStyle style;
    for (const fz_stext_char* ch = source.first_char; ch != nullptr; ch = ch->next) {
        if (out.styles.empty() || !style.same_as(*ch)) {
            out.styles.push_back(ch);
            style = {ch->font, ch->size, FOLI_STEXT_CHAR_RGB(*ch)};
        }
        out.chars.push_back({static_cast<char32_t>(ch->c), quad_box(ch->quad), ch->size,
                             static_cast<int>(out.styles.size()) - 1});
    }
}

Line build_line(FontStyles& fonts, const fz_stext_line& source, LineChars& buffer) {
    Line line;
    line.box = to_rect(source.bbox);
    line.turn = line_turn(source);
    line.mirrored = is_mirrored(source);
    line.horizontal = line.turn == 0;
    collect_chars(source, buffer);
    clean_characters(buffer.chars);
    if (line.turn >= 0) {
        // Spaces go in by position, while the characters are still in the
        // order they stand on the page; then right-to-left text is put in
        // reading order.
        buffer.spaced.clear();
        for (size_t i = 0; i < buffer.chars.size(); ++i) {
            if (i > 0 && needs_space_between(buffer.chars[i - 1], buffer.chars[i], line.turn)) {
                PlacedChar space = buffer.chars[i - 1];
                space.c = ' ';
                space.box.x0 = space.box.x1;
                buffer.spaced.push_back(space);
            }
            buffer.spaced.push_back(buffer.chars[i]);
        }
        std::swap(buffer.chars, buffer.spaced);
        if (line.horizontal && has_right_to_left(buffer.chars)) visual_to_logical(buffer.chars);
    }
    int style = -1;
    Rect inked;  // the line without the spaces at its ends
    for (const PlacedChar& ch : buffer.chars) {
        if (line.spans.empty() || ch.style != style) {
            line.spans.push_back(start_span(fonts, *buffer.styles[static_cast<size_t>(ch.style)]));
            style = ch.style;
        }
        Span& span = line.spans.back();
        append_utf8(span.text, static_cast<int>(ch.c));
        span.box = span.box.united(ch.box);
        if (ch.c != ' ' && ch.c != 0xA0) inked = inked.united(ch.box);
    }
    // A trailing space's box reaches into the gutter beside a column.
    if (!inked.empty()) line.box = inked;
    return line;
}

void add_text_block(FontStyles& fonts, const fz_stext_block& source, LineChars& buffer, PageModel& model) {
    TextBlock block;
    block.box = to_rect(source.bbox);
    for (const fz_stext_line* line = source.u.t.first_line; line != nullptr; line = line->next)
        if (line->first_char != nullptr) block.lines.push_back(build_line(fonts, *line, buffer));
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

    FontStyles fonts(ctx);
    LineChars buffer;
    for (const fz_stext_block* block = text->first_block; block != nullptr; block = block->next) {
        if (block->type == FZ_STEXT_BLOCK_TEXT)
            add_text_block(fonts, *block, buffer, model);
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
