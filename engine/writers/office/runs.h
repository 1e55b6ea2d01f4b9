// The text of a paragraph as styled runs, for the writers of editable
// documents (Word, RTF): the lines joined as paragraph_text joins them (a
// space, nothing between CJK lines, a hyphenated word made whole again)
// with each span's font, size, weight, slant, colour and link kept, and
// neighbouring runs of one style merged.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/layout.h"

namespace foli::office {

struct RunStyle {
    std::string font;  // the PDF's font name
    float size = 0;
    bool bold = false;
    bool italic = false;
    bool monospace = false;
    uint32_t color = 0;
    std::string link;  // the span's link URI, or empty

    bool operator==(const RunStyle& other) const {
        return size == other.size && bold == other.bold && italic == other.italic && monospace == other.monospace &&
               color == other.color && font == other.font && link == other.link;
    }
    bool operator!=(const RunStyle& other) const { return !(*this == other); }
};

struct StyledRun {
    std::string text;  // UTF-8, never empty
    RunStyle style;
};

RunStyle style_of(const Span& span);

// The paragraph's runs, without leading and trailing white space.
std::vector<StyledRun> paragraph_runs(const std::vector<Line>& lines);

// The lines of a table cell grouped into paragraphs: only a line that
// fills the cell's width was wrapped, so stacked values (a number per
// line) stay one per line.
std::vector<std::vector<Line>> cell_paragraphs(const std::vector<Line>& lines, const Rect& cell);

// What a page's running heads say, digits left out (page numbers change
// from page to page, the heads do not); "" for a page without them.
std::string running_heads_key(const PageLayout& layout);

// One line's runs as they are, for positioned text.
std::vector<StyledRun> line_runs(const Line& line);

}  // namespace foli::office
