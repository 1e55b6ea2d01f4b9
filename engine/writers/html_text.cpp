#include "writers/html_text.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace foli::html {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at `pos`; returns the code point and its
// length in bytes, or U+FFFD and length 1 for a malformed sequence.
char32_t decode(std::string_view text, size_t pos, size_t& length) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(pos);
    length = 1;
    if (lead < 0x80) return lead;
    size_t count = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (count == 0 || lead > 0xF4 || pos + count > text.size()) return kReplacement;
    char32_t c = lead & (0x7F >> count);
    for (size_t i = 1; i < count; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80) return kReplacement;
        c = (c << 6) | (byte(pos + i) & 0x3F);
    }
    static const char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[count] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kReplacement;
    length = count;
    return c;
}

bool allowed_in_html(char32_t c) {
    if (c == '\t' || c == '\n') return true;
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return false;
    if (c >= 0xFDD0 && c <= 0xFDEF) return false;
    return (c & 0xFFFE) != 0xFFFE;
}

// Calls `emit(code point, its bytes)` for every character HTML allows.
template <typename Emit>
void for_each_allowed(std::string_view text, Emit emit) {
    static const std::string_view kReplacementBytes = "\xEF\xBF\xBD";
    size_t pos = 0;
    while (pos < text.size()) {
        size_t length = 0;
        char32_t c = decode(text, pos, length);
        if (allowed_in_html(c)) emit(c, c == kReplacement ? kReplacementBytes : text.substr(pos, length));
        pos += length;
    }
}

void append_hex_escape(std::string& out, unsigned value) {
    static const char kDigits[] = "0123456789abcdef";
    out += '\\';
    if (value >= 16) out += kDigits[(value >> 4) & 15];
    out += kDigits[value & 15];
    out += ' ';
}

std::string lowercase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

bool contains_any(const std::string& text, std::initializer_list<const char*> words) {
    auto found = [&](const char* word) { return text.find(word) != std::string::npos; };
    return std::any_of(words.begin(), words.end(), found);
}

bool ends_with(std::string_view text, std::string_view suffix) {
    return text.size() > suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// "TimesNewRomanPS-BoldMT" -> "TimesNewRoman": the family part of a
// PostScript font name, without style and vendor suffixes.
std::string family_part(std::string_view font_name) {
    std::string_view base = font_name.substr(0, font_name.find_first_of("-,"));
    for (std::string_view suffix : {"PSMT", "PS", "MT"})
        if (ends_with(base, suffix)) {
            base.remove_suffix(suffix.size());
            break;
        }
    return std::string(base);
}

// "TimesNewRoman" -> "Times New Roman".
std::string spaced_words(const std::string& name) {
    std::string spaced;
    for (size_t i = 0; i < name.size(); ++i) {
        bool upper = name[i] >= 'A' && name[i] <= 'Z';
        bool after_lower = i > 0 && name[i - 1] >= 'a' && name[i - 1] <= 'z';
        if (upper && after_lower) spaced += ' ';
        spaced += name[i];
    }
    return spaced;
}

}  // namespace

void append_escaped(std::string& out, std::string_view text) {
    for_each_allowed(text, [&](char32_t c, std::string_view bytes) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += bytes; break;
        }
    });
}

std::string escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    append_escaped(out, text);
    return out;
}

std::string css_string(std::string_view text) {
    std::string out = "\"";
    for_each_allowed(text, [&](char32_t c, std::string_view bytes) {
        if (c < 0x20 || c == '"' || c == '\'' || c == '\\' || c == '<' || c == '>' || c == '&')
            append_hex_escape(out, static_cast<unsigned>(c));
        else
            out += bytes;
    });
    out += '"';
    return out;
}

std::string url_path(std::string_view path) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (char ch : path) {
        auto c = static_cast<unsigned char>(ch);
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                     c == '_' || c == '.' || c == '~' || c == '/';
        if (plain) {
            out += ch;
        } else {
            out += '%';
            out += kDigits[c >> 4];
            out += kDigits[c & 15];
        }
    }
    return out;
}

bool is_safe_link(std::string_view uri) {
    std::string lower = lowercase(uri.substr(0, 10));
    for (const char* scheme : {"http://", "https://", "mailto:", "tel:", "ftp://"})
        if (lower.compare(0, std::char_traits<char>::length(scheme), scheme) == 0) return true;
    return false;
}

std::string points(float value) {
    long hundredths = std::isfinite(value) ? std::lround(static_cast<double>(value) * 100.0) : 0;
    std::string out;
    if (hundredths < 0) {
        out += '-';
        hundredths = -hundredths;
    }
    out += std::to_string(hundredths / 100);
    long fraction = hundredths % 100;
    if (fraction != 0) {
        out += '.';
        out += static_cast<char>('0' + fraction / 10);
        if (fraction % 10 != 0) out += static_cast<char>('0' + fraction % 10);
    }
    if (out == "-0") out = "0";
    return out + "pt";
}

int css_pixels(float points) {
    if (!std::isfinite(points)) return 1;
    return static_cast<int>(std::max(1L, std::lround(static_cast<double>(points) * 96.0 / 72.0)));
}

std::string css_color(uint32_t rgb) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out = "#";
    for (int shift = 20; shift >= 0; shift -= 4) out += kDigits[(rgb >> shift) & 15];
    return out;
}

GenericFamily generic_family(std::string_view font_name, bool monospace) {
    std::string name = lowercase(font_name);
    if (monospace || contains_any(name, {"mono", "courier", "consol", "menlo", "typewriter", "code"}))
        return GenericFamily::Monospace;
    if (contains_any(name, {"sans", "gothic", "grotesk", "arial", "helvet"})) return GenericFamily::SansSerif;
    if (contains_any(name, {"serif", "times", "roman", "georgia", "garamond", "cambria", "palatino", "book",
                            "minion", "baskerville", "caslon", "century", "bodoni", "didot", "charter", "antiqua",
                            "constantia", "song", "ming", "mincho", "batang"}))
        return GenericFamily::Serif;
    return GenericFamily::SansSerif;
}

const char* generic_name(GenericFamily family) {
    switch (family) {
    case GenericFamily::Serif: return "serif";
    case GenericFamily::Monospace: return "monospace";
    case GenericFamily::SansSerif: break;
    }
    return "sans-serif";
}

std::string font_family(std::string_view family, GenericFamily generic) {
    return css_string(family) + "," + generic_name(generic);
}

std::string pdf_font_family(std::string_view font_name, bool monospace) {
    GenericFamily generic = generic_family(font_name, monospace);
    std::string family = family_part(font_name);
    if (family.empty()) return generic_name(generic);
    std::string value = css_string(family) + ",";
    std::string spaced = spaced_words(family);
    if (spaced != family) value += css_string(spaced) + ",";
    return value + generic_name(generic);
}

std::string language_tag(std::string_view text) {
    if (text.empty() || text.size() > 35) return "und";
    auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (!letter(text[0])) return "und";
    for (char c : text)
        if (!letter(c) && !(c >= '0' && c <= '9') && c != '-') return "und";
    return std::string(text);
}

}  // namespace foli::html
