// Tables drawn with horizontal rules only: a top rule, often one under the
// header, and a bottom rule, all of one width (the style of scientific
// papers and of many reports). The rules give the table's extent and its
// header; the columns come from the alignment of the text between them,
// the rows from its baselines.
#include <algorithm>
#include <cmath>

#include "analysis/tables_internal.h"
#include "analysis/utf8.h"

namespace foli::tables {
namespace {

constexpr float kMinTableRule = 36.0f;  // shorter horizontal rules underline words
constexpr int kMaxTriesPerRule = 12;    // regions tried from one top rule
constexpr int kMaxTriesPerPage = 400;
constexpr int kMaxHeaderRowsAboveRule = 4;

// Rules of one width, top to bottom, with the longer rules that run
// across that width (a bottom rule drawn out into the margin).
struct RuleGroup {
    float from, to;
    std::vector<float> ys;
};

float extent_tolerance(float from, float to) { return std::max(3.0f, 0.02f * (to - from)); }

bool spans_group(const Rule& rule, const RuleGroup& group) {
    float tolerance = extent_tolerance(group.from, group.to);
    return rule.from <= group.from + tolerance && rule.to >= group.to - tolerance;
}

// Whether the area overlaps one of the tables, or touches one when
// `touching` is set.
bool overlaps_table(float x0, float y0, float x1, float y1, const std::vector<Table>& tables, bool touching) {
    const float slack = touching ? kSnap : -kSnap;
    for (const Table& table : tables) {
        const Rect& box = table.box;
        if (y0 <= box.y1 + slack && y1 >= box.y0 - slack && x0 < box.x1 && x1 > box.x0) return true;
    }
    return false;
}

// Groups of rules, narrowest first: a table's own rules are tried before
// page-wide rules that happen to run above and below it.
std::vector<RuleGroup> group_rules(const PageRules& rules, const std::vector<Table>& found) {
    std::vector<Rule> candidates;
    for (const Rule& rule : rules.horizontal)  // sorted by y
        if (rule.length() >= kMinTableRule && !overlaps_table(rule.from, rule.pos, rule.to, rule.pos, found, false))
            candidates.push_back(rule);
    std::vector<RuleGroup> groups;
    for (const Rule& rule : candidates) {
        bool known = std::any_of(groups.begin(), groups.end(), [&](const RuleGroup& g) {
            float tolerance = extent_tolerance(g.from, g.to);
            return std::abs(rule.from - g.from) <= tolerance && std::abs(rule.to - g.to) <= tolerance;
        });
        if (!known) groups.push_back({rule.from, rule.to, {}});
    }
    for (RuleGroup& group : groups) {
        int own = 0;
        const float tolerance = extent_tolerance(group.from, group.to);
        for (const Rule& rule : candidates) {
            if (!spans_group(rule, group) || (!group.ys.empty() && rule.pos - group.ys.back() <= kSnap)) continue;
            group.ys.push_back(rule.pos);
            own += rule.from >= group.from - tolerance && rule.to <= group.to + tolerance;
        }
        // A rule of its own width under longer ones is a rule under a
        // group header, not a table's frame.
        if (own < 2) group.ys.clear();
    }
    std::sort(groups.begin(), groups.end(),
              [](const RuleGroup& a, const RuleGroup& b) { return a.to - a.from < b.to - b.from; });
    return groups;
}

float median_length(std::vector<int> lengths) {
    if (lengths.empty()) return 0;
    std::nth_element(lengths.begin(), lengths.begin() + static_cast<long>(lengths.size() / 2), lengths.end());
    return static_cast<float>(lengths[lengths.size() / 2]);
}

class RegionTable {
public:
    RegionTable(const RuleGroup& group, size_t top, size_t bottom, const std::vector<Fragment>& fragments,
                const std::vector<bool>& used)
        : group_(group), top_(group.ys[top]), bottom_(group.ys[bottom]), fragments_(fragments), used_(used) {
        for (size_t k = top + 1; k < bottom; ++k) inner_rules_.push_back(group.ys[k]);
    }

    // Builds the table if the text between the rules is one.
    bool build(Table& table) {
        if (!collect()) return false;
        rows_ = group_rows(fragments_, member_);
        if (rows_.size() < 2) return false;
        header_end_ = header_boundary();
        std::vector<std::vector<int>> body(rows_.begin() + static_cast<long>(header_end_), rows_.end());
        const float size = text_size();
        const int allowance = body.size() >= 6 ? static_cast<int>(body.size() / 8) : 0;
        std::vector<std::vector<Rect>> boxes;
        for (const std::vector<int>& row : body) {
            boxes.emplace_back();
            for (int index : row) boxes.back().push_back(fragments_[index].box());
        }
        std::vector<Interval> gutters =
            column_gutters(boxes, group_.from - 1, group_.to + 1, std::max(3.0f, 0.6f * size), allowance);
        if (gutters.empty()) return false;
        edges_.push_back(group_.from);
        for (const Interval& gutter : gutters) edges_.push_back((gutter.first + gutter.second) / 2);
        edges_.push_back(group_.to);
        if (!tabular(body)) return false;
        make_table(table);
        return table.rows >= 2 && table.columns >= 2;
    }

    const std::vector<int>& members() const { return members_; }

private:
    // The unused fragments inside the region. Text that runs out of it
    // sideways means the rules frame something other than a table.
    bool collect() {
        member_.assign(fragments_.size(), false);
        const float slack = 2.0f;
        for (size_t i = 0; i < fragments_.size(); ++i) {
            if (used_[i]) continue;
            const Rect& box = fragments_[i].box();
            float y = box.center_y();
            if (y <= top_ || y >= bottom_) continue;
            bool within = box.center_x() >= group_.from - slack && box.center_x() <= group_.to + slack;
            if (!within) continue;
            float em = std::max(fragments_[i].size, 1.0f);
            if (box.x0 < group_.from - em || box.x1 > group_.to + em) return false;
            if (!fragments_[i].line.horizontal) continue;
            member_[i] = true;
            members_.push_back(static_cast<int>(i));
        }
        return members_.size() >= 4;
    }

    float text_size() const {
        SizeTally tally;
        for (int index : members_) tally.add(fragments_[index].line);
        return tally.dominant();
    }

    // Rows above the first inner rule head the table, when a few rows sit
    // above it and more below.
    size_t header_boundary() const {
        if (inner_rules_.empty()) return 0;
        float rule = inner_rules_.front();
        size_t above = 0;
        while (above < rows_.size() && row_box(rows_[above]).center_y() < rule) ++above;
        if (above == 0 || above > static_cast<size_t>(kMaxHeaderRowsAboveRule) || above + 1 >= rows_.size()) return 0;
        return above;
    }

    Rect row_box(const std::vector<int>& row) const {
        Rect box;
        for (int index : row) box = box.united(fragments_[index].box());
        return box;
    }

    // Rows of two or more cells, and a column of short cells: columns of
    // prose between two rules are no table.
    bool tabular(const std::vector<std::vector<int>>& body) const {
        const int columns = static_cast<int>(edges_.size()) - 1;
        int multi = 0;
        std::vector<std::vector<int>> lengths(static_cast<size_t>(columns));
        for (const std::vector<int>& row : body) {
            std::vector<bool> filled(static_cast<size_t>(columns), false);
            for (int index : row) {
                auto [first, last] = columns_covered(edges_, fragments_[index].box());
                filled[first] = true;
                if (first == last) lengths[first].push_back(count_code_points(fragments_[index].line.text()));
            }
            multi += std::count(filled.begin(), filled.end(), true) >= 2;
        }
        if (multi < 2 || multi * 5 < static_cast<int>(body.size()) * 2) return false;
        for (const std::vector<int>& column : lengths)
            if (!column.empty() && median_length(column) <= 24) return true;
        return false;
    }

    bool rule_between(float y0, float y1) const {
        for (float y : inner_rules_)
            if (y > y0 && y < y1) return true;
        return false;
    }

    struct Placed {
        int fragment, first, last;
    };

    std::vector<Placed> place_row(const std::vector<int>& row) const {
        std::vector<Placed> placed;
        for (int index : row) {
            auto [first, last] = columns_covered(edges_, fragments_[index].box());
            placed.push_back({index, first, last});
        }
        return placed;
    }

    // A text row that only continues wrapped text of the row above it.
    bool continues(const std::vector<Placed>& above, const std::vector<Placed>& row) const {
        for (const Placed& cell : row) {
            const Placed* over = nullptr;
            for (const Placed& candidate : above)
                if (candidate.first <= cell.first && candidate.last >= cell.first) over = &candidate;
            if (over == nullptr) return false;
            float width = edges_[over->last + 1] - edges_[over->first];
            if (!wraps_onto(fragments_[over->fragment].line, fragments_[cell.fragment].line, width)) return false;
        }
        return true;
    }

    void make_table(Table& table) const {
        table.ruled = true;
        table.columns = static_cast<int>(edges_.size()) - 1;
        table.column_edges = edges_;
        table.row_edges.push_back(top_);
        std::vector<std::vector<Placed>> rows;  // table rows, each the text rows' cells
        int header_rows = 0;
        std::vector<Placed> previous;
        for (size_t r = 0; r < rows_.size(); ++r) {
            std::vector<Placed> placed = place_row(rows_[r]);
            bool joined = r > 0 && r != header_end_ &&
                          !rule_between(row_box(rows_[r - 1]).center_y(), row_box(rows_[r]).center_y()) &&
                          continues(previous, placed);
            previous = placed;
            if (joined) {
                rows.back().insert(rows.back().end(), placed.begin(), placed.end());
                continue;
            }
            if (!rows.empty())
                table.row_edges.push_back((row_box(rows_[r - 1]).y1 + row_box(rows_[r]).y0) / 2);
            rows.push_back(std::move(placed));
            if (r < header_end_) header_rows = static_cast<int>(rows.size());
        }
        table.row_edges.push_back(bottom_);
        table.rows = static_cast<int>(rows.size());
        for (int r = 0; r < table.rows; ++r) add_row_cells(table, r, rows[r]);
        drop_thin_empty_bands(table);
        table.header_rows = header_rows > 0 ? header_rows : count_header_rows(table);
        span_group_headers(table);
        finish_table(table);
    }

    // One cell per column of row `r`; a fragment over several free columns
    // spans them, one over taken columns joins the cell under its centre.
    void add_row_cells(Table& table, int r, const std::vector<Placed>& placed) const {
        const int columns = table.columns;
        std::vector<int> owner(static_cast<size_t>(columns), -1);
        std::vector<TableCell> cells;
        auto new_cell = [&](int first, int last) {
            TableCell cell;
            cell.row = r;
            cell.column = first;
            cell.column_span = last - first + 1;
            cells.push_back(std::move(cell));
            for (int c = first; c <= last; ++c) owner[c] = static_cast<int>(cells.size()) - 1;
            return static_cast<int>(cells.size()) - 1;
        };
        std::vector<Placed> sorted = placed;
        // Single-column fragments first, so that a wide one yields to them.
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const Placed& a, const Placed& b) { return a.last - a.first < b.last - b.first; });
        for (const Placed& p : sorted) {
            bool free = true;
            for (int c = p.first; c <= p.last; ++c) free = free && owner[c] < 0;
            int target;
            if (free) {
                target = new_cell(p.first, p.last);
            } else {
                int centre = p.first == p.last ? p.first
                                               : band_of(edges_, fragments_[p.fragment].box().center_x());
                target = owner[centre] >= 0 ? owner[centre] : new_cell(centre, centre);
            }
            cells[target].lines.push_back(fragments_[p.fragment].line);
        }
        for (int c = 0; c < columns; ++c)
            if (owner[c] < 0) new_cell(c, c);
        for (TableCell& cell : cells) table.cells.push_back(std::move(cell));
    }

    const RuleGroup& group_;
    float top_, bottom_;
    std::vector<float> inner_rules_;
    const std::vector<Fragment>& fragments_;
    const std::vector<bool>& used_;
    std::vector<bool> member_;
    std::vector<int> members_;
    std::vector<std::vector<int>> rows_;
    size_t header_end_ = 0;
    std::vector<float> edges_;
};

}  // namespace

// Whether the rule at `y` is the top of one of the grids: a table's frame
// is not the bottom of a table above it (the text over a grid is its
// caption).
bool tops_a_grid(float x0, float x1, float y, const std::vector<Table>& grids) {
    for (const Table& grid : grids)
        if (std::abs(grid.box.y0 - y) <= kSnap && x0 < grid.box.x1 && x1 > grid.box.x0) return true;
    return false;
}

// A vertical rule inside the region belongs to something else drawn there
// (another table ruled by columns, a chart): the rules around it are no
// frame of a table of their own.
bool crossed_by_vertical_rules(const PageRules& rules, float x0, float y0, float x1, float y1) {
    constexpr float min_length = 20.0f;
    for (const Rule& rule : rules.vertical)
        if (rule.pos > x0 + kSnap && rule.pos < x1 - kSnap && std::min(rule.to, y1) - std::max(rule.from, y0) >= min_length)
            return true;
    return false;
}

std::vector<Table> horizontal_rule_tables(const PageRules& rules, const std::vector<Table>& found,
                                          const std::vector<Fragment>& fragments, std::vector<bool>& used) {
    std::vector<Table> tables;
    if (rules.horizontal.size() > kMaxRules) return tables;
    int tries = 0;
    std::vector<Table> taken = found;
    for (const RuleGroup& group : group_rules(rules, found)) {
        size_t top = 0;
        while (top + 1 < group.ys.size() && tries < kMaxTriesPerPage) {
            bool made = false;
            int tried = 0;
            // The cheap tests first; only regions that get built count.
            for (size_t bottom = group.ys.size() - 1; bottom > top && tried < kMaxTriesPerRule; --bottom) {
                if (overlaps_table(group.from, group.ys[top], group.to, group.ys[bottom], taken, false)) continue;
                if (crossed_by_vertical_rules(rules, group.from, group.ys[top], group.to, group.ys[bottom])) continue;
                if (tops_a_grid(group.from, group.to, group.ys[bottom], found)) continue;
                ++tries;
                ++tried;
                RegionTable region(group, top, bottom, fragments, used);
                Table table;
                if (!region.build(table)) continue;
                for (int index : region.members()) used[index] = true;
                taken.push_back(table);
                tables.push_back(std::move(table));
                top = bottom;
                made = true;
                break;
            }
            if (!made) ++top;
        }
    }
    return tables;
}

}  // namespace foli::tables
