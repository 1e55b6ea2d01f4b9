#include "analysis/tables.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numeric>
#include <utility>

#include "analysis/lists.h"
#include "analysis/tables_internal.h"
#include "analysis/utf8.h"

namespace foli {
namespace {

using tables::Interval;

// ------------------------------------------------------ aligned-text tables

// Adds the x extents of the row's fragments to `covered`, a sorted list of
// disjoint intervals, joining the intervals they overlap.
void cover_row(std::vector<Interval>& covered, const std::vector<Fragment>& fragments, const std::vector<int>& row) {
    for (int index : row) {
        Interval extent{fragments[index].box().x0, fragments[index].box().x1};
        std::vector<Interval> joined;
        joined.reserve(covered.size() + 1);
        for (const Interval& interval : covered) {
            if (interval.second < extent.first || interval.first > extent.second) {
                joined.push_back(interval);
            } else {
                extent.first = std::min(extent.first, interval.first);
                extent.second = std::max(extent.second, interval.second);
            }
        }
        joined.insert(std::upper_bound(joined.begin(), joined.end(), extent), extent);
        covered = std::move(joined);
    }
}

// Whitespace of at least `min_gap` between the covered intervals.
std::vector<Interval> gaps_between(const std::vector<Interval>& covered, float min_gap) {
    std::vector<Interval> gaps;
    for (size_t i = 1; i < covered.size(); ++i)
        if (covered[i].first - covered[i - 1].second >= min_gap)
            gaps.emplace_back(covered[i - 1].second, covered[i].first);
    return gaps;
}

int column_of(const std::vector<Interval>& gaps, float x) {
    int column = 0;
    for (const Interval& gap : gaps) column += gap.second <= x;
    return column;
}

int filled_columns(const std::vector<Interval>& gaps, const std::vector<Fragment>& fragments,
                   const std::vector<int>& row) {
    std::vector<int> columns;
    for (int index : row) columns.push_back(column_of(gaps, fragments[index].box().x0));
    std::sort(columns.begin(), columns.end());
    return static_cast<int>(std::unique(columns.begin(), columns.end()) - columns.begin());
}

// Whether every gap lies within the gap of the same rank before: the gaps
// only narrowed, so no fragment changed its column.
bool only_narrowed(const std::vector<Interval>& before, const std::vector<Interval>& after) {
    if (before.size() != after.size()) return false;
    for (size_t i = 0; i < after.size(); ++i)
        if (after[i].first < before[i].first || after[i].second > before[i].second) return false;
    return true;
}

Rect row_box(const std::vector<Fragment>& fragments, const std::vector<int>& row) {
    Rect box;
    for (int index : row) box = box.united(fragments[index].box());
    return box;
}

struct AlignedRun {
    std::vector<const std::vector<int>*> rows;
    std::vector<int> members;       // every fragment of the rows
    std::vector<Interval> covered;  // x extents of the members, joined
    std::vector<Interval> gaps;     // the gutters between the columns
};

// Whether `row` continues the run: close below its last row, and the gaps
// of all rows together still split every row into two or more columns.
// A row of one fragment inside a column of the run: a section label or a
// row with its other cells empty.
bool fits_one_column(const AlignedRun& run, const std::vector<int>& row, const std::vector<Fragment>& fragments) {
    if (row.size() != 1 || run.rows.size() < 2) return false;
    const Rect& box = fragments[row.front()].box();
    for (const Interval& gap : run.gaps)
        if (box.x1 > gap.first && box.x0 < gap.second) return false;
    return true;
}

bool extend_run(AlignedRun& run, const std::vector<int>& row, const std::vector<Fragment>& fragments,
                float min_gap) {
    if (!run.rows.empty()) {
        Rect last = row_box(fragments, *run.rows.back());
        Rect next = row_box(fragments, row);
        if (next.y0 - last.y1 > 1.5f * std::max(last.height(), next.height())) return false;
    }
    if (fits_one_column(run, row, fragments)) {
        run.rows.push_back(&row);
        run.members.push_back(row.front());
        return true;
    }
    if (row.size() < 2) return false;
    std::vector<Interval> covered = run.covered;
    cover_row(covered, fragments, row);
    std::vector<Interval> gaps = gaps_between(covered, min_gap);
    if (gaps.empty() || filled_columns(gaps, fragments, row) < 2) return false;
    if (!only_narrowed(run.gaps, gaps))
        for (const std::vector<int>* earlier : run.rows)
            if (filled_columns(gaps, fragments, *earlier) < 2) return false;
    run.rows.push_back(&row);
    run.members.insert(run.members.end(), row.begin(), row.end());
    run.covered = std::move(covered);
    run.gaps = std::move(gaps);
    return true;
}

std::string cell_text(const std::vector<Fragment>& fragments, const std::vector<int>& row,
                      const std::vector<Interval>& gaps, int column) {
    std::string text;
    for (int index : row)
        if (column_of(gaps, fragments[index].box().x0) == column) {
            if (!text.empty()) text += ' ';
            text += fragments[index].line.text();
        }
    return text;
}

// Monospaced text aligned in columns is a code listing or program output.
bool is_code(const AlignedRun& run, const std::vector<Fragment>& fragments) {
    int monospace = 0;
    for (int index : run.members) monospace += fragments[index].monospace;
    return monospace * 2 > static_cast<int>(run.members.size());
}

// Cells of a table are short: prose in columns has long lines. A column of
// nothing but bullets or numbers is a list, and rows of a table come at a
// steady pitch.
bool looks_like_table(const AlignedRun& run, const std::vector<Fragment>& fragments) {
    if (run.rows.size() < 3) return false;
    const int columns = static_cast<int>(run.gaps.size()) + 1;
    int filled = 0, chars = 0;
    std::vector<bool> all_markers(static_cast<size_t>(columns), true);
    for (const std::vector<int>* row : run.rows)
        for (int c = 0; c < columns; ++c) {
            std::string text = cell_text(fragments, *row, run.gaps, c);
            if (text.empty()) continue;
            int length = count_code_points(text);
            if (length > 40) return false;
            ++filled;
            chars += length;
            if (!is_bare_list_marker(text)) all_markers[c] = false;
        }
    if (chars > 16 * filled) return false;
    if (std::find(all_markers.begin(), all_markers.end(), true) != all_markers.end()) return false;
    float min_pitch = 1e9f, max_pitch = 0;
    for (size_t i = 1; i < run.rows.size(); ++i) {
        float pitch = row_box(fragments, *run.rows[i]).center_y() - row_box(fragments, *run.rows[i - 1]).center_y();
        min_pitch = std::min(min_pitch, pitch);
        max_pitch = std::max(max_pitch, pitch);
    }
    return max_pitch <= 2 * min_pitch;
}

Table make_aligned_table(const AlignedRun& run, const std::vector<Fragment>& fragments, std::vector<bool>& used) {
    Table table;
    table.rows = static_cast<int>(run.rows.size());
    table.columns = static_cast<int>(run.gaps.size()) + 1;
    for (int index : run.members) table.box = table.box.united(fragments[index].box());
    table.column_edges.push_back(table.box.x0);
    for (const Interval& gap : run.gaps) table.column_edges.push_back((gap.first + gap.second) / 2);
    table.column_edges.push_back(table.box.x1);
    table.row_edges.push_back(table.box.y0);
    for (size_t r = 1; r < run.rows.size(); ++r)
        table.row_edges.push_back((row_box(fragments, *run.rows[r - 1]).y1 + row_box(fragments, *run.rows[r]).y0) / 2);
    table.row_edges.push_back(table.box.y1);
    for (int r = 0; r < table.rows; ++r)
        for (int c = 0; c < table.columns; ++c) {
            TableCell cell;
            cell.row = r;
            cell.column = c;
            cell.box = {table.column_edges[c], table.row_edges[r], table.column_edges[c + 1], table.row_edges[r + 1]};
            for (int index : *run.rows[r])
                if (column_of(run.gaps, fragments[index].box().x0) == c) cell.lines.push_back(fragments[index].line);
            table.cells.push_back(std::move(cell));
        }
    for (int index : run.members) used[index] = true;
    table.header_rows = tables::count_header_rows(table);
    tables::span_group_headers(table);
    tables::finish_table(table);
    return table;
}

}  // namespace

void order_lines(std::vector<Line>& lines) {
    if (lines.size() < 2) return;
    std::vector<Fragment> fragments;
    fragments.reserve(lines.size());
    for (Line& line : lines) {
        Fragment fragment;
        fragment.line = std::move(line);
        fragments.push_back(std::move(fragment));
    }
    std::vector<bool> use(fragments.size(), true);
    std::vector<Line> ordered;
    ordered.reserve(fragments.size());
    std::vector<bool> taken(fragments.size(), false);
    for (const std::vector<int>& row : group_rows(fragments, use))
        for (int index : row) {
            ordered.push_back(std::move(fragments[index].line));
            taken[index] = true;
        }
    // Vertical lines are not grouped into rows; they follow in their order.
    for (size_t i = 0; i < fragments.size(); ++i)
        if (!taken[i]) ordered.push_back(std::move(fragments[i].line));
    lines = std::move(ordered);
}

std::vector<Table> find_ruled_tables(const PageModel& page, const std::vector<Fragment>& fragments,
                                     std::vector<bool>& used) {
    tables::PageRules rules = tables::collect_page_rules(page);
    std::vector<Table> found = tables::grid_tables(rules, fragments, used);
    std::vector<Table> more = tables::horizontal_rule_tables(rules, found, fragments, used);
    std::move(more.begin(), more.end(), std::back_inserter(found));
    return found;
}

std::vector<Table> find_aligned_tables(const std::vector<Fragment>& fragments, std::vector<bool>& used,
                                       float body_size, std::vector<std::vector<int>>& code_rows) {
    std::vector<bool> free(used.size());
    for (size_t i = 0; i < used.size(); ++i) free[i] = !used[i];
    std::vector<std::vector<int>> rows = group_rows(fragments, free);
    const float min_gap = std::max(4.0f, body_size);
    std::vector<Table> tables;
    size_t start = 0;
    while (start < rows.size()) {
        AlignedRun run;
        size_t end = start;
        while (end < rows.size() && extend_run(run, rows[end], fragments, min_gap)) ++end;
        // Rows of one fragment belong to the table only between rows of cells.
        while (!run.rows.empty() && run.rows.back()->size() == 1) {
            run.rows.pop_back();
            run.members.pop_back();
            --end;
        }
        if (run.rows.size() >= 2 && is_code(run, fragments)) {
            for (const std::vector<int>* row : run.rows) code_rows.push_back(*row);
            start = end;
        } else if (looks_like_table(run, fragments)) {
            tables.push_back(make_aligned_table(run, fragments, used));
            start = end;
        } else {
            // A long run that is not a table (columns of prose) is passed
            // over whole, which keeps the search linear in the rows.
            start = run.rows.size() >= 3 ? end : start + 1;
        }
    }
    return tables;
}

}  // namespace foli
