#include "analysis/running_heads.h"

#include <algorithm>
#include <cmath>

#include "analysis/contents.h"
#include "analysis/headings.h"
#include "analysis/utf8.h"

namespace foli {
namespace {

// The margins are the top and bottom eighth of the page.
constexpr float kMarginShare = 0.125f;
// Lines at the same place on two pages lie this close (points).
constexpr float kSamePlace = 3.0f;
constexpr float kSameSize = 0.6f;
// A page keeps at most this many margin lines in the style; a damaged
// file cannot grow it without bound.
constexpr size_t kMaxMarginLines = 4096;

bool is_roman_numeral(const std::string& word) {
    if (word.empty() || word.size() > 7) return false;
    return word.find_first_not_of("ivxlc") == std::string::npos;
}

const MarginLine* find_line(const DocumentStyle& style, bool top, float y, const std::string* pattern,
                            float size, int min_pages) {
    for (const MarginLine& line : style.margins) {
        if (line.top != top || std::fabs(line.y - y) > kSamePlace || line.pages < min_pages) continue;
        if (pattern != nullptr ? line.pattern == *pattern : std::fabs(line.size - size) <= kSameSize) return &line;
    }
    return nullptr;
}

float margin_y(const Fragment& fragment, bool top) { return top ? fragment.box().y0 : fragment.box().y1; }

// Whether the fragment stands apart from the text on the page side of it:
// at least half its height of whitespace to the nearest line that is not
// on its own row.
bool stands_apart(const std::vector<Fragment>& fragments, size_t index, bool top) {
    const Rect& box = fragments[index].box();
    float nearest = 1e9f;
    for (size_t k = 0; k < fragments.size(); ++k) {
        if (k == index) continue;
        const Rect& other = fragments[k].box();
        if (on_same_row(box, other)) continue;
        float gap = top ? other.y0 - box.y1 : box.y0 - other.y1;
        if (gap < -0.5f * box.height()) continue;  // on the margin side
        nearest = std::min(nearest, gap);
    }
    return nearest >= 0.5f * box.height();
}

}  // namespace

std::string margin_pattern(const std::string& text) {
    std::string pattern;
    pattern.reserve(text.size());
    bool space = false;
    for (char c : text) {
        if (c == ' ' || c == '\t') {
            space = !pattern.empty();
            continue;
        }
        if (space) pattern += ' ';
        space = false;
        if (c >= '0' && c <= '9') {
            if (pattern.empty() || pattern.back() != '#') pattern += '#';
            continue;
        }
        pattern += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    // A page number in other numerals ("xii", "١٢", the abjad letters of front matter).
    return is_roman_numeral(pattern) || is_page_label(pattern) ? "#" : pattern;
}

bool is_page_number_pattern(const std::string& pattern) {
    static const char* const kForms[] = {"#",        "- # -",  "\xE2\x80\x93 # \xE2\x80\x93", "page #",
                                         "page # of #", "# of #", "#/#", "# / #", "[#]", "(#)", "p. #",
                                         "-#-", "#."};
    for (const char* form : kForms)
        if (pattern == form) return true;
    return false;
}

std::vector<MarginRole> margin_bands(const std::vector<Fragment>& fragments, const PageModel& page) {
    std::vector<MarginRole> roles(fragments.size(), MarginRole::None);
    const float top_band = kMarginShare * page.height, bottom_band = page.height - top_band;
    for (size_t i = 0; i < fragments.size(); ++i) {
        const Fragment& fragment = fragments[i];
        if (!fragment.line.horizontal) continue;
        if (fragment.box().y1 <= top_band)
            roles[i] = MarginRole::Header;
        else if (fragment.box().y0 >= bottom_band)
            roles[i] = MarginRole::Footer;
    }
    return roles;
}

void learn_margins(const std::vector<Fragment>& fragments, const PageModel& page, DocumentStyle& style) {
    if (std::find(style.learned_pages.begin(), style.learned_pages.end(), page.index) != style.learned_pages.end())
        return;
    style.learned_pages.push_back(page.index);
    std::vector<MarginRole> roles = margin_bands(fragments, page);
    std::vector<const MarginLine*> counted;  // a line repeated on one page counts once
    for (size_t i = 0; i < fragments.size(); ++i) {
        if (roles[i] == MarginRole::None) continue;
        bool top = roles[i] == MarginRole::Header;
        float y = margin_y(fragments[i], top);
        std::string pattern = margin_pattern(fragments[i].line.text());
        if (pattern.empty()) continue;
        auto same = std::find_if(style.margins.begin(), style.margins.end(), [&](const MarginLine& line) {
            return line.top == top && std::fabs(line.y - y) <= kSamePlace && line.pattern == pattern;
        });
        if (same != style.margins.end()) {
            if (std::find(counted.begin(), counted.end(), &*same) == counted.end()) {
                ++same->pages;
                counted.push_back(&*same);
            }
            continue;
        }
        if (style.margins.size() >= kMaxMarginLines) continue;
        style.margins.push_back({top, y, fragments[i].size, pattern, 1});
        counted.clear();  // the vector may have moved
    }
}

std::vector<MarginRole> find_running_heads(const std::vector<Fragment>& fragments, const PageModel& page,
                                           const DocumentStyle* style, float body_size) {
    std::vector<MarginRole> bands = margin_bands(fragments, page);
    std::vector<MarginRole> roles(fragments.size(), MarginRole::None);
    // A page whose text all sits in its margins has no running heads to
    // set apart: that text is the page.
    if (std::all_of(bands.begin(), bands.end(), [](MarginRole role) { return role != MarginRole::None; }))
        return roles;
    for (size_t i = 0; i < fragments.size(); ++i) {
        if (bands[i] == MarginRole::None) continue;
        // Text set as large as a heading is a heading, even where every page has one.
        if (is_sized_heading(fragments[i].size, body_size)) continue;
        bool top = bands[i] == MarginRole::Header;
        float y = margin_y(fragments[i], top);
        std::string pattern = margin_pattern(fragments[i].line.text());
        bool running = false;
        if (style != nullptr) {
            // Seen here on another page too (this page is counted already).
            running = find_line(*style, top, y, &pattern, 0, 2) != nullptr;
            // A place where lines recur, with a line that changes from page
            // to page (the chapter's name).
            if (!running && find_line(*style, top, y, nullptr, fragments[i].size, 3) != nullptr)
                running = stands_apart(fragments, i, top);
        }
        if (!running && is_page_number_pattern(pattern)) running = stands_apart(fragments, i, top);
        if (running) roles[i] = bands[i];
    }
    // A row holding a running head is all running head ("Chapter 2" ... "17").
    for (size_t i = 0; i < fragments.size(); ++i) {
        if (roles[i] == MarginRole::None) continue;
        for (size_t k = 0; k < fragments.size(); ++k)
            if (roles[k] == MarginRole::None && bands[k] == bands[i] &&
                on_same_row(fragments[i].box(), fragments[k].box()))
                roles[k] = roles[i];
    }
    return roles;
}

}  // namespace foli
