#include "writers/html_page.h"

#include <map>
#include <utility>

#include "writers/html_text.h"

namespace foli::html {

std::string page_anchor(int page_number) { return "page-" + std::to_string(page_number); }

std::string span_href(const Span& span, const PageModel& page, const PageReferences& references) {
    if (span.link.empty()) return {};
    for (const LinkItem& link : page.links)
        if (link.uri == span.link && link.target_page >= 0) return references.page_href(link.target_page);
    return is_safe_link(span.link) ? span.link : std::string();
}

bool is_page_background(const ImageItem& image, const PageModel& page) {
    Rect whole{0, 0, page.width, page.height};
    return whole.area() > 0 && image.box.intersected(whole).area() >= 0.9f * whole.area();
}

std::string dominant_font_family(const PageModel& page) {
    // Characters per font, so that one long paragraph outweighs headings.
    std::map<std::pair<std::string, bool>, size_t> counts;
    for (const TextBlock& block : page.text_blocks)
        for (const Line& line : block.lines)
            for (const Span& span : line.spans) counts[{span.font, span.monospace}] += span.text.size();
    const std::pair<std::string, bool>* best = nullptr;
    size_t best_count = 0;
    for (const auto& [font, count] : counts)
        if (count > best_count) {
            best = &font;
            best_count = count;
        }
    return best ? pdf_font_family(best->first, best->second) : std::string();
}

}  // namespace foli::html
