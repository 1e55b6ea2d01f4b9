#include "analysis/document_style.h"

#include "analysis/fragments.h"
#include "analysis/headings.h"
#include "analysis/running_heads.h"

namespace foli {

void learn_page_margins(const PageModel& page, DocumentStyle& style) {
    learn_margins(collect_fragments(page), page, style);
}

DocumentStyle survey_document(const std::vector<const PageModel*>& sample, std::vector<OutlineEntry> outline) {
    DocumentStyle style;
    style.outline = std::move(outline);
    std::vector<std::vector<Fragment>> fragments;
    fragments.reserve(sample.size());
    SizeTally sizes;
    for (const PageModel* page : sample) {
        fragments.push_back(collect_fragments(*page));
        for (const Fragment& fragment : fragments.back()) sizes.add(fragment.line);
        learn_margins(fragments.back(), *page, style);
    }
    style.body_size = sizes.dominant();
    for (const std::vector<Fragment>& page : fragments)
        for (const Fragment& fragment : page)
            if (is_heading_line_candidate(fragment, style.body_size)) add_heading_size(style.heading_sizes, fragment.size);
    return style;
}

}  // namespace foli
