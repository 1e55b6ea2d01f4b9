#include "writers/text_markdown.h"

#include <algorithm>

namespace foli {
namespace {

constexpr std::string_view kSpecial = "\\`*_[]~<&|";

bool is_space(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
// Letters and digits of any script: bytes of multi-byte UTF-8 count as word characters.
bool is_word(char c) { return is_alpha(c) || is_digit(c) || static_cast<unsigned char>(c) >= 0x80; }

// "&amp;", "&#35;": text that a Markdown reader would take for an entity.
bool looks_like_entity(std::string_view text, size_t amp) {
    size_t i = amp + 1;
    while (i < text.size() && (is_word(text[i]) || text[i] == '#')) ++i;
    return i > amp + 1 && i < text.size() && text[i] == ';';
}

// An underscore inside a word cannot open or close emphasis.
bool underscore_needs_escape(std::string_view text, size_t i) {
    return i == 0 || i + 1 >= text.size() || !is_word(text[i - 1]) || !is_word(text[i + 1]);
}

bool needs_escape(std::string_view text, size_t i, const MarkdownEscape& where) {
    switch (text[i]) {
    case '\\':
    case '`':
    case '*':
    case '[':
    case ']':
    case '~': return true;
    case '_': return underscore_needs_escape(text, i);
    case '<':
        return i + 1 < text.size() &&
               (is_alpha(text[i + 1]) || text[i + 1] == '/' || text[i + 1] == '!' || text[i + 1] == '?');
    case '&': return looks_like_entity(text, i);
    case '|': return where.table_cell;
    default: return false;
    }
}

bool is_thematic_break(std::string_view text) {
    int dashes = 0;
    for (char c : text) {
        if (c == '-')
            ++dashes;
        else if (!is_space(c))
            return false;
    }
    return dashes >= 3;
}

// Position of the one character that would turn the start of a line into
// block syntax (a heading, quote, list item or rule), or npos.
size_t line_start_escape(std::string_view text) {
    if (text.empty()) return std::string_view::npos;
    char first = text[0];
    bool space_after_first = text.size() == 1 || is_space(text[1]);
    if (first == '#') {
        size_t hashes = text.find_first_not_of('#');
        if (hashes == std::string_view::npos) hashes = text.size();
        if (hashes <= 6 && (hashes == text.size() || is_space(text[hashes]))) return 0;
        return std::string_view::npos;
    }
    if (first == '>') return 0;
    if ((first == '-' || first == '+') && (space_after_first || is_thematic_break(text))) return 0;
    if (is_digit(first)) {
        size_t digits = 0;
        while (digits < text.size() && is_digit(text[digits])) ++digits;
        if (digits <= 9 && digits < text.size() && (text[digits] == '.' || text[digits] == ')') &&
            (digits + 1 == text.size() || is_space(text[digits + 1])))
            return digits;
    }
    return std::string_view::npos;
}

}  // namespace

void append_markdown_escaped(std::string_view text, const MarkdownEscape& where, std::string& out) {
    size_t special = where.line_start ? line_start_escape(text) : std::string_view::npos;
    if (special == std::string_view::npos && text.find_first_of(kSpecial) == std::string_view::npos) {
        out.append(text);
        return;
    }
    out.reserve(out.size() + text.size() + 8);
    for (size_t i = 0; i < text.size(); ++i) {
        if (i == special || needs_escape(text, i, where)) out += '\\';
        out += text[i];
    }
}

void append_markdown_code(std::string_view code, bool table_cell, std::string& out) {
    size_t longest = 0;
    size_t run = 0;
    for (char c : code) {
        run = c == '`' ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    std::string fence(longest + 1, '`');
    // A space of padding keeps backticks at the edges apart from the fence;
    // a reader strips one space from each side again.
    bool pad = !code.empty() && (code.front() == '`' || code.back() == '`' ||
                                 (code.front() == ' ' && code.back() == ' '));
    out += fence;
    if (pad) out += ' ';
    for (char c : code) {
        if (c == '|' && table_cell) out += '\\';
        out += c;
    }
    if (pad) out += ' ';
    out += fence;
}

void append_markdown_destination(std::string_view destination, std::string& out) {
    bool bracket = destination.find_first_of(" \t()<>") != std::string_view::npos;
    if (bracket) out += '<';
    for (char c : destination) {
        if (c == '\n' || c == '\r') continue;
        if (c == '<' || c == '>' || c == '\\') out += '\\';
        out += c;
    }
    if (bracket) out += '>';
}

}  // namespace foli
