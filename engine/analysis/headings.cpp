#include "analysis/headings.h"

#include "analysis/paragraphs.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace foli {
namespace {

constexpr float kHeadingRatio = 1.15f;
constexpr float kSameSize = 0.5f;
constexpr int kMaxLevel = 6;

bool has_letter(const std::string& text) {
    for (char c : text)
        if (std::isalpha(static_cast<unsigned char>(c)) || static_cast<unsigned char>(c) >= 0xC0) return true;
    return false;
}

bool starts_with_word(const std::string& text, const char* word) {
    size_t n = std::char_traits<char>::length(word);
    if (text.size() <= n || text[n] != ' ') return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != word[i]) return false;
    return true;
}

// Length of a leading section number ("2.3.1", "A.2", "3.") and its depth.
size_t section_number(const std::string& text, int& depth) {
    size_t i = 0;
    depth = 0;
    while (i < text.size()) {
        size_t start = i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
        // An appendix letter may lead ("A.2"), but only as the first part.
        if (i == start && depth == 0 && i + 1 < text.size() && std::isupper(static_cast<unsigned char>(text[i])) &&
            text[i + 1] == '.')
            ++i;
        if (i == start || i - start > 3) return depth > 0 ? start : 0;
        ++depth;
        if (i < text.size() && text[i] == '.' && i + 1 < text.size() &&
            std::isalnum(static_cast<unsigned char>(text[i + 1]))) {
            ++i;
            continue;
        }
        if (i < text.size() && text[i] == '.') ++i;
        break;
    }
    if (depth == 1 && !std::isdigit(static_cast<unsigned char>(text[0]))) return 0;  // "A." alone is no number
    return i;
}

struct StyleKey {
    float size = 0;
    bool bold = false;
};

StyleKey style_of(const Block& block) {
    int bold = 0, all = 0;
    for (const Line& line : block.lines)
        for (const Span& span : line.spans) {
            int chars = visible_chars(span.text);
            all += chars;
            if (span.bold) bold += chars;
        }
    return {dominant_size(block.lines), all > 0 && 2 * bold > all};
}

bool same_style(const HeadingStyleLevel& known, const StyleKey& key) {
    return std::fabs(known.size - key.size) <= kSameSize && known.bold == key.bold;
}

void learn_style_level(DocumentStyle& style, const StyleKey& key, int level) {
    for (HeadingStyleLevel& known : style.outline_levels)
        if (same_style(known, key)) {
            // The level most headings of the style had wins.
            if (known.level == level) ++known.count;
            else if (--known.count < 0) known = {key.size, key.bold, level, 1};
            return;
        }
    if (style.outline_levels.size() < 64) style.outline_levels.push_back({key.size, key.bold, level, 1});
}

// The level the outline's matches taught for headings of this style: the
// learned level of the same style, else one below the deepest learned style
// that is set larger (or as large and bold when this is not).
int level_from_outline_styles(const DocumentStyle& style, const StyleKey& key) {
    int above = 0;
    for (const HeadingStyleLevel& known : style.outline_levels) {
        if (same_style(known, key)) return known.level;
        bool larger = known.size > key.size + kSameSize ||
                      (std::fabs(known.size - key.size) <= kSameSize && known.bold && !key.bold);
        if (larger) above = std::max(above, known.level);
    }
    return std::min(above + 1, kMaxLevel);
}

// Whether a word is part of a section number: digits, a Roman numeral, a
// single letter ("iii", "a" of "III-A").
bool is_number_word(const std::string& word) {
    if (word.empty() || word.size() > 5) return false;
    if (word.size() == 1) return true;
    bool digits = std::all_of(word.begin(), word.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
    bool roman = std::all_of(word.begin(), word.end(), [](char c) { return c == 'i' || c == 'v' || c == 'x'; });
    return digits || roman;
}

// Whether two title keys (title_key) name the same heading: the same, or
// the same once the one's section number has more parts than the other's
// ("iii a google deepdream" for "a google deepdream").
bool same_title(const std::string& a, const std::string& b) {
    if (a == b) return true;
    const std::string& longer = a.size() > b.size() ? a : b;
    const std::string& shorter = a.size() > b.size() ? b : a;
    if (shorter.find(' ') == std::string::npos) return false;
    size_t cut = longer.size() - shorter.size();
    if (cut < 2 || longer.compare(cut, std::string::npos, shorter) != 0 || longer[cut - 1] != ' ') return false;
    size_t start = 0;
    while (start < cut - 1) {
        size_t end = longer.find(' ', start);
        if (end == std::string::npos || end > cut - 1) end = cut - 1;
        if (!is_number_word(longer.substr(start, end - start))) return false;
        start = end + 1;
    }
    return true;
}

// Blocks of the page that the outline's entries for the page name.
void apply_outline(std::vector<Block>& blocks, const PageModel& page, DocumentStyle& style,
                   std::vector<bool>& from_outline) {
    for (const OutlineEntry& entry : style.outline) {
        if (entry.page != page.index) continue;
        std::string key = title_key(entry.title);
        if (key.size() < 2) continue;
        for (size_t i = 0; i < blocks.size(); ++i) {
            Block& block = blocks[i];
            if (from_outline[i] || (block.kind != BlockKind::Paragraph && block.kind != BlockKind::Heading)) continue;
            if (block.lines.empty()) continue;
            bool whole = same_title(title_key(paragraph_text(block.lines)), key);
            bool first_line =
                !whole && block.lines.size() > 1 && same_title(title_key(block.lines.front().text()), key);
            if (!whole && !first_line) continue;
            if (first_line) {
                // The title was set on the first line of a paragraph's block.
                Block rest = block;
                rest.kind = BlockKind::Paragraph;
                rest.lines.erase(rest.lines.begin());
                block.lines.resize(1);
                block.box = block.lines.front().box;
                rest.box = Rect{};
                for (const Line& line : rest.lines) rest.box = rest.box.united(line.box);
                blocks.insert(blocks.begin() + static_cast<long>(i) + 1, std::move(rest));
                from_outline.insert(from_outline.begin() + static_cast<long>(i) + 1, false);
            }
            Block& heading = blocks[i];
            heading.kind = BlockKind::Heading;
            heading.heading_level = std::clamp(entry.level + 1, 1, kMaxLevel);
            from_outline[i] = true;
            learn_style_level(style, style_of(heading), heading.heading_level);
            break;
        }
    }
}

// The level of a numbered heading ("2.3.1 Title"): headings set in one
// style nest by the depth of their numbers, below the level their style
// ranks at ("2.3" and "2.3.1" in the same bold face). Other headings keep
// `level`.
int numbered_level(const Block& block, int level, DocumentStyle* style) {
    if (block.lines.empty() || style == nullptr) return level;
    int depth = numbering_depth(block.lines.front().text());
    if (depth == 0) return level;
    StyleKey key = style_of(block);
    for (NumberedStyle& known : style->numbered_styles)
        if (std::fabs(known.size - key.size) <= kSameSize && known.bold == key.bold) {
            known.min_depth = std::min(known.min_depth, depth);
            return level + depth - known.min_depth;
        }
    if (style->numbered_styles.size() < 64) style->numbered_styles.push_back({key.size, key.bold, depth});
    return level;
}

}  // namespace

bool is_sized_heading(float size, float body_size) {
    return body_size > 0 && size >= kHeadingRatio * body_size && size >= body_size + 1;
}

bool is_heading_line_candidate(const Fragment& fragment, float body_size) {
    if (!fragment.line.horizontal || fragment.monospace || fragment.chars < 2 || fragment.chars > 150) return false;
    return is_sized_heading(fragment.size, body_size) && has_letter(fragment.line.text());
}

void add_heading_size(std::vector<float>& sizes, float size) {
    auto place = std::find_if(sizes.begin(), sizes.end(), [size](float known) { return known - size <= kSameSize; });
    if (place != sizes.end() && std::fabs(*place - size) <= kSameSize) return;
    if (sizes.size() >= 32) return;
    sizes.insert(place, size);
}

int numbering_depth(const std::string& text) {
    size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos) return 0;
    std::string rest = text.substr(start);
    for (const char* word : {"chapter", "appendix", "part"})
        if (starts_with_word(rest, word)) return 1;
    int depth = 0;
    size_t length = section_number(rest, depth);
    if (length == 0 || (length < rest.size() && rest[length] != ' ')) return 0;
    return depth;
}

std::string title_key(const std::string& text) {
    std::string key;
    bool space = false;
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || u >= 0x80) {
            if (space && !key.empty()) key += ' ';
            space = false;
            key += static_cast<char>(std::tolower(u));
        } else {
            space = true;
        }
    }
    // Drop a leading section number: outlines often leave it out.
    size_t i = 0;
    while (i < key.size() && (std::isdigit(static_cast<unsigned char>(key[i])) || key[i] == ' ')) ++i;
    if (i > 0 && i < key.size() && key.size() - i >= 2) key.erase(0, i);
    return key;
}

void assign_heading_levels(std::vector<Block>& blocks, const PageModel& page, float body_size,
                           DocumentStyle* style) {
    std::vector<bool> from_outline(blocks.size(), false);
    if (style != nullptr && !style->outline.empty()) apply_outline(blocks, page, *style, from_outline);

    std::vector<float> sizes;  // distinct heading sizes, largest first
    if (style != nullptr) sizes = style->heading_sizes;
    for (size_t i = 0; i < blocks.size(); ++i)
        if (blocks[i].kind == BlockKind::Heading && !from_outline[i]) {
            float size = dominant_size(blocks[i].lines);
            if (is_sized_heading(size, body_size)) add_heading_size(sizes, size);
        }
    if (style != nullptr) style->heading_sizes = sizes;
    const bool outline_taught = style != nullptr && !style->outline_levels.empty();

    for (size_t i = 0; i < blocks.size(); ++i) {
        Block& block = blocks[i];
        if (block.kind != BlockKind::Heading || from_outline[i]) continue;
        if (outline_taught) {
            block.heading_level = level_from_outline_styles(*style, style_of(block));
            continue;
        }
        float size = dominant_size(block.lines);
        int level = static_cast<int>(sizes.size()) + 1;
        if (is_sized_heading(size, body_size))
            for (size_t rank = 0; rank < sizes.size(); ++rank)
                if (sizes[rank] - size <= kSameSize) {
                    level = static_cast<int>(rank) + 1;
                    break;
                }
        // A lettered sub-section ("A. Google DeepDream") sits below the
        // numbered sections set in the same size.
        if (!block.lines.empty() && is_lettered_italic_title(block.lines.front())) ++level;
        block.heading_level = std::clamp(numbered_level(block, level, style), 1, kMaxLevel);
    }
}

}  // namespace foli
