// Fixed-layout HTML: a page-sized box with every text line and image
// absolutely positioned where the PDF draws it. The text stays real text,
// so it can be selected and searched; its order in the markup follows the
// analysed reading order.
#include <algorithm>
#include <cmath>

#include "writers/html_page.h"
#include "writers/html_text.h"

namespace foli::html {
namespace {

// The lines of the page as extracted (list markers included), each with
// the position in reading order of the analysed block it belongs to.
struct PlacedLine {
    const Line* line;
    size_t order;
};

Rect block_area(const Block& block) {
    return block.kind == BlockKind::Table ? block.table.box.united(block.box) : block.box;
}

float distance(const Rect& box, float x, float y) {
    float dx = std::max({box.x0 - x, 0.0f, x - box.x1});
    float dy = std::max({box.y0 - y, 0.0f, y - box.y1});
    return std::sqrt(dx * dx + dy * dy);
}

// The block holding the line's centre, else the nearest text block: a
// list marker lies just left of its item's box.
size_t reading_position(const Line& line, const PageLayout& layout) {
    float x = line.box.center_x();
    float y = line.box.center_y();
    for (size_t i = 0; i < layout.blocks.size(); ++i)
        if (block_area(layout.blocks[i]).contains(x, y)) return i;
    size_t nearest = layout.blocks.size();
    float nearest_distance = 0;
    for (size_t i = 0; i < layout.blocks.size(); ++i) {
        if (layout.blocks[i].kind == BlockKind::Image) continue;
        float d = distance(block_area(layout.blocks[i]), x, y);
        if (nearest == layout.blocks.size() || d < nearest_distance) {
            nearest = i;
            nearest_distance = d;
        }
    }
    return nearest;
}

// Within one block: top to bottom, and left to right along a row. A line
// joins a row when its centre lies within the row's first line.
void order_rows(std::vector<PlacedLine>::iterator first, std::vector<PlacedLine>::iterator last) {
    std::stable_sort(first, last, [](const PlacedLine& a, const PlacedLine& b) {
        return a.line->box.center_y() < b.line->box.center_y();
    });
    while (first != last) {
        const Rect& row = first->line->box;
        auto end = std::find_if(first, last, [&](const PlacedLine& p) { return p.line->box.center_y() > row.y1; });
        std::stable_sort(first, end,
                         [](const PlacedLine& a, const PlacedLine& b) { return a.line->box.x0 < b.line->box.x0; });
        first = end;
    }
}

std::vector<PlacedLine> lines_in_reading_order(const PageLayout& layout) {
    std::vector<PlacedLine> placed;
    for (const TextBlock& block : layout.page.text_blocks)
        for (const Line& line : block.lines) placed.push_back({&line, reading_position(line, layout)});
    std::stable_sort(placed.begin(), placed.end(),
                     [](const PlacedLine& a, const PlacedLine& b) { return a.order < b.order; });
    for (auto group = placed.begin(); group != placed.end();) {
        auto end = std::find_if(group, placed.end(), [&](const PlacedLine& p) { return p.order != group->order; });
        order_rows(group, end);
        group = end;
    }
    return placed;
}

std::string span_style(const Span& span, const PageStyle& style) {
    std::string css = "font-size:" + points(span.size);
    if (!style.font_override) css += ";font-family:" + pdf_font_family(span.font, span.monospace);
    if (span.bold) css += ";font-weight:bold";
    if (span.italic) css += ";font-style:italic";
    if (span.color != 0) css += ";color:" + css_color(span.color);
    return css;
}

void write_span(std::string& out, const Span& span, const PageModel& page, const PageReferences& references,
                const PageStyle& style) {
    std::string text = escaped(span.text);
    if (text.empty()) return;
    std::string href = span_href(span, page, references);
    if (!href.empty()) {
        out += "<a href=\"";
        append_escaped(out, href);
        out += "\">";
    }
    out += "<span style=\"";
    append_escaped(out, span_style(span, style));
    out += "\">" + text + "</span>";
    if (!href.empty()) out += "</a>";
}

void write_line(std::string& out, const Line& line, const PageModel& page, const PageReferences& references,
                const PageStyle& style) {
    std::string height = points(line.box.height());
    out += "<div class=\"line\" style=\"left:" + points(line.box.x0) + ";top:" + points(line.box.y0) +
           ";height:" + height + ";line-height:" + height + "\">";
    for (const Span& span : line.spans) write_span(out, span, page, references, style);
    out += "</div>\n";
}

void write_image(std::string& out, int index, const PageModel& page, PageReferences& references,
                 const PageStyle& style) {
    const ImageItem& image = page.images[static_cast<size_t>(index)];
    if (!style.background_images && is_page_background(image, page)) return;
    std::string source = references.image_source(page, index);
    if (source.empty()) return;
    out += "<img src=\"";
    append_escaped(out, source);
    out += "\" alt=\"Image " + std::to_string(index + 1) + " on page " + std::to_string(page.index + 1) +
           "\" width=\"" + std::to_string(css_pixels(image.box.width())) + "\" height=\"" +
           std::to_string(css_pixels(image.box.height())) + "\" style=\"left:" + points(image.box.x0) +
           ";top:" + points(image.box.y0) + ";width:" + points(image.box.width()) +
           ";height:" + points(image.box.height()) + "\">\n";
}

// Rules and filled rectangles, so that table grids, underlines and shaded
// areas show; hairlines get a visible minimum thickness.
void write_vector(std::string& out, const VectorItem& vector) {
    constexpr float kThinnest = 0.5f;
    Rect box = vector.box;
    constexpr float kHalf = kThinnest / 2;
    if (box.width() < kThinnest) box = {box.center_x() - kHalf, box.y0, box.center_x() + kHalf, box.y1};
    if (box.height() < kThinnest) box = {box.x0, box.center_y() - kHalf, box.x1, box.center_y() + kHalf};
    out += "<div class=\"shape\" style=\"left:" + points(box.x0) + ";top:" + points(box.y0) + ";width:" +
           points(box.width()) + ";height:" + points(box.height()) + ";background:" + css_color(vector.color) +
           "\"></div>\n";
}

}  // namespace

void write_box_page(std::string& out, const PageLayout& layout, PageReferences& references, const PageStyle& style) {
    const PageModel& page = layout.page;
    out += "<div class=\"page\" id=\"" + page_anchor(page.index + 1) + "\" style=\"width:" + points(page.width) +
           ";height:" + points(page.height) + "\">\n";
    // Shapes, then images, then text: text drawn over a picture or a
    // shaded cell stays readable.
    for (const VectorItem& vector : page.vectors) write_vector(out, vector);
    for (size_t i = 0; i < page.images.size(); ++i) write_image(out, static_cast<int>(i), page, references, style);
    for (const PlacedLine& placed : lines_in_reading_order(layout))
        write_line(out, *placed.line, page, references, style);
    out += "</div>\n";
}

}  // namespace foli::html
