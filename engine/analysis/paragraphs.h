// Lines to paragraphs, headings, list items and code.
#pragma once

#include <vector>

#include "analysis/fragments.h"
#include "analysis/layout.h"

namespace foli {

// Groups fragments that follow one another in reading order (nothing else
// between them) into paragraphs, list items and code, and appends the
// blocks to `blocks`. A block that looks like a heading becomes a Heading
// with level 0; assign_heading_levels (headings.h) gives the levels once
// the whole page is known. Runs of monospaced lines become Code.
void build_text_blocks(std::vector<Fragment>& run, float body_size, std::vector<Block>& blocks);

// Whether `line` is a lettered sub-section title set in italics, as papers
// set theirs ("A. Google DeepDream"): one capital letter and a point, then
// a short title that does not end a sentence, every span in italics.
bool is_lettered_italic_title(const Line& line);

}  // namespace foli
