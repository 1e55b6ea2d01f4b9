// Lines to paragraphs, headings and list items.
#pragma once

#include <vector>

#include "analysis/fragments.h"
#include "analysis/layout.h"

namespace foli {

// Groups fragments that follow one another in reading order (nothing else
// between them) into paragraphs and list items, and appends the blocks to
// `blocks`. A block that looks like a heading becomes a Heading with level
// 0; number_headings gives the levels once the whole page is known.
void build_text_blocks(std::vector<Fragment>& run, float body_size, std::vector<Block>& blocks);

// Levels 1 to 6 by size rank among the headings, largest first: those of
// the page, and with a document style those of the earlier pages too (the
// style then learns the page's sizes). Headings at body size but bold take
// the level after the smallest size.
void number_headings(std::vector<Block>& blocks, float body_size, DocumentStyle* style);

}  // namespace foli
