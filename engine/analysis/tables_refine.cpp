// What every found table goes through, whichever stage found it: rows
// split by baselines where nothing ruled them apart, spanning cells that
// hold separate columns split, decoration bands dropped, header rows and
// group headers found, and the cells put in order.
#include <algorithm>
#include <cmath>

#include "analysis/tables.h"
#include "analysis/tables_internal.h"
#include "analysis/utf8.h"

namespace foli::tables {
namespace {

// Thinner than this and empty, a column or row is the inset of a shading
// or the gap of a double rule.
constexpr float kThinColumn = 6.0f;
constexpr float kThinRow = 4.0f;
// A group header spans at most this many columns.
constexpr int kMaxGroupSpan = 8;
constexpr int kMaxHeaderRows = 3;

Rect text_box(const TableCell& cell) {
    Rect box;
    for (const Line& line : cell.lines) box = box.united(line.box);
    return box;
}

bool has_text(const TableCell& cell) { return !cell.lines.empty(); }

std::string cell_text_of(const TableCell& cell) {
    std::string text;
    for (const Line& line : cell.lines) {
        if (!text.empty()) text += ' ';
        text += line.text();
    }
    return text;
}

// ------------------------------------------------------ rows by baselines

struct BandLine {
    int cell;
    const Line* line;
};

// Lines of one row band grouped into text rows: lines that share a baseline.
std::vector<std::vector<BandLine>> baseline_clusters(const Table& table, const std::vector<int>& band_cells) {
    std::vector<BandLine> lines;
    for (int index : band_cells)
        for (const Line& line : table.cells[index].lines)
            if (line.horizontal) lines.push_back({index, &line});
    std::sort(lines.begin(), lines.end(),
              [](const BandLine& a, const BandLine& b) { return a.line->box.center_y() < b.line->box.center_y(); });
    std::vector<std::vector<BandLine>> clusters;
    for (const BandLine& line : lines) {
        if (clusters.empty() || !on_same_row(clusters.back().front().line->box, line.line->box)) clusters.emplace_back();
        clusters.back().push_back(line);
    }
    return clusters;
}

bool all_text(const std::vector<std::vector<BandLine>>& clusters) {
    for (const auto& cluster : clusters)
        for (const BandLine& entry : cluster)
            if (looks_numeric(entry.line->text())) return false;
    return true;
}

// Positions inside one row band where a new row begins: before every text
// row in which two or more cells go on with a line that does not continue
// wrapped text. Empty when the band stays one row. In the first
// row, and in the rows of labels under it that head columns of numbers,
// lines of words alone are a header wrapped over several lines ("Summary
// by / Month"), unless the cells multiply from one line to the next,
// which makes group labels over the labels of their columns.
std::vector<float> baseline_cuts(const Table& table, const std::vector<int>& band_cells, bool heading) {
    int multi_line = 0;
    for (int index : band_cells) multi_line += table.cells[index].lines.size() >= 2;
    if (multi_line < 2) return {};
    std::vector<std::vector<BandLine>> clusters = baseline_clusters(table, band_cells);
    if (clusters.size() < 2) return {};
    const bool wrapped_header = heading && all_text(clusters);
    std::vector<const Line*> last_line(table.cells.size(), nullptr);
    std::vector<size_t> group_starts{0};
    int previous_cells = 0;
    for (size_t k = 0; k < clusters.size(); ++k) {
        // A vote for a new row is a cell's line that follows another of
        // its lines without continuing it. A cell's first line says
        // nothing: cells are often centred beside the wrapped text of
        // their neighbours.
        int votes = 0;
        std::vector<int> seen;
        for (const BandLine& entry : clusters[k]) {
            if (std::find(seen.begin(), seen.end(), entry.cell) != seen.end()) continue;
            seen.push_back(entry.cell);
            const Line* previous = last_line[entry.cell];
            float width = table.cells[entry.cell].box.width();
            votes += previous != nullptr && !wraps_onto(*previous, *entry.line, width);
        }
        const int cells = static_cast<int>(seen.size());
        bool cut = votes >= 2;
        if (wrapped_header) cut = cells >= 3 && 2 * cells >= 3 * previous_cells;
        if (k > 0 && cut) group_starts.push_back(k);
        previous_cells = cells;
        for (const BandLine& entry : clusters[k]) last_line[entry.cell] = entry.line;
    }
    std::vector<float> cuts;
    for (size_t g = 1; g < group_starts.size(); ++g) {
        float bottom = -1e30f, top = 1e30f;
        for (size_t k = group_starts[g - 1]; k < group_starts[g]; ++k)
            for (const BandLine& entry : clusters[k]) bottom = std::max(bottom, entry.line->box.y1);
        for (const BandLine& entry : clusters[group_starts[g]]) top = std::min(top, entry.line->box.y0);
        float cut = (bottom + top) / 2;
        if (bottom > top) {
            float above = clusters[group_starts[g] - 1].front().line->box.center_y();
            float below = clusters[group_starts[g]].front().line->box.center_y();
            cut = (above + below) / 2;
        }
        if (cuts.empty() || cut > cuts.back()) cuts.push_back(cut);
    }
    return cuts;
}

// Whether the band's text cells stand over columns of numbers: labels of
// a header's second or third row.
bool heads_numbers(const Table& table, const std::vector<int>& band_cells, int row) {
    bool any = false;
    for (int index : band_cells) {
        const TableCell& head = table.cells[index];
        if (!has_text(head)) continue;
        int filled = 0, numeric = 0;
        for (const TableCell& cell : table.cells) {
            if (cell.row <= row || cell.column != head.column || cell.column_span != 1 || !has_text(cell)) continue;
            ++filled;
            for (const Line& line : cell.lines) numeric += looks_numeric(line.text());
        }
        int lines = 0;
        for (const TableCell& cell : table.cells)
            if (cell.row > row && cell.column == head.column && cell.column_span == 1) lines += static_cast<int>(cell.lines.size());
        if (filled < 2 || numeric * 5 < lines * 3) return false;
        any = true;
    }
    return any;
}

// A single text line set in the middle of a band that splits into three
// or more rows labels all of them ("JAL Group" beside its routes).
bool labels_whole_band(const TableCell& cell, const std::vector<float>& cuts, float top, float bottom) {
    if (cell.lines.size() != 1 || cuts.size() < 2) return false;
    const Line& line = cell.lines.front();
    float centre = line.box.center_y();
    if (centre < cuts.front() || centre > cuts.back()) return false;
    if (std::abs(centre - (top + bottom) / 2) > 0.25f * (bottom - top)) return false;
    return !looks_numeric(line.text());
}

// ------------------------------------------------ dropping empty bands

bool column_is_empty(const Table& table, int column) {
    for (const TableCell& cell : table.cells)
        if (cell.column == column && cell.column_span == 1 && has_text(cell)) return false;
    return true;
}

bool row_is_empty(const Table& table, int row) {
    for (const TableCell& cell : table.cells)
        if (cell.row == row && cell.row_span == 1 && has_text(cell)) return false;
    return true;
}

// Removes band `index` of one axis: cells inside it alone go, cells that
// span it shrink, and its extent joins the wider neighbour.
void remove_band(Table& table, int index, bool column) {
    std::vector<TableCell> cells;
    cells.reserve(table.cells.size());
    for (TableCell& cell : table.cells) {
        int& start = column ? cell.column : cell.row;
        int& span = column ? cell.column_span : cell.row_span;
        if (start <= index && index < start + span) {
            if (span == 1) continue;
            --span;
        } else if (start > index) {
            --start;
        }
        cells.push_back(std::move(cell));
    }
    table.cells = std::move(cells);
    std::vector<float>& edges = column ? table.column_edges : table.row_edges;
    const int bands = static_cast<int>(edges.size()) - 1;
    float before = index > 0 ? edges[index] - edges[index - 1] : -1;
    float after = index + 1 < bands ? edges[index + 2] - edges[index + 1] : -1;
    edges.erase(edges.begin() + (after >= before ? index + 1 : index));
    (column ? table.columns : table.rows) -= 1;
}

// ----------------------------------------------------- columns by gutters

bool has_alphanumeric(const std::string& text) {
    size_t pos = 0;
    while (pos < text.size()) {
        char32_t c = next_code_point(text, pos);
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= 0xC0 && c != 0xFFFD))
            return true;
    }
    return false;
}

// The lines' spans left and right of `x`, as two sets of lines.
void split_lines_at(const std::vector<Line>& lines, float x, std::vector<Line>& left, std::vector<Line>& right) {
    for (const Line& line : lines) {
        Line parts[2];
        for (const Span& span : line.spans) {
            Line& part = parts[span.box.center_x() < x ? 0 : 1];
            part.horizontal = line.horizontal;
            part.spans.push_back(span);
            part.box = part.box.united(span.box);
        }
        for (int side = 0; side < 2; ++side) {
            if (parts[side].spans.empty()) continue;
            parts[side].box.y0 = std::min(parts[side].box.y0, line.box.y0);
            parts[side].box.y1 = std::max(parts[side].box.y1, line.box.y1);
            (side == 0 ? left : right).push_back(std::move(parts[side]));
        }
    }
}

// Where column `c` splits into two columns of text: the middle of the
// widest gutter that no text of its cells crosses, with words (not only
// bullets or currency signs) on either side in most of its cells.
float sub_column_split(const Table& table, int c) {
    std::vector<const TableCell*> cells;
    std::vector<std::vector<Rect>> rows;
    SizeTally sizes;
    for (const TableCell& cell : table.cells) {
        if (cell.column != c || cell.column_span != 1 || !has_text(cell)) continue;
        cells.push_back(&cell);
        rows.emplace_back();
        for (const Line& line : cell.lines) {
            sizes.add(line);
            for (const Span& span : line.spans) rows.back().push_back(span.box);
        }
    }
    if (cells.size() < 3) return -1;
    const float min_gap = std::max(4.0f, 0.8f * sizes.dominant());
    float best = -1, best_width = 0;
    for (const Interval& gutter : column_gutters(rows, table.column_edges[c], table.column_edges[c + 1], min_gap, 0)) {
        const float x = (gutter.first + gutter.second) / 2;
        int left = 0, right = 0;
        for (const TableCell* cell : cells) {
            std::vector<Line> a, b;
            split_lines_at(cell->lines, x, a, b);
            left += !a.empty() && has_alphanumeric(cell_text_of(TableCell{0, 0, 1, 1, {}, a}));
            right += !b.empty() && has_alphanumeric(cell_text_of(TableCell{0, 0, 1, 1, {}, b}));
        }
        const int needed = static_cast<int>(cells.size() + 1) / 2;
        if (left >= needed && right >= needed && gutter.second - gutter.first > best_width) {
            best = x;
            best_width = gutter.second - gutter.first;
        }
    }
    return best;
}

}  // namespace

int band_of(const std::vector<float>& edges, float value) {
    auto it = std::upper_bound(edges.begin(), edges.end(), value);
    int band = static_cast<int>(it - edges.begin()) - 1;
    return std::clamp(band, 0, static_cast<int>(edges.size()) - 2);
}

std::pair<int, int> columns_covered(const std::vector<float>& edges, const Rect& box) {
    // A column counts when a fifth of the text lies in it: a header a
    // little wider than its column does not span the next one.
    const float needed = std::max(2.0f, 0.2f * box.width());
    int first = band_of(edges, box.x0), last = band_of(edges, box.x1);
    auto overlap = [&](int c) { return std::min(box.x1, edges[c + 1]) - std::max(box.x0, edges[c]); };
    while (first < last && overlap(first) < needed) ++first;
    while (last > first && overlap(last) < needed) --last;
    return {first, last};
}

bool looks_numeric(const std::string& text) {
    bool digit = false;
    size_t pos = 0;
    while (pos < text.size()) {
        char32_t c = next_code_point(text, pos);
        if (c >= '0' && c <= '9') {
            digit = true;
            continue;
        }
        if (is_space_code_point(c)) continue;
        switch (c) {
        case ',': case '.': case '%': case '(': case ')': case '-': case '+': case '$': case '*': case '/':
        case 0x2212: case 0x2013: case 0x20AC: case 0xA3: case 0xA5: case 0xB1:
            continue;
        default: return false;
        }
    }
    return digit;
}

bool wraps_onto(const Line& previous, const Line& next, float cell_width) {
    if (cell_width <= 0) return false;
    if (next.box.y0 - previous.box.y1 > 0.8f * std::max(previous.box.height(), 1.0f)) return false;
    if (previous.box.width() < 0.7f * cell_width) return false;
    return !looks_numeric(previous.text()) && !looks_numeric(next.text());
}

std::vector<int> cell_owners(const Table& table) {
    std::vector<int> owner(static_cast<size_t>(std::max(table.rows, 0) * std::max(table.columns, 0)), -1);
    for (size_t i = 0; i < table.cells.size(); ++i) {
        const TableCell& cell = table.cells[i];
        for (int r = cell.row; r < std::min(cell.row + cell.row_span, table.rows); ++r)
            for (int c = cell.column; c < std::min(cell.column + cell.column_span, table.columns); ++c)
                owner[static_cast<size_t>(r * table.columns + c)] = static_cast<int>(i);
    }
    return owner;
}

void split_rows_by_baselines(Table& table) {
    const int rows = table.rows;
    // Cells need their boxes for the wrap test.
    for (TableCell& cell : table.cells)
        cell.box = {table.column_edges[cell.column], table.row_edges[cell.row],
                    table.column_edges[cell.column + cell.column_span], table.row_edges[cell.row + cell.row_span]};
    std::vector<std::vector<int>> bands(static_cast<size_t>(rows));
    for (size_t i = 0; i < table.cells.size(); ++i)
        if (table.cells[i].row_span == 1) bands[static_cast<size_t>(table.cells[i].row)].push_back(static_cast<int>(i));
    std::vector<std::vector<float>> cuts(static_cast<size_t>(rows));
    bool any = false;
    bool heading = true;
    for (int r = 0; r < rows; ++r) {
        heading = heading && (r == 0 || (r < kMaxHeaderRows && heads_numbers(table, bands[r], r)));
        for (float cut : baseline_cuts(table, bands[r], heading))
            if (cut > table.row_edges[r] + 1 && cut < table.row_edges[r + 1] - 1) cuts[r].push_back(cut);
        any = any || !cuts[r].empty();
    }
    if (!any) return;

    std::vector<int> start(static_cast<size_t>(rows) + 1);
    std::vector<float> edges;
    for (int r = 0; r < rows; ++r) {
        start[r] = static_cast<int>(edges.size());
        edges.push_back(table.row_edges[r]);
        edges.insert(edges.end(), cuts[r].begin(), cuts[r].end());
    }
    start[rows] = static_cast<int>(edges.size());
    edges.push_back(table.row_edges[rows]);

    std::vector<TableCell> cells;
    cells.reserve(table.cells.size());
    for (TableCell& cell : table.cells) {
        const int row = cell.row;
        const std::vector<float>& cut = cuts[row];
        if (cell.row_span != 1 || cut.empty()) {
            cell.row = start[row];
            cell.row_span = start[row + cell.row_span] - start[row];
            cells.push_back(std::move(cell));
            continue;
        }
        const int pieces = static_cast<int>(cut.size()) + 1;
        if (labels_whole_band(cell, cut, table.row_edges[row], table.row_edges[row + 1])) {
            cell.row = start[row];
            cell.row_span = pieces;
            cells.push_back(std::move(cell));
            continue;
        }
        std::vector<TableCell> parts(static_cast<size_t>(pieces));
        for (int p = 0; p < pieces; ++p) {
            parts[p].row = start[row] + p;
            parts[p].column = cell.column;
            parts[p].column_span = cell.column_span;
        }
        for (Line& line : cell.lines) {
            int p = static_cast<int>(std::upper_bound(cut.begin(), cut.end(), line.box.center_y()) - cut.begin());
            parts[p].lines.push_back(std::move(line));
        }
        for (TableCell& part : parts) cells.push_back(std::move(part));
    }
    table.cells = std::move(cells);
    table.row_edges = std::move(edges);
    table.rows = static_cast<int>(table.row_edges.size()) - 1;
}

void unmerge_cells_by_columns(Table& table) {
    constexpr float overhang = 2.0f;
    std::vector<TableCell> cells;
    cells.reserve(table.cells.size());
    for (TableCell& cell : table.cells) {
        if (cell.column_span < 2 || cell.lines.empty()) {
            cells.push_back(std::move(cell));
            continue;
        }
        const int first = cell.column, last = cell.column + cell.column_span - 1;
        int spans = 0, crossing = 0;
        std::vector<std::vector<Line>> pieces(static_cast<size_t>(cell.column_span));
        for (const Line& line : cell.lines) {
            std::vector<Line> parts(static_cast<size_t>(cell.column_span));
            for (const Span& span : line.spans) {
                ++spans;
                for (int e = first + 1; e <= last; ++e)
                    if (span.box.x0 < table.column_edges[e] - overhang && span.box.x1 > table.column_edges[e] + overhang) {
                        ++crossing;
                        break;
                    }
                int c = std::clamp(band_of(table.column_edges, span.box.center_x()), first, last) - first;
                Line& part = parts[c];
                part.horizontal = line.horizontal;
                part.spans.push_back(span);
                part.box = part.box.united(span.box);
            }
            for (size_t c = 0; c < parts.size(); ++c)
                if (!parts[c].spans.empty()) {
                    parts[c].box.y0 = std::min(parts[c].box.y0, line.box.y0);
                    parts[c].box.y1 = std::max(parts[c].box.y1, line.box.y1);
                    pieces[c].push_back(std::move(parts[c]));
                }
        }
        int filled = 0;
        for (const auto& piece : pieces) filled += !piece.empty();
        // Text running across the grid's columns (a title over the whole
        // table) keeps the cell whole; a long entry overhanging the next
        // column now and then does not.
        if (crossing * 4 > spans || filled < 2) {
            cells.push_back(std::move(cell));
            continue;
        }
        for (int c = 0; c < cell.column_span; ++c) {
            TableCell part;
            part.row = cell.row;
            part.row_span = cell.row_span;
            part.column = first + c;
            part.lines = std::move(pieces[c]);
            cells.push_back(std::move(part));
        }
    }
    table.cells = std::move(cells);
}

void split_columns_by_gutters(Table& table) {
    for (int c = table.columns - 1; c >= 0; --c) {
        const float x = sub_column_split(table, c);
        if (x < 0) continue;
        std::vector<TableCell> cells;
        cells.reserve(table.cells.size() + static_cast<size_t>(table.rows));
        for (TableCell& cell : table.cells) {
            if (cell.column > c) {
                ++cell.column;
            } else if (cell.column + cell.column_span > c) {
                if (cell.column_span > 1) {
                    ++cell.column_span;
                } else {
                    TableCell right;
                    right.row = cell.row;
                    right.row_span = cell.row_span;
                    right.column = c + 1;
                    std::vector<Line> left;
                    split_lines_at(cell.lines, x, left, right.lines);
                    cell.lines = std::move(left);
                    cells.push_back(std::move(right));
                }
            }
            cells.push_back(std::move(cell));
        }
        table.cells = std::move(cells);
        table.column_edges.insert(table.column_edges.begin() + c + 1, x);
        ++table.columns;
        ++c;  // the left part may split again
    }
}

void fit_header_spans(Table& table) {
    std::vector<TableCell> added;
    for (TableCell& cell : table.cells) {
        if (cell.row >= table.header_rows || cell.column_span < 2 || !has_text(cell)) continue;
        const Rect text = text_box(cell);
        const float centre = text.center_x();
        const int first = cell.column, last = cell.column + cell.column_span - 1;
        auto centred = [&](int a, int b) {
            float left = table.column_edges[a], right = table.column_edges[b + 1];
            return std::abs((left + right) / 2 - centre) <= 0.12f * (right - left) && text.x0 >= left - kSnap &&
                   text.x1 <= right + kSnap;
        };
        if (centred(first, last)) continue;
        const int k = std::clamp(band_of(table.column_edges, centre), first, last);
        int best_a = -1, best_b = -1;
        for (int a = first; a <= k; ++a)
            for (int b = k; b <= last; ++b)
                if (centred(a, b) && (best_a < 0 || b - a > best_b - best_a)) {
                    best_a = a;
                    best_b = b;
                }
        if (best_a < 0) continue;
        for (int c = first; c <= last; ++c) {
            if (c >= best_a && c <= best_b) continue;
            TableCell empty;
            empty.row = cell.row;
            empty.row_span = cell.row_span;
            empty.column = c;
            added.push_back(std::move(empty));
        }
        cell.column = best_a;
        cell.column_span = best_b - best_a + 1;
    }
    for (TableCell& cell : added) table.cells.push_back(std::move(cell));
}

void drop_thin_empty_bands(Table& table) {
    for (int c = table.columns - 1; c >= 0 && table.columns > 1; --c)
        if (table.column_edges[c + 1] - table.column_edges[c] < kThinColumn && column_is_empty(table, c))
            remove_band(table, c, true);
    for (int r = table.rows - 1; r >= 0 && table.rows > 1; --r)
        if (table.row_edges[r + 1] - table.row_edges[r] < kThinRow && row_is_empty(table, r))
            remove_band(table, r, false);
}

void span_group_headers(Table& table) {
    const int columns = table.columns;
    for (int r = 0; r < table.header_rows && r + 1 < table.rows; ++r) {
        std::vector<int> owner = cell_owners(table);
        auto at = [&](int row, int column) -> const TableCell* {
            int index = owner[static_cast<size_t>(row * columns + column)];
            return index < 0 ? nullptr : &table.cells[index];
        };
        auto empty_single = [&](int column) {
            const TableCell* cell = at(r, column);
            return cell != nullptr && !has_text(*cell) && cell->row_span == 1 && cell->column_span == 1;
        };
        auto filled_below = [&](int column) {
            const TableCell* cell = at(r + 1, column);
            return cell != nullptr && has_text(*cell);
        };
        std::vector<int> removed;
        for (size_t i = 0; i < table.cells.size(); ++i) {
            TableCell& cell = table.cells[i];
            if (cell.row != r || cell.row_span != 1 || cell.column_span != 1 || !has_text(cell)) continue;
            const int c = cell.column;
            if (!filled_below(c)) continue;
            const float centre = text_box(cell).center_x();
            int best_a = c, best_b = c;
            for (int a = c; a >= std::max(0, c - kMaxGroupSpan + 1); --a) {
                if (a < c && (!empty_single(a) || !filled_below(a))) break;
                for (int b = c; b < std::min(columns, a + kMaxGroupSpan); ++b) {
                    if (b > c && (!empty_single(b) || !filled_below(b))) break;
                    if (b - a <= best_b - best_a) continue;
                    float left = table.column_edges[a], right = table.column_edges[b + 1];
                    if (std::abs((left + right) / 2 - centre) <= 0.12f * (right - left)) {
                        best_a = a;
                        best_b = b;
                    }
                }
            }
            if (best_a == best_b) continue;
            for (int k = best_a; k <= best_b; ++k)
                if (k != c) removed.push_back(owner[static_cast<size_t>(r * columns + k)]);
            cell.column = best_a;
            cell.column_span = best_b - best_a + 1;
            // Later cells of this row see the widened cell through `owner`.
            for (int k = best_a; k <= best_b; ++k) owner[static_cast<size_t>(r * columns + k)] = static_cast<int>(i);
        }
        if (removed.empty()) continue;
        std::sort(removed.begin(), removed.end());
        for (auto it = removed.rbegin(); it != removed.rend(); ++it)
            table.cells.erase(table.cells.begin() + *it);
    }
}

int count_header_rows(const Table& table) {
    if (table.rows < 2) return 0;
    const int limit = std::min(kMaxHeaderRows, table.rows - 1);
    // 1 for a bold row, 0 for a plain one, -1 for a row without text.
    auto bold_row = [&](int r) {
        int chars = 0, bold = 0;
        for (const TableCell& cell : table.cells)
            if (cell.row == r)
                for (const Line& line : cell.lines)
                    for (const Span& span : line.spans) {
                        int count = visible_chars(span.text);
                        chars += count;
                        bold += span.bold ? count : 0;
                    }
        return chars == 0 ? -1 : bold * 2 > chars ? 1 : 0;
    };
    int bold_top = 0;
    while (bold_top < limit && bold_row(bold_top) == 1) ++bold_top;
    if (bold_top > 0)
        for (int r = bold_top; r < table.rows; ++r)
            if (bold_row(r) == 0) return bold_top;

    // Labels over columns of numbers.
    std::vector<int> numeric(static_cast<size_t>(table.columns), 0), filled(static_cast<size_t>(table.columns), 0);
    for (const TableCell& cell : table.cells) {
        if (cell.row == 0 || cell.column_span != 1 || !has_text(cell)) continue;
        ++filled[cell.column];
        numeric[cell.column] += looks_numeric(cell_text_of(cell));
    }
    auto numeric_column = [&](int c) { return filled[c] >= 2 && numeric[c] * 5 >= filled[c] * 3; };
    auto labels_over_numbers = [&](int r) {
        bool over_numbers = false;
        for (const TableCell& cell : table.cells) {
            if (cell.row != r || !has_text(cell)) continue;
            if (looks_numeric(cell_text_of(cell))) return false;
            for (int c = cell.column; c < cell.column + cell.column_span; ++c) over_numbers |= numeric_column(c);
        }
        return over_numbers;
    };
    int rows = 0;
    while (rows < limit && labels_over_numbers(rows)) ++rows;
    return rows;
}

void finish_table(Table& table) {
    std::sort(table.cells.begin(), table.cells.end(), [](const TableCell& a, const TableCell& b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    });
    for (TableCell& cell : table.cells) {
        cell.box = {table.column_edges[cell.column], table.row_edges[cell.row],
                    table.column_edges[cell.column + cell.column_span], table.row_edges[cell.row + cell.row_span]};
        order_lines(cell.lines);
    }
    table.box = {table.column_edges.front(), table.row_edges.front(), table.column_edges.back(),
                 table.row_edges.back()};
}

std::vector<Interval> column_gutters(const std::vector<std::vector<Rect>>& rows, float x0, float x1, float min_gap,
                                     int allowance) {
    constexpr float step = 0.5f;
    constexpr int max_bins = 1 << 15;
    const float width = x1 - x0;
    if (!(width > 0) || width / step > max_bins) return {};
    const int bins = static_cast<int>(std::ceil(width / step));
    auto bin_of = [&](float x) { return std::clamp(static_cast<int>(std::floor((x - x0) / step)), 0, bins); };
    std::vector<int> count(static_cast<size_t>(bins), 0);
    std::vector<char> covered(static_cast<size_t>(bins));
    for (const std::vector<Rect>& row : rows) {
        std::fill(covered.begin(), covered.end(), 0);
        for (const Rect& box : row)
            for (int b = bin_of(box.x0); b < bin_of(box.x1); ++b) covered[b] = 1;
        for (int b = 0; b < bins; ++b) count[b] += covered[b];
    }
    std::vector<Interval> gutters;
    int b = 0;
    while (b < bins) {
        if (count[b] > allowance) {
            ++b;
            continue;
        }
        int end = b;
        while (end < bins && count[end] <= allowance) ++end;
        // Space before the first column or after the last is margin.
        if (b > 0 && end < bins && (end - b) * step >= min_gap)
            gutters.emplace_back(x0 + static_cast<float>(b) * step, x0 + static_cast<float>(end) * step);
        b = end;
    }
    return gutters;
}

}  // namespace foli::tables
