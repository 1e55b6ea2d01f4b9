// Tables drawn as grids: the page's rules, joined into sets of crossing
// rules, each set a grid of cells. Where a rule between two grid cells is
// missing the cells merge into one spanning cell; the refinements then
// split what the drawing left unsplit (rows without rules between them).
#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

#include "analysis/tables_internal.h"

namespace foli::tables {
namespace {

constexpr float kThin = 4.0f;     // thicker than this, a rectangle is an area, not a rule
constexpr float kMinRule = 4.0f;  // shorter rules are decoration (bullets, ticks)
// Above this many filled areas the test for shading painted twice (which
// compares every pair) is skipped.
constexpr size_t kMaxFillsCompared = 3000;

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

bool inside(const Rect& inner, const Rect& outer) {
    constexpr float slack = 0.5f;
    return inner.x0 >= outer.x0 - slack && inner.y0 >= outer.y0 - slack && inner.x1 <= outer.x1 + slack &&
           inner.y1 <= outer.y1 + slack;
}

// Word processors paint a cell's shading twice, once for the cell and once,
// inset, for its text: the inner area's edges are no cell boundaries.
std::vector<bool> repainted_fills(const std::vector<const VectorItem*>& fills) {
    std::vector<bool> repainted(fills.size(), false);
    if (fills.size() > kMaxFillsCompared) return repainted;
    for (size_t i = 0; i < fills.size(); ++i)
        for (size_t j = 0; j < fills.size() && !repainted[i]; ++j)
            repainted[i] = i != j && fills[j]->color == fills[i]->color && fills[j]->box.area() > fills[i]->box.area() &&
                           inside(fills[i]->box, fills[j]->box);
    return repainted;
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

// Whether `lower` continues `upper` a few points below it with the same
// column rules: one table drawn in pieces (a header block, then a block
// per section).
bool stacked(const Grid& upper, const Grid& lower) {
    constexpr float max_gap = 8.0f;
    std::vector<float> top_edges = edges_of(upper.horizontal), bottom_edges = edges_of(lower.horizontal);
    if (top_edges.empty() || bottom_edges.empty()) return false;
    float gap = bottom_edges.front() - top_edges.back();
    if (gap < -kSnap || gap > max_gap) return false;
    std::vector<float> a = edges_of(upper.vertical), b = edges_of(lower.vertical);
    if (a.size() != b.size() || a.size() < 2) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::abs(a[i] - b[i]) > 2 * kSnap) return false;
    return true;
}

std::vector<Grid> stack_grids(std::vector<Grid> grids) {
    auto top = [](const Grid& grid) { return grid.horizontal.empty() ? 0.0f : grid.horizontal.front().pos; };
    for (Grid& grid : grids)
        std::sort(grid.horizontal.begin(), grid.horizontal.end(), [](const Rule& a, const Rule& b) { return a.pos < b.pos; });
    std::sort(grids.begin(), grids.end(), [&](const Grid& a, const Grid& b) { return top(a) < top(b); });
    for (size_t i = 0; i < grids.size(); ++i)
        for (size_t j = i + 1; j < grids.size();) {
            if (!stacked(grids[i], grids[j])) {
                ++j;
                continue;
            }
            grids[i].horizontal.insert(grids[i].horizontal.end(), grids[j].horizontal.begin(), grids[j].horizontal.end());
            grids[i].vertical.insert(grids[i].vertical.end(), grids[j].vertical.begin(), grids[j].vertical.end());
            std::sort(grids[i].horizontal.begin(), grids[i].horizontal.end(),
                      [](const Rule& a, const Rule& b) { return a.pos < b.pos; });
            grids.erase(grids.begin() + static_cast<long>(j));
            j = i + 1;
        }
    return grids;
}

// Whether a rule at `pos` runs through `middle` of a cell's side.
bool ruled_at(const std::vector<Rule>& rules, float pos, float middle) {
    for (const Rule& rule : rules)
        if (std::abs(rule.pos - pos) <= kSnap && middle >= rule.from - kSnap && middle <= rule.to + kSnap) return true;
    return false;
}

// Cells of the grid; where a rule between two grid cells is missing the
// cells are merged into one spanning cell.
std::vector<TableCell> grid_cells(const Grid& grid, const Table& table) {
    const int rows = table.rows, columns = table.columns;
    const std::vector<float>& xs = table.column_edges;
    const std::vector<float>& ys = table.row_edges;
    auto open_right = [&](int r, int c) { return !ruled_at(grid.vertical, xs[c + 1], (ys[r] + ys[r + 1]) / 2); };
    auto open_below = [&](int r, int c) { return !ruled_at(grid.horizontal, ys[r + 1], (xs[c] + xs[c + 1]) / 2); };
    std::vector<int> owner(static_cast<size_t>(rows * columns), -1);
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
            for (int rr = r; rr < r + span_r; ++rr)
                for (int cc = c; cc < c + span_c; ++cc) owner[rr * columns + cc] = static_cast<int>(cells.size());
            cells.push_back(std::move(cell));
        }
    return cells;
}

// Splits the fragment's spans among the cells under their centres.
void distribute_spans(const Line& line, Table& table, const std::vector<int>& owner) {
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
        table.cells[cell].lines.push_back(std::move(piece));
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

// Charts: gridlines and bars make large grids with a label here and there.
bool mostly_empty(const Table& table) {
    constexpr int min_positions = 16;
    const int positions = table.rows * table.columns;
    if (positions < min_positions) return false;
    int filled = 0;
    for (const TableCell& cell : table.cells) filled += !cell.lines.empty();
    return filled * 20 < positions * 3;
}

int columns_with_text(const Table& table) {
    std::vector<bool> filled(static_cast<size_t>(table.columns), false);
    for (const TableCell& cell : table.cells)
        if (!cell.lines.empty()) filled[static_cast<size_t>(cell.column)] = true;
    return static_cast<int>(std::count(filled.begin(), filled.end(), true));
}

bool make_grid_table(const Grid& grid, const std::vector<Fragment>& fragments, std::vector<bool>& used,
                     Table& table) {
    table.row_edges = edges_of(grid.horizontal);
    table.column_edges = edges_of(grid.vertical);
    table.rows = static_cast<int>(table.row_edges.size()) - 1;
    table.columns = static_cast<int>(table.column_edges.size()) - 1;
    // A single framed box is a frame rather than a table; a box split only
    // one way may still hold rows or columns of text without rules.
    if (table.rows < 1 || table.columns < 1 || (table.rows == 1 && table.columns == 1)) return false;
    table.box = {table.column_edges.front(), table.row_edges.front(), table.column_edges.back(),
                 table.row_edges.back()};
    table.ruled = true;
    std::vector<int> inside = fragments_inside(table.box, fragments, used);
    if (inside.size() < 2) return false;  // an empty grid is a drawing
    const bool single_row = table.rows == 1;
    table.cells = grid_cells(grid, table);
    std::vector<int> owner = cell_owners(table);
    for (int index : inside) distribute_spans(fragments[index].line, table, owner);
    unmerge_cells_by_columns(table);
    split_rows_by_baselines(table);
    split_columns_by_gutters(table);
    drop_thin_empty_bands(table);
    // A row of boxes side by side is a table only when its text falls into
    // rows of its own.
    if (table.rows < (single_row ? 3 : 2) || table.columns < 2 || columns_with_text(table) < 2) return false;
    if (mostly_empty(table)) return false;
    table.header_rows = count_header_rows(table);
    fit_header_spans(table);
    span_group_headers(table);
    finish_table(table);
    for (int index : inside) used[index] = true;
    return true;
}

}  // namespace

PageRules collect_page_rules(const PageModel& page) {
    PageRules rules;
    const Rect bounds{0, 0, page.width, page.height};
    const float page_area = page.width * page.height;
    std::vector<const VectorItem*> fills;
    for (const VectorItem& item : page.vectors) {
        Rect box = item.box.intersected(bounds);
        if (box.x1 < box.x0 || box.y1 < box.y0) continue;
        bool thin = box.width() <= kThin || box.height() <= kThin;
        if (item.kind == VectorItem::Kind::Line || thin) {
            add_rule(box, rules.horizontal, rules.vertical);
            continue;
        }
        if (near_white(item.color) || box.area() > 0.5f * page_area) continue;
        fills.push_back(&item);
    }
    std::vector<bool> repainted = repainted_fills(fills);
    for (size_t i = 0; i < fills.size(); ++i) {
        if (repainted[i]) continue;
        Rect box = fills[i]->box.intersected(bounds);
        add_rule({box.x0, box.y0, box.x1, box.y0}, rules.horizontal, rules.vertical);
        add_rule({box.x0, box.y1, box.x1, box.y1}, rules.horizontal, rules.vertical);
        add_rule({box.x0, box.y0, box.x0, box.y1}, rules.horizontal, rules.vertical);
        add_rule({box.x1, box.y0, box.x1, box.y1}, rules.horizontal, rules.vertical);
    }
    rules.horizontal = merge_rules(std::move(rules.horizontal));
    rules.vertical = merge_rules(std::move(rules.vertical));
    return rules;
}

std::vector<Table> grid_tables(const PageRules& rules, const std::vector<Fragment>& fragments,
                               std::vector<bool>& used) {
    std::vector<Table> tables;
    if (rules.horizontal.size() < 2 || rules.vertical.size() < 2) return tables;
    if (rules.horizontal.size() > kMaxRules || rules.vertical.size() > kMaxRules) return tables;
    for (const Grid& grid : stack_grids(connected_grids(rules.horizontal, rules.vertical))) {
        Table table;
        if (make_grid_table(grid, fragments, used, table)) tables.push_back(std::move(table));
    }
    return tables;
}

}  // namespace foli::tables
