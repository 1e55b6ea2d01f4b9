// Running heads: the text a document repeats in the top or bottom margin of
// its pages (a journal's name, "Chapter 1: Introduction  4", "Page 3 of
// 20", a lone page number). It is kept out of the flow of the text.
#pragma once

#include <string>
#include <vector>

#include "analysis/document_style.h"
#include "analysis/fragments.h"

namespace foli {

enum class MarginRole : char { None, Header, Footer };

// The text of a margin line as compared across pages: lower case, each run
// of digits (and a Roman numeral standing alone) as '#', spaces collapsed.
std::string margin_pattern(const std::string& text);

// Whether a margin pattern is a page number and nothing else ("#",
// "page # of #", "- # -").
bool is_page_number_pattern(const std::string& pattern);

// Margin lines of a page: fragments in the top or bottom band of the page.
// `margin_of[i]` is Header or Footer for those, None for the others.
std::vector<MarginRole> margin_bands(const std::vector<Fragment>& fragments, const PageModel& page);

// Records the page's margin lines in the style, once per page.
void learn_margins(const std::vector<Fragment>& fragments, const PageModel& page, DocumentStyle& style);

// Which fragments are running heads: margin lines whose text recurs on other
// pages at the same place, lines in a place where such lines recur (a
// running head that names the chapter), and page numbers standing apart in
// the margin. Lines set as large as headings (against `body_size`) are
// headings, repeated or not. Lines on one row with a running head belong
// to it.
std::vector<MarginRole> find_running_heads(const std::vector<Fragment>& fragments, const PageModel& page,
                                           const DocumentStyle* style, float body_size);

}  // namespace foli
