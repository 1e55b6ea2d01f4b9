// What the analysis knows about a whole document rather than one page: the
// size its body text is set in, the sizes of its headings, the lines that
// recur in the page margins (running heads, page numbers) and its outline.
// A survey of sample pages fills it before the first page is analysed, and
// every analysed page adds to it, so a page is judged by the document's
// measure and not only by its own (a page whose largest text is a
// sub-heading, a title page, a page of a two-page form).
#pragma once

#include <string>
#include <vector>

#include "model/page_model.h"

namespace foli {

// A line seen in the top or bottom margin of pages, by position and by its
// text with numbers blanked out ("Chapter 1: Introduction  #").
struct MarginLine {
    bool top = true;
    float y = 0;         // top of the line (top margin) or its bottom (bottom margin)
    float size = 0;      // font size
    std::string pattern; // see margin_pattern
    int pages = 0;       // pages it was seen on
};

// A heading style (size and weight of its line) and the level the
// document's outline gave headings set in it.
struct HeadingStyleLevel {
    float size = 0;
    bool bold = false;
    int level = 0;  // 1 to 6
    int count = 0;  // headings seen in it
};

// A heading style (size and weight) and the shallowest depth of section
// number seen in it ("2" is 1, "2.3" is 2).
struct NumberedStyle {
    float size = 0;
    bool bold = false;
    int min_depth = 0;
};

struct DocumentStyle {
    float body_size = 0;                // size most of the document's text is set in, 0 when unknown
    std::vector<float> heading_sizes;   // distinct sizes of headings, largest first
    std::vector<MarginLine> margins;    // margin lines of the pages learned from
    std::vector<int> learned_pages;     // 0-based pages counted into `margins`
    std::vector<OutlineEntry> outline;  // the document's bookmarks
    std::vector<HeadingStyleLevel> outline_levels;  // what the outline said about each heading style
    std::vector<NumberedStyle> numbered_styles;     // the shallowest numbering seen in each heading style
};

// Learns body size, heading sizes and margin lines from sample pages of a
// document before any page is analysed. The outline is kept for matching
// headings to their bookmarks.
DocumentStyle survey_document(const std::vector<const PageModel*>& sample, std::vector<OutlineEntry> outline);

// Adds one page's margin lines to the style (once per page).
void learn_page_margins(const PageModel& page, DocumentStyle& style);

}  // namespace foli
