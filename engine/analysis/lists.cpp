#include "analysis/lists.h"

#include <cctype>

#include "analysis/utf8.h"

namespace foli {
namespace {

// Bullets as fonts print them. The base-14 fonts draw U+2022 as a middle
// dot, and Symbol-font bullets arrive in the private use area.
bool is_bullet(char32_t c) {
    switch (c) {
    case 0x2022: case 0x00B7: case 0x25E6: case 0x25AA: case 0x25A0: case 0x25CF: case 0x2023:
    case 0x2013: case 0x2219: case 0x25CB: case 0x25BA: case 0x25B8: case 0x2043: case 0xF0B7:
    case 0xF0A7: case 0xF0D8: case 0xF076: case '-': case '*': case 0x27A2: case 0x2756: case 0x2751:
    case 0x25FB: case 0x2713: case 0x2717: case 0x25C6: case 0x2666: case 0x27A4: case 0x2794:
        return true;
    default:
        return false;
    }
}

// Roman numerals up to 20, all in lower or all in upper case.
bool is_roman(const std::string& word) {
    static const char* const numerals[] = {"i",   "ii",  "iii",  "iv", "v",   "vi",   "vii",  "viii",  "ix", "x",
                                           "xi",  "xii", "xiii", "xiv", "xv", "xvi", "xvii", "xviii", "xix", "xx"};
    bool lower = true, upper = true;
    std::string folded;
    for (char c : word) {
        lower &= std::islower(static_cast<unsigned char>(c)) != 0;
        upper &= std::isupper(static_cast<unsigned char>(c)) != 0;
        folded += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (!lower && !upper) return false;
    for (const char* numeral : numerals)
        if (folded == numeral) return true;
    return false;
}

// What may stand before the closing "." or ")" of a number: 1 to 3 digits,
// one lowercase letter, or a Roman numeral. A capital letter followed by a
// full stop is left out: it is far more often an initial than a list.
bool is_number_label(const std::string& label, char closing) {
    if (label.empty() || label.size() > 5) return false;
    bool digits = true;
    for (char c : label) digits &= std::isdigit(static_cast<unsigned char>(c)) != 0;
    if (digits) return label.size() <= 3;
    if (label.size() == 1 && std::islower(static_cast<unsigned char>(label[0]))) return true;
    if (label.size() == 1 && std::isupper(static_cast<unsigned char>(label[0]))) return closing == ')';
    return is_roman(label);
}

// Length in bytes of a numbering marker at `pos` ("1.", "a)", "(iv)"), or 0.
size_t numbering_length(const std::string& text, size_t pos) {
    bool parenthesised = pos < text.size() && text[pos] == '(';
    size_t start = parenthesised ? pos + 1 : pos;
    size_t end = start;
    while (end < text.size() && end - start <= 5 && std::isalnum(static_cast<unsigned char>(text[end]))) ++end;
    if (end >= text.size()) return 0;
    char closing = text[end];
    if (parenthesised ? closing != ')' : closing != '.' && closing != ')') return 0;
    if (!is_number_label(text.substr(start, end - start), closing)) return 0;
    return end + 1 - pos;
}

size_t skip_spaces(const std::string& text, size_t pos) {
    while (pos < text.size()) {
        size_t next = pos;
        if (!is_space_code_point(next_code_point(text, next))) break;
        pos = next;
    }
    return pos;
}

// The marker at the start of `text`; `marker_end` is where the marker ends
// and `after` where the text after it begins.
std::optional<ListMarker> marker_at_start(const std::string& text, size_t& marker_end, size_t& after) {
    size_t start = skip_spaces(text, 0);
    if (start >= text.size()) return std::nullopt;
    ListMarker marker;
    marker_end = start;
    if (size_t length = numbering_length(text, start); length > 0) {
        marker_end = start + length;
        marker.ordered = true;
    } else if (!is_bullet(next_code_point(text, marker_end))) {
        return std::nullopt;
    }
    marker.text = text.substr(start, marker_end - start);
    after = skip_spaces(text, marker_end);
    marker.length = after;
    return marker;
}

}  // namespace

std::optional<ListMarker> find_list_marker(const std::string& text) {
    size_t marker_end = 0, after = 0;
    std::optional<ListMarker> marker = marker_at_start(text, marker_end, after);
    // The marker must stand apart from the text that follows it.
    if (!marker || after == marker_end || after >= text.size()) return std::nullopt;
    return marker;
}

bool is_bare_list_marker(const std::string& text) {
    size_t marker_end = 0, after = 0;
    std::optional<ListMarker> marker = marker_at_start(text, marker_end, after);
    return marker && after >= text.size();
}

void remove_leading_text(Line& line, size_t bytes) {
    std::vector<Span> kept;
    for (Span& span : line.spans) {
        if (bytes >= span.text.size()) {
            bytes -= span.text.size();
            continue;
        }
        if (bytes > 0) {
            int before = count_code_points(span.text);
            span.text.erase(0, bytes);
            int after = count_code_points(span.text);
            // Glyph positions are not kept; narrow the box in proportion.
            if (before > 0) span.box.x0 += span.box.width() * static_cast<float>(before - after) / before;
            bytes = 0;
        }
        kept.push_back(std::move(span));
    }
    line.spans = std::move(kept);
    if (line.spans.empty()) return;
    Rect box;
    for (const Span& span : line.spans) box = box.united(span.box);
    line.box.x0 = box.x0;
    line.box.x1 = box.x1;
}

std::vector<int> list_levels(const std::vector<float>& indent_x, float tolerance) {
    std::vector<float> open;  // x of the markers of the open levels, outermost first
    std::vector<int> levels;
    levels.reserve(indent_x.size());
    for (float x : indent_x) {
        while (!open.empty() && open.back() > x + tolerance) open.pop_back();
        if (open.empty() || x > open.back() + tolerance) open.push_back(x);
        levels.push_back(static_cast<int>(open.size()) - 1);
    }
    return levels;
}

}  // namespace foli
