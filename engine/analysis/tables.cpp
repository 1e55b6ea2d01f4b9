#include "analysis/tables.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

#include "analysis/lists.h"
#include "analysis/utf8.h"

namespace foli {
namespace {

// ------------------------------------------------------------ ruled tables

// An axis-aligned rule: `pos` is its y (horizontal) or x (vertical),
// `from`..`to` its extent along the other axis.
struct Rule {
    float pos, from, to;
};

constexpr float kSnap = 2.0f;        // rules this close are one rule; edges this close meet
constexpr float kThin = 4.0f;        // thicker than this, a rectangle is an area, not a rule
constexpr float kMinRule = 4.0f;     // shorter rules are decoration (bullets, ticks)
constexpr size_t kMaxRules = 2000;   // beyond this the page is a drawing, not a table

bool near_white(uint32_t rgb) {
    return ((rgb >> 16) & 0xFF) >= 0xFA && ((rgb >> 8) & 0xFF) >= 0xFA && (rgb & 0xFF) >= 0xFA;
}

void add_rule(const Rect& box, std::vector<Rule>& horizontal, std::vector<Rule>& vertical) {
    float width = box.x1 - box.x0, height = box.y1 - box.y0;
    if (width >= height && height <= kThin && width >= kMinRule)
        horizontal.push_back({box.center_y(), box.x0, box.x1});
    else if (height > width && width <= kThin && height >= kMinRule)
        vertical.push_back({box.center_x(), box.y0, box.y1});
}

// Stroked segments and thin rectangles are rules; a larger filled
// rectangle (a cell background) contributes its four edges. White fills
// and page-sized backgrounds say nothing about cells.
void collect_rules(const PageModel& page, std::vector<Rule>& horizontal, std::vector<Rule>& vertical) {
    const Rect bounds{0, 0, page.width, page.height};
    const float page_area = page.width * page.height;
    for (const VectorItem& item : page.vectors) {
        Rect box = item.box.intersected(bounds);
        if (box.x1 < box.x0 || box.y1 < box.y0) continue;
        bool thin = box.width() <= kThin || box.height() <= kThin;
        if (item.kind == VectorItem::Kind::Line || thin) {
            add_rule(box, horizontal, vertical);
            continue;
        }
        if (near_white(item.color) || box.area() > 0.5f * page_area) continue;
        add_rule({box.x0, box.y0, box.x1, box.y0}, horizontal, vertical);
        add_rule({box.x0, box.y1, box.x1, box.y1}, horizontal, vertical);
        add_rule({box.x0, box.y0, box.x0, box.y1}, horizontal, vertical);
        add_rule({box.x1, box.y0, box.x1, box.y1}, horizontal, vertical);
    }
}

// Joins rules on one line whose extents touch or overlap.
std::vector<Rule> merge_rules(std::vector<Rule> rules) {
    std::sort(rules.begin(), rules.end(), [](const Rule& a, const Rule& b) { return a.pos < b.pos; });
    std::vector<Rule> merged;
    size_t start = 0;
    while (start < rules.size()) {
        size_t end = start + 1;
        while (end < rules.size() && rules[end].pos - rules[end - 1].pos <= kSnap) ++end;
        std::vector<Rule> line(rules.begin() + static_cast<long>(start), rules.begin() + static_cast<long>(end));
        float pos = 0;
        for (const Rule& rule : line) pos += rule.pos;
        pos /= static_cast<float>(line.size());
        std::sort(line.begin(), line.end(), [](const Rule& a, const Rule& b) { return a.from < b.from; });
        Rule current{pos, line.front().from, line.front().to};
        for (const Rule& rule : line) {
            if (rule.from <= current.to + kSnap) {
                current.to = std::max(current.to, rule.to);
            } else {
                merged.push_back(current);
                current = {pos, rule.from, rule.to};
            }
        }
        merged.push_back(current);
        start = end;
    }
    return merged;
}

bool crosses(const Rule& horizontal, const Rule& vertical) {
    return vertical.pos >= horizontal.from - kSnap && vertical.pos <= horizontal.to + kSnap &&
           horizontal.pos >= vertical.from - kSnap && horizontal.pos <= vertical.to + kSnap;
}

struct DisjointSets {
    std::vector<int> parent;
    explicit DisjointSets(size_t n) : parent(n) { std::iota(parent.begin(), parent.end(), 0); }
    int find(int i) {
        while (parent[i] != i) i = parent[i] = parent[parent[i]];
        return i;
    }
    void unite(int a, int b) { parent[find(a)] = find(b); }
};

// A set of rules that touch one another.
struct Grid {
    std::vector<Rule> horizontal, vertical;
};

std::vector<Grid> connected_grids(const std::vector<Rule>& horizontal, const std::vector<Rule>& vertical) {
    const int h = static_cast<int>(horizontal.size());
    DisjointSets sets(horizontal.size() + vertical.size());
    // `vertical` is sorted by x: only rules within a horizontal rule's
    // extent can cross it.
    for (int i = 0; i < h; ++i) {
        auto first = std::lower_bound(vertical.begin(), vertical.end(), horizontal[i].from - kSnap,
                                      [](const Rule& rule, float x) { return rule.pos < x; });
        for (auto it = first; it != vertical.end() && it->pos <= horizontal[i].to + kSnap; ++it)
            if (crosses(horizontal[i], *it)) sets.unite(i, h + static_cast<int>(it - vertical.begin()));
    }
    std::vector<int> grid_of(horizontal.size() + vertical.size(), -1);
    std::vector<Grid> grids;
    auto grid_for = [&](int index) -> Grid& {
        int root = sets.find(index);
        if (grid_of[root] < 0) {
            grid_of[root] = static_cast<int>(grids.size());
            grids.emplace_back();
        }
        return grids[grid_of[root]];
    };
    for (int i = 0; i < h; ++i) grid_for(i).horizontal.push_back(horizontal[i]);
    for (size_t i = 0; i < vertical.size(); ++i) grid_for(h + static_cast<int>(i)).vertical.push_back(vertical[i]);
    return grids;
}

// Distinct positions of the rules, nearby ones taken as one.
std::vector<float> edges_of(const std::vector<Rule>& rules) {
    std::vector<float> positions;
    for (const Rule& rule : rules) positions.push_back(rule.pos);
    std::sort(positions.begin(), positions.end());
    std::vector<float> edges;
    for (float pos : positions)
        if (edges.empty() || pos - edges.back() > kSnap) edges.push_back(pos);
    return edges;
}

// Whether a rule at `pos` runs through `middle` of a cell's side.
bool ruled_at(const std::vector<Rule>& rules, float pos, float middle) {
    for (const Rule& rule : rules)
        if (std::abs(rule.pos - pos) <= kSnap && middle >= rule.from - kSnap && middle <= rule.to + kSnap) return true;
    return false;
}

int band_of(const std::vector<float>& edges, float value) {
    auto it = std::upper_bound(edges.begin(), edges.end(), value);
    int band = static_cast<int>(it - edges.begin()) - 1;
    return std::clamp(band, 0, static_cast<int>(edges.size()) - 2);
}

// Cells of the grid; where a rule between two grid cells is missing the
// cells are merged into one spanning cell. `owner` maps each grid cell to
// the index of the cell covering it.
std::vector<TableCell> grid_cells(const Grid& grid, const Table& table, std::vector<int>& owner) {
    const int rows = table.rows, columns = table.columns;
    const std::vector<float>& xs = table.column_edges;
    const std::vector<float>& ys = table.row_edges;
    auto open_right = [&](int r, int c) { return !ruled_at(grid.vertical, xs[c + 1], (ys[r] + ys[r + 1]) / 2); };
    auto open_below = [&](int r, int c) { return !ruled_at(grid.horizontal, ys[r + 1], (xs[c] + xs[c + 1]) / 2); };
    owner.assign(static_cast<size_t>(rows * columns), -1);
    std::vector<TableCell> cells;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            if (owner[r * columns + c] >= 0) continue;
            int span_c = 1;
            while (c + span_c < columns && open_right(r, c + span_c - 1) && owner[r * columns + c + span_c] < 0)
                ++span_c;
            int span_r = 1;
            while (r + span_r < rows) {
                bool open = true;
                for (int k = c; k < c + span_c && open; ++k)
                    open = open_below(r + span_r - 1, k) && owner[(r + span_r) * columns + k] < 0;
                if (!open) break;
                ++span_r;
            }
            TableCell cell;
            cell.row = r;
            cell.column = c;
            cell.row_span = span_r;
            cell.column_span = span_c;
            cell.box = {xs[c], ys[r], xs[c + span_c], ys[r + span_r]};
            for (int rr = r; rr < r + span_r; ++rr)
                for (int cc = c; cc < c + span_c; ++cc) owner[rr * columns + cc] = static_cast<int>(cells.size());
            cells.push_back(std::move(cell));
        }
    return cells;
}

// Splits the fragment's spans among the cells under their centres.
void distribute_spans(const Line& line, const Table& table, const std::vector<int>& owner,
                      std::vector<TableCell>& cells) {
    std::vector<std::pair<int, Line>> pieces;
    for (const Span& span : line.spans) {
        int r = band_of(table.row_edges, span.box.center_y());
        int c = band_of(table.column_edges, span.box.center_x());
        int cell = owner[r * table.columns + c];
        auto piece = std::find_if(pieces.begin(), pieces.end(), [cell](const auto& p) { return p.first == cell; });
        if (piece == pieces.end()) {
            pieces.emplace_back(cell, Line{});
            piece = pieces.end() - 1;
            piece->second.horizontal = line.horizontal;
        }
        piece->second.spans.push_back(span);
        piece->second.box = piece->second.box.united(span.box);
    }
    for (auto& [cell, piece] : pieces) {
        piece.box.y0 = std::min(piece.box.y0, line.box.y0);
        piece.box.y1 = std::max(piece.box.y1, line.box.y1);
        cells[cell].lines.push_back(std::move(piece));
    }
}

std::vector<int> fragments_inside(const Rect& box, const std::vector<Fragment>& fragments,
                                  const std::vector<bool>& used) {
    std::vector<int> inside;
    for (size_t i = 0; i < fragments.size(); ++i)
        if (!used[i] && box.contains(fragments[i].box().center_x(), fragments[i].box().center_y()))
            inside.push_back(static_cast<int>(i));
    return inside;
}

bool make_ruled_table(const Grid& grid, const std::vector<Fragment>& fragments, std::vector<bool>& used,
                      Table& table) {
    table.row_edges = edges_of(grid.horizontal);
    table.column_edges = edges_of(grid.vertical);
    table.rows = static_cast<int>(table.row_edges.size()) - 1;
    table.columns = static_cast<int>(table.column_edges.size()) - 1;
    // A single framed box, or a box split only one way, is a frame rather than a table.
    if (table.rows < 2 || table.columns < 2) return false;
    table.box = {table.column_edges.front(), table.row_edges.front(), table.column_edges.back(),
                 table.row_edges.back()};
    table.ruled = true;
    std::vector<int> inside = fragments_inside(table.box, fragments, used);
    if (inside.size() < 2) return false;  // an empty grid is a drawing
    std::vector<int> owner;
    table.cells = grid_cells(grid, table, owner);
    for (int index : inside) {
        distribute_spans(fragments[index].line, table, owner, table.cells);
        used[index] = true;
    }
    for (TableCell& cell : table.cells) order_lines(cell.lines);
    return true;
}

// ------------------------------------------------------ aligned-text tables

using Interval = std::pair<float, float>;

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
bool extend_run(AlignedRun& run, const std::vector<int>& row, const std::vector<Fragment>& fragments,
                float min_gap) {
    if (row.size() < 2) return false;
    if (!run.rows.empty()) {
        Rect last = row_box(fragments, *run.rows.back());
        Rect next = row_box(fragments, row);
        if (next.y0 - last.y1 > 1.5f * std::max(last.height(), next.height())) return false;
    }
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
    std::vector<Rule> horizontal, vertical;
    collect_rules(page, horizontal, vertical);
    horizontal = merge_rules(std::move(horizontal));
    vertical = merge_rules(std::move(vertical));
    std::vector<Table> tables;
    if (horizontal.size() < 3 || vertical.size() < 3) return tables;
    if (horizontal.size() > kMaxRules || vertical.size() > kMaxRules) return tables;
    for (const Grid& grid : connected_grids(horizontal, vertical)) {
        Table table;
        if (make_ruled_table(grid, fragments, used, table)) tables.push_back(std::move(table));
    }
    return tables;
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
