// Small UTF-8 helpers for the analysis. The page model's text is valid
// UTF-8; a malformed byte still reads as one U+FFFD so that no loop stalls.
#pragma once

#include <cstddef>
#include <string>

namespace foli {

// Decodes the code point at `pos` and moves `pos` past it.
inline char32_t next_code_point(const std::string& text, size_t& pos) {
    unsigned char lead = static_cast<unsigned char>(text[pos]);
    int extra = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
    if (extra == 0) {
        ++pos;
        return lead;
    }
    if (extra < 0 || pos + static_cast<size_t>(extra) >= text.size()) {
        ++pos;
        return 0xFFFD;
    }
    char32_t c = lead & (0x3F >> extra);
    for (int i = 1; i <= extra; ++i) {
        unsigned char next = static_cast<unsigned char>(text[pos + static_cast<size_t>(i)]);
        if ((next & 0xC0) != 0x80) {
            ++pos;
            return 0xFFFD;
        }
        c = (c << 6) | (next & 0x3F);
    }
    pos += static_cast<size_t>(extra) + 1;
    return c;
}

// The code point that ends `text`, or 0 for empty text.
inline char32_t last_code_point(const std::string& text) {
    if (text.empty()) return 0;
    size_t start = text.size() - 1;
    while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80 && text.size() - start < 4) --start;
    size_t pos = start;
    return next_code_point(text, pos);
}

// Number of code points: every byte that does not continue a sequence.
inline int count_code_points(const std::string& text) {
    int count = 0;
    for (char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

inline bool is_space_code_point(char32_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == 0xA0 || (c >= 0x2000 && c <= 0x200B) ||
           c == 0x3000;
}

// Ideographs, kana and hangul: scripts written without spaces between words.
inline bool is_cjk_code_point(char32_t c) {
    return (c >= 0x3040 && c <= 0x30FF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) ||
           (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFFEF) ||
           (c >= 0x3000 && c <= 0x303F) || (c >= 0x20000 && c <= 0x2FFFF);
}

}  // namespace foli
