// Table detection: from ruling lines and cell backgrounds, and from text
// set in aligned columns without any rules.
#pragma once

#include <vector>

#include "analysis/fragments.h"
#include "analysis/layout.h"

namespace foli {

// Finds tables drawn as a grid of rules and filled rectangles. The text of
// every fragment whose centre lies in a table goes to the cell under each
// span's centre, and the fragment is marked in `used`.
std::vector<Table> find_ruled_tables(const PageModel& page, const std::vector<Fragment>& fragments,
                                     std::vector<bool>& used);

// Finds tables set as text alone: at least three consecutive rows whose
// gaps line up into two or more columns of short cells. Deliberately
// cautious, so that paragraphs, lists and multi-column pages stay text.
// Rows of monospaced text aligned the same way (code, program output) are
// no table; they are added to `code_rows` (fragment indices, left to
// right) to be read as whole lines.
std::vector<Table> find_aligned_tables(const std::vector<Fragment>& fragments, std::vector<bool>& used,
                                       float body_size, std::vector<std::vector<int>>& code_rows);

// Orders lines as they are read: rows top to bottom, left to right in a row.
void order_lines(std::vector<Line>& lines);

}  // namespace foli
