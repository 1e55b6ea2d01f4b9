// Small text helpers for writing HTML: escaping for text, attributes, CSS
// strings and URLs, locale-independent numbers, and font families.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace foli::html {

// Escapes &<>"' and drops the characters HTML does not allow in a
// document: C0 and C1 controls (tab and newline stay), DEL and Unicode
// noncharacters. Malformed UTF-8 becomes U+FFFD.
void append_escaped(std::string& out, std::string_view text);
std::string escaped(std::string_view text);

// A quoted CSS string that is also safe inside a <style> element and,
// once HTML-escaped, inside a style attribute.
std::string css_string(std::string_view text);

// Percent-encodes a relative file path for use in href or src; slashes
// stay, everything that could end the path or start a scheme is encoded.
std::string url_path(std::string_view path);

// True for URIs a page may link to: web, mail and telephone addresses.
// Anything else (javascript:, data:, file:) is not written as a link.
bool is_safe_link(std::string_view uri);

// A length in points with at most two decimals and no locale: "72pt",
// "10.5pt", "0pt".
std::string points(float value);
// A whole number of CSS pixels for width and height attributes.
int css_pixels(float points);

// "#rrggbb".
std::string css_color(uint32_t rgb);

enum class GenericFamily { Serif, SansSerif, Monospace };

// The generic family a font most likely belongs to, judged by its name.
GenericFamily generic_family(std::string_view font_name, bool monospace);
const char* generic_name(GenericFamily family);

// A CSS font-family value: the given family first, then the generic one.
std::string font_family(std::string_view family, GenericFamily generic);
// The font-family value for a font named in a PDF ("TimesNewRomanPS-BoldMT"
// gives "TimesNewRomanPS","Times New Roman PS",serif).
std::string pdf_font_family(std::string_view font_name, bool monospace);

// A language tag fit for the lang attribute, or "und" when the text is not
// one.
std::string language_tag(std::string_view text);

}  // namespace foli::html
