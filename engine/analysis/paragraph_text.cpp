// paragraph_text: the lines of a paragraph as one run of text.
#include <string_view>

#include "analysis/layout.h"
#include "analysis/utf8.h"

namespace foli {
namespace {

constexpr char32_t kSoftHyphen = 0xAD;
constexpr char32_t kHyphen = 0x2010;

bool is_lowercase(char32_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 0xDF && c <= 0xFF && c != 0xF7) || (c >= 0x3B1 && c <= 0x3C9) ||
           (c >= 0x430 && c <= 0x45F) || (c >= 0x100 && c <= 0x17F && (c & 1) == 1);
}

bool is_letter(char32_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c != 0xD7 && c != 0xF7 && c < 0x2000);
}

bool is_digit(char32_t c) { return c >= '0' && c <= '9'; }

std::string_view trimmed(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return {};
    size_t end = text.find_last_not_of(" \t");
    return std::string_view(text).substr(begin, end + 1 - begin);
}

// First parts of compounds that keep their hyphen when a line breaks
// after it ("well-known", "self-evident", "so-called").
bool keeps_hyphen(const std::string& word) {
    static const char* const prefixes[] = {"self", "well", "ill", "ex", "all", "half", "quasi", "pseudo",
                                           "cross", "so", "one", "two", "three", "four", "five", "ten"};
    std::string lower;
    for (char c : word) lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    for (const char* prefix : prefixes)
        if (lower == prefix) return true;
    return false;
}

// Joins `next` onto `text` across a line break. A word broken with a
// hyphen before a lowercase continuation is joined again without it; a
// hyphen between parts of a compound, numbers or names stays, without a
// space. Lines of Chinese, Japanese or Korean text join without a space.
void join_line(std::string& text, std::string_view next) {
    const std::string next_text(next);
    size_t pos = 0;
    const char32_t first = next_code_point(next_text, pos);
    const char32_t last = last_code_point(text);
    if (last == kSoftHyphen) {
        text.resize(text.size() - 2);
        text += next;
        return;
    }
    if (last == '-' || last == kHyphen) {
        size_t hyphen_bytes = last == '-' ? 1 : 3;
        size_t word_end = text.size() - hyphen_bytes;
        size_t space = text.find_last_of(' ', word_end == 0 ? 0 : word_end - 1);
        std::string word = text.substr(space == std::string::npos ? 0 : space + 1,
                                       word_end - (space == std::string::npos ? 0 : space + 1));
        char32_t before = last_code_point(word);
        if (is_letter(before) || is_digit(before)) {
            bool broken_word = word.find('-') == std::string::npos && is_letter(before) && is_lowercase(first) &&
                               count_code_points(word) >= 2 && !keeps_hyphen(word);
            if (broken_word) text.resize(word_end);
            text += next;
            return;
        }
    }
    if (is_cjk_code_point(last) && is_cjk_code_point(first)) {
        text += next;
        return;
    }
    text += ' ';
    text += next;
}

}  // namespace

std::string paragraph_text(const std::vector<Line>& lines) {
    std::string text;
    for (const Line& line : lines) {
        const std::string line_text = line.text();
        std::string_view piece = trimmed(line_text);
        if (piece.empty()) continue;
        if (text.empty())
            text = piece;
        else
            join_line(text, piece);
    }
    return text;
}

}  // namespace foli
