#include "writers/office/table_looks.h"

#include <algorithm>
#include <cmath>

namespace foli::office {
namespace {

// A rule: `pos` is its y (horizontal) or x (vertical), `from`..`to` its
// extent along the other axis.
struct Segment {
    float pos, from, to, width;
    uint32_t color;
};

struct Fill {
    Rect box;
    uint32_t color;
};

constexpr float kThin = 4.0f;       // a filled rectangle this thin is a rule
constexpr float kMinRule = 4.0f;    // shorter ones are ticks and bullets
constexpr float kReach = 6.0f;      // how far from a cell's side its rule may lie
constexpr float kCovered = 0.6f;    // share of the side a rule must run along
constexpr float kFilled = 0.6f;     // share of the cell a fill must cover
constexpr float kSameWidth = 0.3f;  // rules this close in width look alike
constexpr float kMinSlack = 4.0f;   // less room than this around the text: it fills the cell
constexpr float kLinedUp = 2.0f;    // line ends this close are set to one edge

struct PageGraphics {
    std::vector<Segment> horizontal, vertical;
    std::vector<Fill> fills;  // in painting order
};

bool near_white(uint32_t rgb) {
    return ((rgb >> 16) & 0xFF) >= 0xF8 && ((rgb >> 8) & 0xFF) >= 0xF8 && (rgb & 0xFF) >= 0xF8;
}

void add_segment(PageGraphics& graphics, const Rect& box, float width, uint32_t color) {
    if (box.width() >= box.height()) {
        if (box.width() >= kMinRule) graphics.horizontal.push_back({box.center_y(), box.x0, box.x1, width, color});
    } else if (box.height() >= kMinRule) {
        graphics.vertical.push_back({box.center_x(), box.y0, box.y1, width, color});
    }
}

// The rules and fills of the page near the table.
PageGraphics graphics_near(const Table& table, const PageModel& page) {
    PageGraphics graphics;
    Rect area{table.box.x0 - kReach, table.box.y0 - kReach, table.box.x1 + kReach, table.box.y1 + kReach};
    float page_area = page.width * page.height;
    for (const VectorItem& item : page.vectors) {
        const Rect& box = item.box;
        if (box.x1 < area.x0 || box.x0 > area.x1 || box.y1 < area.y0 || box.y0 > area.y1) continue;
        float thickness = std::min(box.width(), box.height());
        if (item.kind == VectorItem::Kind::Line) {
            add_segment(graphics, box, item.width > 0 ? item.width : thickness, item.color);
        } else if (thickness <= kThin) {
            add_segment(graphics, box, std::max(thickness, 0.25f), item.color);
        } else if (box.area() <= 0.5f * page_area) {
            graphics.fills.push_back({box, item.color});
        }
    }
    return graphics;
}

// The rule along a cell's side at `pos`, from `from` to `to`: drawn when
// rules within `reach` of it run along most of its length.
CellRule rule_along(const std::vector<Segment>& segments, float pos, float from, float to, float reach) {
    CellRule rule;
    float length = to - from;
    if (length <= 0) return rule;
    std::vector<std::pair<float, float>> covered;
    float longest = 0;
    for (const Segment& segment : segments) {
        if (std::fabs(segment.pos - pos) > reach + segment.width / 2) continue;
        float a = std::max(from, segment.from), b = std::min(to, segment.to);
        if (b <= a) continue;
        covered.emplace_back(a, b);
        rule.width = std::max(rule.width, segment.width);
        if (b - a > longest) {
            longest = b - a;
            rule.color = segment.color;
        }
    }
    std::sort(covered.begin(), covered.end());
    float total = 0, end = from;
    for (const auto& [a, b] : covered) {
        float start = std::max(a, end);
        if (b > start) total += b - start;
        end = std::max(end, b);
    }
    rule.drawn = total >= kCovered * length;
    return rule;
}

// How far from an edge a rule may lie and still be that edge's: a little
// less than half the rows (columns) on either side, so that it cannot be
// the next edge's.
float reach_at(const std::vector<float>& edges, size_t index) {
    float reach = kReach;
    if (index > 0) reach = std::min(reach, 0.45f * (edges[index] - edges[index - 1]));
    if (index + 1 < edges.size()) reach = std::min(reach, 0.45f * (edges[index + 1] - edges[index]));
    return std::max(reach, 1.5f);
}

// The colour the cell is filled with: the last fill painted over most of
// it; none when that is white.
bool fill_of(const std::vector<Fill>& fills, const Rect& cell, uint32_t& color) {
    float area = cell.area();
    if (area <= 0) return false;
    for (auto it = fills.rbegin(); it != fills.rend(); ++it) {
        if (it->box.intersected(cell).area() < kFilled * area) continue;
        if (near_white(it->color)) return false;
        color = it->color;
        return true;
    }
    return false;
}

// Where lines sit between `low` and `high` along one axis, given each
// line's extent on it: at the start unless the text clearly keeps to the
// end or the middle. Text that fills the cell, or lines that start
// together, are at the start.
template <typename Extent>
CellAlign placement(const std::vector<Line>& lines, float low, float high, Extent extent) {
    if (lines.empty()) return CellAlign::Start;
    float first = high, last = low;
    float start_spread = 0, end_spread = 0, middle_spread = 0;
    std::pair<float, float> reference = extent(lines.front().box);
    for (const Line& line : lines) {
        auto [a, b] = extent(line.box);
        first = std::min(first, a);
        last = std::max(last, b);
        start_spread = std::max(start_spread, std::fabs(a - reference.first));
        end_spread = std::max(end_spread, std::fabs(b - reference.second));
        middle_spread = std::max(middle_spread, std::fabs((a + b) / 2 - (reference.first + reference.second) / 2));
    }
    float before = first - low, after = high - last, slack = before + after;
    if (slack < kMinSlack) return CellAlign::Start;
    if (lines.size() > 1 && start_spread <= kLinedUp && end_spread > kLinedUp) return CellAlign::Start;
    if (after <= 0.25f * slack && end_spread <= kLinedUp) return CellAlign::End;
    if (std::fabs(before - after) <= 0.15f * slack + kLinedUp && middle_spread <= kLinedUp) return CellAlign::Centre;
    return CellAlign::Start;
}

// Where a table set without rules keeps the text of each column: flush
// right when the lines of its cells end together and start apart,
// centred when their middles line up instead; its cells' edges lie
// halfway between the columns, so they cannot tell.
std::vector<CellAlign> column_placements(const Table& table) {
    std::vector<CellAlign> placements(static_cast<size_t>(std::max(table.columns, 0)), CellAlign::Start);
    for (size_t column = 0; column < placements.size(); ++column) {
        float min_start = 1e9f, max_start = -1e9f, min_end = 1e9f, max_end = -1e9f, min_mid = 1e9f, max_mid = -1e9f;
        int cells = 0;
        for (const TableCell& cell : table.cells) {
            if (cell.column != static_cast<int>(column) || cell.column_span > 1 || cell.lines.empty()) continue;
            ++cells;
            for (const Line& line : cell.lines) {
                min_start = std::min(min_start, line.box.x0), max_start = std::max(max_start, line.box.x0);
                min_end = std::min(min_end, line.box.x1), max_end = std::max(max_end, line.box.x1);
                min_mid = std::min(min_mid, line.box.center_x()), max_mid = std::max(max_mid, line.box.center_x());
            }
        }
        if (cells < 2 || max_start - min_start <= kLinedUp) continue;
        if (max_end - min_end <= kLinedUp)
            placements[column] = CellAlign::End;
        else if (max_mid - min_mid <= kLinedUp)
            placements[column] = CellAlign::Centre;
    }
    return placements;
}

bool alike(const CellRule& a, const CellRule& b) {
    return a.drawn && b.drawn && std::fabs(a.width - b.width) <= kSameWidth && a.color == b.color;
}

}  // namespace

TableLooks table_looks(const Table& table, const PageModel& page) {
    TableLooks looks;
    size_t rows = static_cast<size_t>(std::max(table.rows, 0)), columns = static_cast<size_t>(std::max(table.columns, 0));
    if (table.row_edges.size() != rows + 1 || table.column_edges.size() != columns + 1) {
        looks.cells.resize(table.cells.size());
        return looks;
    }
    PageGraphics graphics = graphics_near(table, page);
    const std::vector<float>& xs = table.column_edges;
    const std::vector<float>& ys = table.row_edges;
    looks.full_grid = !table.cells.empty();
    std::vector<CellAlign> columns_across = column_placements(table);
    for (const TableCell& cell : table.cells) {
        CellLook look;
        size_t r0 = static_cast<size_t>(std::clamp(cell.row, 0, static_cast<int>(rows) - 1));
        size_t c0 = static_cast<size_t>(std::clamp(cell.column, 0, static_cast<int>(columns) - 1));
        size_t r1 = std::min(rows, r0 + static_cast<size_t>(std::max(cell.row_span, 1)));
        size_t c1 = std::min(columns, c0 + static_cast<size_t>(std::max(cell.column_span, 1)));
        look.top = rule_along(graphics.horizontal, ys[r0], xs[c0], xs[c1], reach_at(ys, r0));
        look.bottom = rule_along(graphics.horizontal, ys[r1], xs[c0], xs[c1], reach_at(ys, r1));
        look.left = rule_along(graphics.vertical, xs[c0], ys[r0], ys[r1], reach_at(xs, c0));
        look.right = rule_along(graphics.vertical, xs[c1], ys[r0], ys[r1], reach_at(xs, c1));
        look.filled = fill_of(graphics.fills, {xs[c0], ys[r0], xs[c1], ys[r1]}, look.fill);
        // A ruled cell's edges are its rules: the text sits somewhere
        // between them. A cell of an unruled column sits as its column.
        if (table.ruled || c1 - c0 > 1)
            look.across = placement(cell.lines, xs[c0], xs[c1], [](const Rect& box) { return std::make_pair(box.x0, box.x1); });
        else
            look.across = columns_across[c0];
        if (table.ruled) {
            // Down the cell the lines are one block: its top and bottom.
            Rect text;
            for (const Line& line : cell.lines) text = text.united(line.box);
            std::vector<Line> block(text.empty() ? 0 : 1);
            if (!block.empty()) block[0].box = text;
            look.down = placement(block, ys[r0], ys[r1], [](const Rect& box) { return std::make_pair(box.y0, box.y1); });
        }
        for (const CellRule* side : {&look.top, &look.left, &look.bottom, &look.right}) {
            looks.any_rule = looks.any_rule || side->drawn;
            if (!looks.grid_rule.drawn) looks.grid_rule = *side;
            looks.full_grid = looks.full_grid && alike(*side, looks.grid_rule);
        }
        looks.cells.push_back(look);
    }
    // A grid with holes (positions no cell covers) has sides nobody rules.
    size_t covered = 0;
    for (const TableCell& cell : table.cells)
        covered += static_cast<size_t>(std::max(cell.row_span, 1)) * static_cast<size_t>(std::max(cell.column_span, 1));
    if (covered < rows * columns) looks.full_grid = false;
    return looks;
}

}  // namespace foli::office
