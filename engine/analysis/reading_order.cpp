#include "analysis/reading_order.h"

#include <algorithm>
#include <utility>

namespace foli {
namespace {

using Interval = std::pair<float, float>;
using Items = std::vector<int>;

constexpr int kMaxDepth = 200;  // guards the stack on pathological pages
// Items at most this many gutters wide are labels (numbers, markers), not
// lines of a column of text.
constexpr float kLabelWidth = 4.0f;
// A label stands at most this many gutters from its line; a few labels
// (at most kMaxPairedLabels) are only labels when each is that close.
constexpr float kLabelGap = 3.0f;
constexpr size_t kMaxPairedLabels = 32;

std::vector<Interval> intersect(const std::vector<Interval>& a, const std::vector<Interval>& b, float min_width) {
    std::vector<Interval> common;
    for (const Interval& x : a)
        for (const Interval& y : b) {
            float from = std::max(x.first, y.first), to = std::min(x.second, y.second);
            if (to - from >= min_width) common.emplace_back(from, to);
        }
    return common;
}

class XYCut {
public:
    XYCut(const std::vector<Rect>& boxes, float min_gutter) : boxes_(boxes), min_gutter_(min_gutter) {}

    void order(const Items& items, int depth) {
        if (items.size() == 1 || depth > kMaxDepth) {
            emit_by_rows(items);
            return;
        }
        std::vector<Items> strips = split_rows(items);
        if (strips.size() > 1) {
            order_strips(strips, extent(items), depth);
            return;
        }
        if (!order_columns(items, depth)) emit_by_rows(items);
    }

    std::vector<int> result;

private:
    std::pair<float, float> y_extent(int item) const { return {boxes_[item].y0, boxes_[item].y1}; }

    Interval extent(const Items& items) const {
        Interval range{boxes_[items.front()].x0, boxes_[items.front()].x1};
        for (int item : items) {
            range.first = std::min(range.first, boxes_[item].x0);
            range.second = std::max(range.second, boxes_[item].x1);
        }
        return range;
    }

    // Vertical whitespace through all `items` within `region`, at least a
    // gutter wide; with `interior_only`, only gaps with items on both sides.
    std::vector<Interval> free_x(const Items& items, Interval region, bool interior_only) const {
        std::vector<Interval> extents;
        extents.reserve(items.size());
        for (int item : items) extents.emplace_back(boxes_[item].x0, boxes_[item].x1);
        std::sort(extents.begin(), extents.end());
        std::vector<Interval> gaps;
        float reach = region.first;
        bool first = true;
        for (const Interval& x : extents) {
            if (x.first - reach >= min_gutter_ && !(interior_only && first)) gaps.emplace_back(reach, x.first);
            reach = std::max(reach, x.second);
            first = false;
        }
        if (!interior_only && region.second - reach >= min_gutter_) gaps.emplace_back(reach, region.second);
        return gaps;
    }

    std::vector<Items> split_columns(const Items& items, const std::vector<Interval>& gaps) const {
        std::vector<Items> columns(gaps.size() + 1);
        for (int item : items) {
            size_t column = 0;
            while (column < gaps.size() && boxes_[item].x0 >= gaps[column].second) ++column;
            columns[column].push_back(item);
        }
        return columns;
    }

    // Horizontal bands separated by whitespace across the whole region.
    std::vector<Items> split_rows(const Items& items) const {
        Items sorted = items;
        std::sort(sorted.begin(), sorted.end(), [&](int a, int b) { return y_extent(a).first < y_extent(b).first; });
        std::vector<Items> strips;
        float reach = 0;
        for (int item : sorted) {
            auto [top, bottom] = y_extent(item);
            if (strips.empty() || top >= reach) {
                strips.emplace_back();
                reach = bottom;
            }
            strips.back().push_back(item);
            reach = std::max(reach, bottom);
        }
        return strips;
    }

    // Splits the items at the vertical whitespace between them and reads
    // the columns left to right; false when no such whitespace exists.
    bool order_columns(const Items& items, int depth) {
        const std::vector<Interval> all = free_x(items, extent(items), true);
        std::vector<Interval> gaps;
        for (size_t j = 0; j < all.size(); ++j)
            if (!beside_labels(items, all, j)) gaps.push_back(all[j]);
        if (gaps.empty()) return false;
        for (const Items& column : split_columns(items, gaps)) order(column, depth + 1);
        return true;
    }

    // How many items the strip holds on each side of the gap (the fewer).
    int pairs_across(const Items& strip, const Interval& gap) const {
        int left = 0, right = 0;
        for (int item : strip) {
            left += boxes_[item].x1 <= gap.first;
            right += boxes_[item].x0 >= gap.second;
        }
        return std::min(left, right);
    }

    bool splits(const Items& strip, const Interval& gap) const { return pairs_across(strip, gap) > 0; }

    // The first of the gaps with items on both sides of it at least twice
    // (in two strips, or twice in one strip of lines that overlap across
    // the gap): a gutter between columns rather than the empty side of a
    // few short lines or a single pair of pictures. Null when there is none.
    const Interval* find_gutter(const std::vector<Items>& strips, size_t begin, size_t end,
                                const std::vector<Interval>& gaps) const {
        Items band;
        for (size_t j = 0; j < gaps.size(); ++j) {
            int pairs = 0;
            for (size_t k = begin; k < end; ++k) pairs += pairs_across(strips[k], gaps[j]);
            if (pairs < 2) continue;
            if (band.empty())
                for (size_t k = begin; k < end; ++k) band.insert(band.end(), strips[k].begin(), strips[k].end());
            if (!beside_labels(band, gaps, j)) return &gaps[j];
        }
        return nullptr;
    }

    // The items lying between `from` and `to`.
    Items column_between(const Items& items, float from, float to) const {
        Items column;
        for (int item : items)
            if (boxes_[item].x0 >= from && boxes_[item].x1 <= to) column.push_back(item);
        return column;
    }

    bool all_narrow(const Items& column) const {
        for (int item : column)
            if (boxes_[item].width() > kLabelWidth * min_gutter_) return false;
        return true;
    }

    // Whether every item of `labels` has an item of `text` beside it on
    // its row, a few gutters away at most.
    bool each_beside(const Items& labels, const Items& text) const {
        for (int label : labels) {
            const Rect& a = boxes_[label];
            bool found = false;
            for (int item : text) {
                const Rect& b = boxes_[item];
                float overlap = std::min(a.y1, b.y1) - std::max(a.y0, b.y0);
                float distance = std::max(b.x0 - a.x1, a.x0 - b.x1);
                if (overlap > 0.5f * std::min(a.height(), b.height()) && distance <= kLabelGap * min_gutter_) {
                    found = true;
                    break;
                }
            }
            if (!found) return false;
        }
        return true;
    }

    // Whether `labels` (narrow items on one side of a gap) label the lines
    // of `text` on the other side: there are about as many of them (a
    // number or marker for nearly every line), or each of a few stands
    // right beside a line (chapter numbers in a contents page). Notes in a
    // side column far from the text are no labels.
    bool labels_of(const Items& labels, const Items& text) const {
        if (labels.empty() || !all_narrow(labels)) return false;
        if (2 * labels.size() >= text.size()) return true;
        return labels.size() <= kMaxPairedLabels && each_beside(labels, text);
    }

    // Whether gap `j` of `gaps` has a column of labels on one side of it:
    // section numbers, list markers or page numbers beside the lines they
    // belong to, read row by row with them rather than as a column.
    bool beside_labels(const Items& items, const std::vector<Interval>& gaps, size_t j) const {
        float left = j > 0 ? gaps[j - 1].second : -1e30f;
        float right = j + 1 < gaps.size() ? gaps[j + 1].first : 1e30f;
        Items left_items = column_between(items, left, gaps[j].first);
        Items right_items = column_between(items, gaps[j].second, right);
        return labels_of(left_items, right_items) || labels_of(right_items, left_items);
    }

    // Whitespace between two consecutive strips.
    float gap_between(const Items& upper, const Items& lower) const {
        float bottom = y_extent(upper.front()).second, top = y_extent(lower.front()).first;
        for (int item : upper) bottom = std::max(bottom, y_extent(item).second);
        for (int item : lower) top = std::min(top, y_extent(item).first);
        return top - bottom;
    }

    // Consecutive strips whose whitespace lines up into a common gutter
    // crossed by none of them form a multi-column band (two columns whose
    // lines happen to line up with gaps between them): it is read column
    // by column. Lines on one side only at the top or bottom of the band
    // belong to it when they follow at line spacing (a column running
    // longer than the other), not when set apart (a running header or a
    // page number). Other strips are read one after the other.
    //
    // A band holds at least one strip of several items, so each search
    // starts from such a strip and grows up and down from it; strips of a
    // single line are never searched from, which keeps long single-column
    // pages linear.
    void order_strips(const std::vector<Items>& strips, Interval region, int depth) {
        const size_t n = strips.size();
        std::vector<std::vector<Interval>> free;
        free.reserve(n);
        for (const Items& strip : strips) free.push_back(free_x(strip, region, false));
        size_t i = 0;
        while (i < n) {
            size_t seed = i;
            while (seed < n && strips[seed].size() < 2) ++seed;
            if (seed == n) {
                for (size_t k = i; k < n; ++k) order(strips[k], depth + 1);
                return;
            }
            // Only whitespace between items of the seed can be a gutter: the
            // margins beside it are free in every strip.
            std::vector<Interval> common = free_x(strips[seed], region, true);
            size_t begin = seed, end = seed + 1;
            while (end < n && grow(common, free[end])) ++end;
            while (begin > i && grow(common, free[begin - 1])) --begin;
            const Interval* gutter = common.empty() ? nullptr : find_gutter(strips, begin, end, common);
            if (gutter == nullptr) {
                for (size_t k = i; k <= seed; ++k) order(strips[k], depth + 1);
                i = seed + 1;
                continue;
            }
            size_t first = begin, last = end - 1;
            while (!splits(strips[first], *gutter)) ++first;
            while (!splits(strips[last], *gutter)) --last;
            // Line spacing is what the columns use between their own lines.
            float spacing = min_gutter_;
            for (size_t k = first; k < last; ++k) spacing = std::max(spacing, gap_between(strips[k], strips[k + 1]));
            while (first > begin && gap_between(strips[first - 1], strips[first]) <= spacing) --first;
            while (last + 1 < end && gap_between(strips[last], strips[last + 1]) <= spacing) ++last;
            for (size_t k = i; k < first; ++k) order(strips[k], depth + 1);
            Items band;
            for (size_t k = first; k <= last; ++k) band.insert(band.end(), strips[k].begin(), strips[k].end());
            if (!order_columns(band, depth)) emit_by_rows(band);
            i = last + 1;
        }
    }

    // Narrows `common` to what `more` leaves free too; false (and `common`
    // unchanged) when nothing a gutter wide would be left.
    bool grow(std::vector<Interval>& common, const std::vector<Interval>& more) const {
        std::vector<Interval> next = intersect(common, more, min_gutter_);
        if (next.empty()) return false;
        common = std::move(next);
        return true;
    }

    // Items that no whitespace separates: row by row, left to right.
    void emit_by_rows(const Items& items) {
        Items sorted = items;
        std::sort(sorted.begin(), sorted.end(),
                  [&](int a, int b) { return boxes_[a].center_y() < boxes_[b].center_y(); });
        size_t start = 0;
        while (start < sorted.size()) {
            const Rect& first = boxes_[sorted[start]];
            size_t end = start + 1;
            while (end < sorted.size()) {
                const Rect& box = boxes_[sorted[end]];
                float overlap = std::min(first.y1, box.y1) - std::max(first.y0, box.y0);
                if (overlap <= 0.5f * std::min(first.height(), box.height())) break;
                ++end;
            }
            std::sort(sorted.begin() + static_cast<long>(start), sorted.begin() + static_cast<long>(end),
                      [&](int a, int b) { return boxes_[a].x0 < boxes_[b].x0; });
            result.insert(result.end(), sorted.begin() + static_cast<long>(start),
                          sorted.begin() + static_cast<long>(end));
            start = end;
        }
    }

    const std::vector<Rect>& boxes_;
    float min_gutter_;
};

}  // namespace

std::vector<int> reading_order(const std::vector<Rect>& boxes, float min_gutter) {
    if (boxes.empty()) return {};
    Items all(boxes.size());
    for (size_t i = 0; i < boxes.size(); ++i) all[i] = static_cast<int>(i);
    XYCut cut(boxes, min_gutter);
    cut.result.reserve(boxes.size());
    cut.order(all, 0);
    return cut.result;
}

}  // namespace foli
