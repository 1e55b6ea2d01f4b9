#include "analysis/layout.h"

namespace foli {

std::string TableCell::text() const { return paragraph_text(lines); }

std::string paragraph_text(const std::vector<Line>& lines) {
    std::string text;
    for (const Line& line : lines) {
        if (!text.empty()) text += ' ';
        text += line.text();
    }
    return text;
}

PageLayout analyze_page(PageModel page, const AnalysisOptions&) {
    PageLayout layout;
    for (TextBlock& block : page.text_blocks) {
        Block out;
        out.kind = BlockKind::Paragraph;
        out.box = block.box;
        out.lines = block.lines;
        layout.blocks.push_back(std::move(out));
    }
    layout.page = std::move(page);
    return layout;
}

}  // namespace foli
