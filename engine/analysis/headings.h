// Headings: which blocks are section titles, and their levels.
//
// Signals, strongest first: the document's outline (a bookmark pointing at
// this page whose title is the block's text gives the heading and its
// level, and teaches the level of its style for headings the outline
// leaves out); size against the document's body text (ranked across the
// whole document, largest first); a short bold line at body size, standing
// on its own, ranks below the sized ones; numbering ("2", "2.3", "2.3.1")
// orders headings of one style by depth.
#pragma once

#include <string>
#include <vector>

#include "analysis/document_style.h"
#include "analysis/fragments.h"
#include "analysis/layout.h"

namespace foli {

// A heading is set at least 15 % and a point larger than the body text.
bool is_sized_heading(float size, float body_size);

// Whether a line could be a heading by its size alone (for the survey of
// a document's heading sizes): sized, short, with a letter, not code.
bool is_heading_line_candidate(const Fragment& fragment, float body_size);

// Adds `size` to distinct sizes kept largest first (within half a point
// counts as the same).
void add_heading_size(std::vector<float>& sizes, float size);

// Depth of a section number at the start of `text`: 1 for "3 Title" or
// "Chapter 3", 2 for "3.1 Title", 3 for "3.1.4 Title"; 0 for none.
int numbering_depth(const std::string& text);

// Words of a title compared with outline entries: lower case letters and
// digits, a leading section number dropped.
std::string title_key(const std::string& text);

// Makes headings of blocks that the outline names for this page, and gives
// every heading of the page its level (1 to 6).
void assign_heading_levels(std::vector<Block>& blocks, const PageModel& page, float body_size,
                           DocumentStyle* style);

}  // namespace foli
