// Font names for the office formats. A PDF names its fonts as PostScript
// names, often with a subset prefix and the style folded in
// ("ABCDEF+Arial-BoldMT"); Word, LibreOffice and RTF readers want a family
// they know ("Arial") and the style as run properties (bold). The standard
// 14 fonts, their free clones and the TeX fonts map to metric-compatible
// families, so that lines break where they broke in the PDF.
#pragma once

#include <string>
#include <string_view>

namespace foli::office {

// The font classes of Word's font table and RTF's \froman, \fswiss, ...
enum class FontClass { Roman, Swiss, Modern, Script, Decorative };

struct OfficeFont {
    std::string family;  // "Times New Roman"; never empty
    bool bold = false;   // the PDF name says bold (or black, heavy, semibold)
    bool italic = false; // the PDF name says italic or oblique
    FontClass font_class = FontClass::Swiss;
    bool fixed_pitch = false;
    bool east_asian = false;  // a font for Chinese, Japanese or Korean
};

// Maps a PDF font name; `monospace` is the page model's own judgement.
// An empty name maps to the default family.
OfficeFont map_pdf_font(std::string_view pdf_name, bool monospace = false);

// A family the caller named (font_name): kept as given, with its class
// guessed from the name.
OfficeFont named_font(std::string_view family);

// What scripts a text holds, for the run properties that depend on them.
struct TextScripts {
    bool east_asian = false;     // han, kana, hangul, CJK punctuation, fullwidth forms
    bool kana = false;           // Japanese
    bool hangul = false;         // Korean
    bool right_to_left = false;  // Hebrew, Arabic, Syriac, Thaana, ...
};

TextScripts scripts_of(std::string_view utf8);

bool is_right_to_left(char32_t c);

// The family for the East Asian characters of a run: the run's own font
// when it is an East Asian one, else a common one for the script (SimSun,
// MS Mincho, Batang, or their sans-serif partners for a sans-serif font).
std::string east_asian_family(const OfficeFont& font, const TextScripts& scripts);

// w:family of Word's font table: "roman", "swiss", "modern", ...
const char* word_font_family(FontClass font_class);
// RTF's font family control word without the backslash: "froman", ...
const char* rtf_font_family(FontClass font_class);

}  // namespace foli::office
