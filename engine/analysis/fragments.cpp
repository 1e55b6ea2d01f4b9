#include "analysis/fragments.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "analysis/contents.h"
#include "analysis/lists.h"
#include "analysis/utf8.h"

namespace foli {
namespace {

bool blank(const Line& line) {
    for (const Span& span : line.spans)
        if (visible_chars(span.text) > 0) return false;
    return true;
}

// Gaps up to half an em are word gaps whatever lies around them; wider
// ones up to kWordGap ems join too, unless the whitespace lines up with
// gaps in the rows around it (see channel_through).
constexpr float kNarrowGap = 0.5f;
constexpr float kWordGap = 1.2f;
// Pieces of one line of code may stand this many ems apart (aligned
// comments and values).
constexpr float kCodeGap = 8.0f;
// A leader's first dot may stand this many ems after its title.
constexpr float kLeaderGap = 3.0f;
// A bullet or number may sit this many ems in front of its text.
constexpr float kMarkerGap = 4.0f;
// Rows looked at on either side for whitespace running on (channel_through).
constexpr size_t kChannelRows = 3;

std::string trimmed_text(const std::string& text) {
    size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos) return {};
    return text.substr(start, text.find_last_not_of(' ') + 1 - start);
}

bool belong_together(const Fragment& left, const Fragment& right, bool channel) {
    float gap = right.box().x0 - left.box().x1;
    float em = std::max(left.size, right.size);
    if (gap < -0.5f * em) return false;  // overlapping text is not a continuation
    // Word gaps are measured in the smaller text: a large letter beside
    // small text is no reason for a wider gap.
    float word_em = std::min(left.size, right.size);
    if (gap <= kNarrowGap * word_em) return true;
    if (left.monospace && right.monospace && std::fabs(left.size - right.size) <= 0.1f * em)
        return gap <= kCodeGap * em;
    if (gap <= kWordGap * word_em && !channel) return true;
    // A title and the leader after it, which starts at the next dot position.
    if (gap <= kLeaderGap * em && starts_with_leader(right.line.text())) return true;
    // A contents entry's leader and its page number, however far apart.
    if (is_page_label(trimmed_text(right.line.text())) && ends_with_leader(left.line.text())) return true;
    return gap <= kMarkerGap * em && is_bare_list_marker(left.line.text());
}

// Whether the whitespace between x `from` and `to` on row `r` runs on
// through the rows around it: nothing there is drawn across its middle,
// and text stands on both sides of it, twice on each (the rows of two
// columns need not line up). Such whitespace is a gutter between columns
// or table cells rather than a wide gap between words.
bool channel_through(const std::vector<Fragment>& fragments, const std::vector<std::vector<int>>& rows, size_t r,
                     float from, float to) {
    const float quarter = 0.25f * (to - from);
    const float inner_from = from + quarter, inner_to = to - quarter;
    const Rect& here = fragments[rows[r].front()].box();
    const float reach = 4 * std::max(here.height(), 1.0f);
    int left = 0, right = 0;
    size_t first = r > kChannelRows ? r - kChannelRows : 0;
    size_t last = std::min(rows.size() - 1, r + kChannelRows);
    for (size_t k = first; k <= last; ++k) {
        if (k == r || std::fabs(fragments[rows[k].front()].box().center_y() - here.center_y()) > reach) continue;
        for (int index : rows[k]) {
            const Rect& box = fragments[index].box();
            if (box.x1 <= inner_from) ++left;
            else if (box.x0 >= inner_to) ++right;
            else return false;
        }
    }
    return left >= 2 && right >= 2;
}

// The spaces that stand for the gap between two pieces of a line of code,
// in the cells of its monospaced font; 1 for other text.
int code_spaces(const Fragment& left, const Fragment& right) {
    if (!left.monospace || !right.monospace) return 1;
    // The box holds the characters drawn, without spaces at either end.
    int cells = count_code_points(trimmed_text(left.line.text()));
    if (cells == 0 || left.box().width() <= 0) return 1;
    float cell = left.box().width() / static_cast<float>(cells);
    float gap = right.box().x0 - left.box().x1;
    return std::clamp(static_cast<int>(std::lround(gap / cell)), 1, 200);
}

}  // namespace

int visible_chars(const std::string& text) {
    int count = 0;
    for (char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 && c != ' ';
    return count;
}

void SizeTally::add(float size, int chars) {
    long key = std::lround(size * 10);
    for (auto& entry : chars_by_size_)
        if (entry.first == key) {
            entry.second += chars;
            return;
        }
    chars_by_size_.emplace_back(key, chars);
}

void SizeTally::add(const Line& line) {
    for (const Span& span : line.spans) add(span.size, visible_chars(span.text));
}

float SizeTally::dominant() const {
    int best = -1;
    float size = 0;
    for (const auto& [key, chars] : chars_by_size_)
        if (chars > best) {
            best = chars;
            size = static_cast<float>(key) / 10;
        }
    return size;
}

float dominant_size(const std::vector<Line>& lines) {
    SizeTally tally;
    for (const Line& line : lines) tally.add(line);
    return tally.dominant();
}

Fragment make_fragment(Line line) {
    Fragment fragment;
    SizeTally tally;
    int bold_chars = 0, monospace_chars = 0, plain_tail = 0;
    for (const Span& span : line.spans) {
        int chars = visible_chars(span.text);
        tally.add(span.size, chars);
        if (span.bold) bold_chars += chars;
        if (span.monospace) monospace_chars += chars;
        fragment.chars += chars;
        plain_tail = span.bold ? 0 : plain_tail + chars;
    }
    fragment.size = tally.dominant();
    // A bold lead-in followed by plain text on its line ("Deallocation of
    // results: If a function ...") starts a paragraph; the line is not bold.
    bool run_in = plain_tail > std::max(4, fragment.chars / 5);
    fragment.bold = fragment.chars > 0 && bold_chars * 2 > fragment.chars && !run_in;
    fragment.monospace = fragment.chars > 0 && monospace_chars == fragment.chars;
    fragment.line = std::move(line);
    return fragment;
}

// A line drawn a second time over itself (fake bold, or a shadow a
// fraction of a point off): the same text in nearly the same box.
bool draws_again(const Fragment& earlier, const Line& line) {
    float tolerance = 0.15f * std::max(line.box.height(), 1.0f);
    const Rect& a = earlier.box();
    const Rect& b = line.box;
    if (std::fabs(a.x0 - b.x0) > tolerance || std::fabs(a.y0 - b.y0) > tolerance ||
        std::fabs(a.x1 - b.x1) > tolerance || std::fabs(a.y1 - b.y1) > tolerance)
        return false;
    return earlier.line.text() == line.text();
}

// How many earlier lines a line is compared with for being drawn again.
constexpr size_t kRedrawWindow = 64;

std::vector<Fragment> collect_fragments(const PageModel& page) {
    std::vector<Fragment> fragments;
    for (const TextBlock& block : page.text_blocks)
        for (const Line& line : block.lines) {
            if (line.spans.empty() || blank(line) || line.box.empty()) continue;
            bool again = false;
            for (size_t k = fragments.size(); k > 0 && fragments.size() - k < kRedrawWindow && !again; --k)
                again = draws_again(fragments[k - 1], line);
            if (!again) fragments.push_back(make_fragment(line));
        }
    return fragments;
}

float dominant_font_size(const std::vector<Fragment>& fragments) {
    // Size in half points, as long: a damaged file can set text at more
    // than a billion points.
    std::map<long, int> chars_by_size;
    for (const Fragment& fragment : fragments)
        for (const Span& span : fragment.line.spans)
            chars_by_size[std::lround(span.size * 2)] += visible_chars(span.text);
    int best = 0;
    long best_size = 0;
    for (const auto& [size, chars] : chars_by_size)
        if (chars > best) {
            best = chars;
            best_size = size;
        }
    return static_cast<float>(best_size) / 2;
}

bool on_same_row(const Rect& a, const Rect& b) {
    float overlap = std::min(a.y1, b.y1) - std::max(a.y0, b.y0);
    return overlap > 0.5f * std::min(a.height(), b.height());
}

std::vector<std::vector<int>> group_rows(const std::vector<Fragment>& fragments, const std::vector<bool>& use) {
    std::vector<int> order;
    for (size_t i = 0; i < fragments.size(); ++i)
        if (use[i] && fragments[i].line.horizontal) order.push_back(static_cast<int>(i));
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        return fragments[a].box().center_y() < fragments[b].box().center_y();
    });
    std::vector<std::vector<int>> rows;
    Rect row_box;
    for (int index : order) {
        const Rect& box = fragments[index].box();
        if (rows.empty() || !on_same_row(row_box, box)) {
            rows.emplace_back();
            row_box = box;
        }
        rows.back().push_back(index);
    }
    for (std::vector<int>& row : rows)
        std::sort(row.begin(), row.end(), [&](int a, int b) { return fragments[a].box().x0 < fragments[b].box().x0; });
    return rows;
}

void append_line(Line& left, const Line& right, int spaces) {
    if (!left.spans.empty() && !right.spans.empty()) {
        std::string& tail = left.spans.back().text;
        const std::string& head = right.spans.front().text;
        if (spaces > 1) {
            tail.erase(tail.find_last_not_of(' ') + 1);
            tail.append(static_cast<size_t>(spaces), ' ');
        } else if (!tail.empty() && tail.back() != ' ' && !head.empty() && head.front() != ' ') {
            tail += ' ';
        }
    }
    left.spans.insert(left.spans.end(), right.spans.begin(), right.spans.end());
    left.box = left.box.united(right.box);
}

std::vector<Fragment> merge_row_fragments(std::vector<Fragment> fragments) {
    std::vector<bool> use(fragments.size(), true);
    std::vector<std::vector<int>> rows = group_rows(fragments, use);
    std::vector<bool> absorbed(fragments.size(), false), grown(fragments.size(), false);
    for (size_t r = 0; r < rows.size(); ++r) {
        const std::vector<int>& row = rows[r];
        int target = row.front();
        for (size_t k = 1; k < row.size(); ++k) {
            int next = row[k];
            const float from = fragments[row[k - 1]].box().x1, to = fragments[next].box().x0;
            bool channel = to > from && channel_through(fragments, rows, r, from, to);
            if (belong_together(fragments[target], fragments[next], channel)) {
                append_line(fragments[target].line, fragments[next].line, code_spaces(fragments[target], fragments[next]));
                absorbed[next] = true;
                grown[target] = true;
            } else {
                target = next;
            }
        }
    }
    std::vector<Fragment> merged;
    merged.reserve(fragments.size());
    for (size_t i = 0; i < fragments.size(); ++i) {
        if (absorbed[i]) continue;
        merged.push_back(grown[i] ? make_fragment(std::move(fragments[i].line)) : std::move(fragments[i]));
    }
    return merged;
}

void join_rows(std::vector<Fragment>& fragments, const std::vector<std::vector<int>>& rows, std::vector<bool>& used) {
    for (const std::vector<int>& row : rows) {
        Line& first = fragments[row.front()].line;
        for (size_t k = 1; k < row.size(); ++k) {
            append_line(first, fragments[row[k]].line);
            used[row[k]] = true;
        }
        fragments[row.front()] = make_fragment(std::move(first));
    }
}

}  // namespace foli
