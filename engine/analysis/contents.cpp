#include "analysis/contents.h"

#include <cctype>

#include "analysis/utf8.h"

namespace foli {
namespace {

constexpr int kMinLeaderDots = 3;

}  // namespace

bool is_page_label(const std::string& label) {
    if (label.empty() || label.size() > 8) return false;
    bool digits = label.find_first_not_of("0123456789") == std::string::npos;
    if (digits) return label.size() <= 4;
    if (label.find_first_not_of("ivxlcdm") == std::string::npos ||
        label.find_first_not_of("IVXLCDM") == std::string::npos)
        return true;
    // Arabic-Indic digits, or one Arabic letter (front matter counts in abjad letters).
    size_t pos = 0;
    int count = 0;
    bool arabic_digits = true, letter = true;
    while (pos < label.size()) {
        char32_t c = next_code_point(label, pos);
        ++count;
        arabic_digits &= (c >= 0x660 && c <= 0x669) || (c >= 0x6F0 && c <= 0x6F9);
        letter &= c >= 0x621 && c <= 0x64A;
    }
    return (arabic_digits && count <= 4) || (letter && count == 1);
}

namespace {

bool has_letter(const std::string& text, size_t end) {
    for (size_t i = 0; i < end; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (std::isalpha(c) || c >= 0xC0) return true;
    }
    return false;
}

}  // namespace

bool ends_with_leader(const std::string& text) {
    int dots = 0;
    for (size_t i = text.size(); i > 0; --i) {
        char c = text[i - 1];
        if (c == '.') ++dots;
        else if (c != ' ') break;
    }
    return dots >= kMinLeaderDots;
}

bool starts_with_leader(const std::string& text) {
    int dots = 0;
    for (char c : text) {
        if (c == '.') ++dots;
        else if (c != ' ') break;
    }
    return dots >= kMinLeaderDots;
}

std::optional<ContentsLine> find_contents_line(const std::string& text, bool linked) {
    size_t end = text.find_last_not_of(' ');
    if (end == std::string::npos) return std::nullopt;
    // "Preface . . . . . 1" and "Preface.....1": the label may touch the dots.
    size_t label_start = end + 1;
    while (label_start > 0 && text[label_start - 1] != ' ' && text[label_start - 1] != '.') --label_start;
    if (label_start == 0) return std::nullopt;
    std::string label = text.substr(label_start, end + 1 - label_start);
    if (!is_page_label(label)) return std::nullopt;

    // Walk back over the leader: dots (ASCII, middle dots, ellipses) and spaces.
    size_t pos = label_start;
    int dots = 0;
    while (pos > 0) {
        size_t back = pos - 1;
        while (back > 0 && (static_cast<unsigned char>(text[back]) & 0xC0) == 0x80) --back;
        size_t next = back;
        char32_t c = next_code_point(text, next);
        if (c == '.' || c == 0xB7 || c == 0x2219 || c == 0x22C5) ++dots;
        else if (c == 0x2026) dots += 3;
        else if (c != ' ' && c != 0xA0) break;
        pos = back;
    }
    if (dots < kMinLeaderDots && !linked) return std::nullopt;
    if (dots < kMinLeaderDots && pos == label_start) return std::nullopt;  // no gap before the number
    if (pos == 0 || !has_letter(text, pos)) return std::nullopt;
    return ContentsLine{pos, label};
}

void keep_leading_text(Line& line, size_t bytes) {
    std::vector<Span> kept;
    for (Span& span : line.spans) {
        if (bytes == 0) break;
        if (span.text.size() > bytes) {
            int before = count_code_points(span.text);
            span.text.resize(bytes);
            int after = count_code_points(span.text);
            // Glyph positions are not kept; narrow the box in proportion.
            if (before > 0) span.box.x1 -= span.box.width() * static_cast<float>(before - after) / before;
        }
        bytes -= span.text.size();
        kept.push_back(std::move(span));
    }
    while (!kept.empty() && kept.back().text.find_first_not_of(' ') == std::string::npos) kept.pop_back();
    if (!kept.empty()) {
        std::string& tail = kept.back().text;
        tail.erase(tail.find_last_not_of(' ') + 1);
    }
    line.spans = std::move(kept);
    if (line.spans.empty()) return;
    Rect box;
    for (const Span& span : line.spans) box = box.united(span.box);
    line.box.x0 = box.x0;
    line.box.x1 = box.x1;
}

}  // namespace foli
