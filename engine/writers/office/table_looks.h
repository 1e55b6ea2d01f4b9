// How a table's cells look on the page: which of their sides have a rule
// drawn along them (and how thick, in what colour), which cells are
// filled, and where their text sits in them. Read from the page's vector graphics, so that a table ruled only
// between its rows, or shaded without any rule, keeps exactly that.
#pragma once

#include <cstdint>
#include <vector>

#include "analysis/layout.h"

namespace foli::office {

struct CellRule {
    bool drawn = false;
    float width = 0;     // points
    uint32_t color = 0;  // 0xRRGGBB
};

// Start is the left (across) or the top (down) of the cell, as on the page.
enum class CellAlign { Start, Centre, End };

struct CellLook {
    CellRule top, left, bottom, right;
    bool filled = false;
    uint32_t fill = 0;  // 0xRRGGBB
    // Where the text sits in the cell: across (left, centred, right) and
    // down (top, middle, bottom).
    CellAlign across = CellAlign::Start;
    CellAlign down = CellAlign::Start;
};

struct TableLooks {
    std::vector<CellLook> cells;  // one per table cell, in the table's order
    bool any_rule = false;
    // Every side of every cell ruled, all rules alike: the table's own
    // borders say it all (`grid_rule`).
    bool full_grid = false;
    CellRule grid_rule;
};

TableLooks table_looks(const Table& table, const PageModel& page);

}  // namespace foli::office
