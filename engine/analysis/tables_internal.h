// The parts of table detection, shared by its stages (tables_*.cpp):
// rules taken from the page's vector graphics, column finding from text
// alignment, and the refinements every found table goes through (rows
// split by baselines, header rows, spanning header cells).
#pragma once

#include <string>
#include <vector>

#include "analysis/fragments.h"
#include "analysis/layout.h"

namespace foli::tables {

// ------------------------------------------------------------------ rules

// An axis-aligned rule: `pos` is its y (horizontal) or x (vertical),
// `from`..`to` its extent along the other axis.
struct Rule {
    float pos, from, to;
    float length() const { return to - from; }
};

constexpr float kSnap = 2.0f;       // rules this close are one rule; edges this close meet
constexpr size_t kMaxRules = 2000;  // beyond this the page is a drawing, not a table

// The page's rules, merged: stroked segments, thin rectangles, and the
// edges of filled rectangles (cell backgrounds). Sorted by position.
struct PageRules {
    std::vector<Rule> horizontal, vertical;
};
PageRules collect_page_rules(const PageModel& page);

// Full or partial grids of crossing rules, as tables. The fragments of
// each are marked in `used`.
std::vector<Table> grid_tables(const PageRules& rules, const std::vector<Fragment>& fragments,
                               std::vector<bool>& used);

// Tables drawn with horizontal rules alone (top, header and bottom rules
// of one width), their columns found from the alignment of the text. The
// regions of `found` are left alone.
std::vector<Table> horizontal_rule_tables(const PageRules& rules, const std::vector<Table>& found,
                                          const std::vector<Fragment>& fragments, std::vector<bool>& used);

// --------------------------------------------------------------- columns

using Interval = std::pair<float, float>;

// The gutters between the columns of a set of text rows, each row the
// boxes of its text: x ranges between x0 and x1 at least `min_gap` wide
// that at most `allowance` of the rows cross.
std::vector<Interval> column_gutters(const std::vector<std::vector<Rect>>& rows, float x0, float x1, float min_gap,
                                     int allowance);

// The band of `edges` (sorted positions) that `value` falls in, clamped to
// the first and last band.
int band_of(const std::vector<float>& edges, float value);

// The first and last column a box covers, given the column edges (columns + 1 x positions).
std::pair<int, int> columns_covered(const std::vector<float>& edges, const Rect& box);

// ----------------------------------------------------------- refinements

// Whether the text is a number as tables print them: digits with
// separators, signs, a currency or percent sign, parentheses.
bool looks_numeric(const std::string& text);

// Whether `next` continues the text of `previous` in a cell `cell_width`
// wide: running text that fills its cell and wraps onto the next line.
bool wraps_onto(const Line& previous, const Line& next, float cell_width);

// Splits every row whose cells hold several lines set on shared baselines
// (rows without rules between them) into one row per baseline; lines that
// only continue a cell's wrapped text stay with their row.
void split_rows_by_baselines(Table& table);

// Splits a cell that spans columns when its text sits in separate columns
// of the grid under it (a body drawn as one box under a ruled header).
void unmerge_cells_by_columns(Table& table);

// Splits a column whose cells hold text in two columns of their own, with
// a gutter between them that no text crosses (columns the drawing did not
// rule apart).
void split_columns_by_gutters(Table& table);

// Fits a header cell that spans columns to the columns its text is centred
// over, where the drawing spans it wider.
void fit_header_spans(Table& table);

// Drops rows and columns that hold no text and are too thin to be cells
// (the gap of a double rule, the inset of a shaded background).
void drop_thin_empty_bands(Table& table);

// Widens a header cell over the empty neighbouring cells it is centred
// over, when the row below fills them ("Pre-Pawn" over "Handgun | Long
// Gun | Other").
void span_group_headers(Table& table);

// The leading rows that head the table: bold rows, or rows of labels over
// numeric columns, at most three.
int count_header_rows(const Table& table);

// Row-major order, cell boxes from the edges, lines in reading order:
// what every stage hands back.
void finish_table(Table& table);

// The cell covering each grid position (rows x columns, row-major), or -1.
std::vector<int> cell_owners(const Table& table);

}  // namespace foli::tables
