#include "writers/office/fonts.h"

#include <algorithm>
#include <array>
#include <string>

#include "analysis/utf8.h"

namespace foli::office {
namespace {

constexpr const char* kDefaultFamily = "Times New Roman";

std::string lowercase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

// Lower case without spaces, hyphens and underscores: the key the tables
// below are written in ("Times New Roman", "TimesNewRoman" and
// "times-new-roman" are one key).
std::string key_of(std::string_view text) {
    std::string key;
    for (char c : text) {
        if (c == ' ' || c == '-' || c == '_') continue;
        key += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return key;
}

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

bool ends_with(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// "ABCDEF+Name": six capital letters and a plus mark a font subset.
std::string_view without_subset_prefix(std::string_view name) {
    if (name.size() > 7 && name[6] == '+' &&
        std::all_of(name.begin(), name.begin() + 6, [](char c) { return c >= 'A' && c <= 'Z'; }))
        name.remove_prefix(7);
    return name;
}

struct KnownFamily {
    const char* key;  // as key_of gives it
    const char* family;
    FontClass font_class;
};

// Fonts and their metric-compatible families: the standard 14, their URW,
// TeX Gyre, Liberation and Chrome OS clones, and the common Office fonts'
// free stand-ins.
constexpr std::array kKnownFamilies{
    KnownFamily{"helvetica", "Arial", FontClass::Swiss},
    KnownFamily{"arial", "Arial", FontClass::Swiss},
    KnownFamily{"liberationsans", "Arial", FontClass::Swiss},
    KnownFamily{"arimo", "Arial", FontClass::Swiss},
    KnownFamily{"nimbussans", "Arial", FontClass::Swiss},
    KnownFamily{"nimbussansl", "Arial", FontClass::Swiss},
    KnownFamily{"texgyreheros", "Arial", FontClass::Swiss},
    KnownFamily{"freesans", "Arial", FontClass::Swiss},
    KnownFamily{"helveticanarrow", "Arial Narrow", FontClass::Swiss},
    KnownFamily{"arialnarrow", "Arial Narrow", FontClass::Swiss},
    KnownFamily{"liberationsansnarrow", "Arial Narrow", FontClass::Swiss},
    KnownFamily{"nimbussansnarrow", "Arial Narrow", FontClass::Swiss},
    KnownFamily{"times", "Times New Roman", FontClass::Roman},
    KnownFamily{"timesroman", "Times New Roman", FontClass::Roman},
    KnownFamily{"timesnewroman", "Times New Roman", FontClass::Roman},
    KnownFamily{"liberationserif", "Times New Roman", FontClass::Roman},
    KnownFamily{"tinos", "Times New Roman", FontClass::Roman},
    KnownFamily{"nimbusroman", "Times New Roman", FontClass::Roman},
    KnownFamily{"nimbusromno9l", "Times New Roman", FontClass::Roman},
    KnownFamily{"nimbusromanno9l", "Times New Roman", FontClass::Roman},
    KnownFamily{"texgyretermes", "Times New Roman", FontClass::Roman},
    KnownFamily{"freeserif", "Times New Roman", FontClass::Roman},
    KnownFamily{"courier", "Courier New", FontClass::Modern},
    KnownFamily{"couriernew", "Courier New", FontClass::Modern},
    KnownFamily{"liberationmono", "Courier New", FontClass::Modern},
    KnownFamily{"cousine", "Courier New", FontClass::Modern},
    KnownFamily{"nimbusmono", "Courier New", FontClass::Modern},
    KnownFamily{"nimbusmonl", "Courier New", FontClass::Modern},
    KnownFamily{"nimbusmonops", "Courier New", FontClass::Modern},
    KnownFamily{"texgyrecursor", "Courier New", FontClass::Modern},
    KnownFamily{"freemono", "Courier New", FontClass::Modern},
    KnownFamily{"symbol", "Symbol", FontClass::Decorative},
    KnownFamily{"standardsymbolsps", "Symbol", FontClass::Decorative},
    KnownFamily{"standardsyml", "Symbol", FontClass::Decorative},
    KnownFamily{"zapfdingbats", "Segoe UI Symbol", FontClass::Decorative},
    KnownFamily{"itczapfdingbats", "Segoe UI Symbol", FontClass::Decorative},
    KnownFamily{"dingbats", "Segoe UI Symbol", FontClass::Decorative},
    KnownFamily{"palatino", "Palatino Linotype", FontClass::Roman},
    KnownFamily{"palatinolinotype", "Palatino Linotype", FontClass::Roman},
    KnownFamily{"urwpalladiol", "Palatino Linotype", FontClass::Roman},
    KnownFamily{"texgyrepagella", "Palatino Linotype", FontClass::Roman},
    KnownFamily{"p052", "Palatino Linotype", FontClass::Roman},
    KnownFamily{"bookantiqua", "Book Antiqua", FontClass::Roman},
    KnownFamily{"bookman", "Bookman Old Style", FontClass::Roman},
    KnownFamily{"itcbookman", "Bookman Old Style", FontClass::Roman},
    KnownFamily{"bookmanoldstyle", "Bookman Old Style", FontClass::Roman},
    KnownFamily{"urwbookmanl", "Bookman Old Style", FontClass::Roman},
    KnownFamily{"urwbookman", "Bookman Old Style", FontClass::Roman},
    KnownFamily{"texgyrebonum", "Bookman Old Style", FontClass::Roman},
    KnownFamily{"newcenturyschlbk", "Century Schoolbook", FontClass::Roman},
    KnownFamily{"centuryschoolbook", "Century Schoolbook", FontClass::Roman},
    KnownFamily{"centuryschl", "Century Schoolbook", FontClass::Roman},
    KnownFamily{"texgyreschola", "Century Schoolbook", FontClass::Roman},
    KnownFamily{"c059", "Century Schoolbook", FontClass::Roman},
    KnownFamily{"avantgarde", "Century Gothic", FontClass::Swiss},
    KnownFamily{"itcavantgarde", "Century Gothic", FontClass::Swiss},
    KnownFamily{"urwgothic", "Century Gothic", FontClass::Swiss},
    KnownFamily{"urwgothicl", "Century Gothic", FontClass::Swiss},
    KnownFamily{"texgyreadventor", "Century Gothic", FontClass::Swiss},
    KnownFamily{"zapfchancery", "Monotype Corsiva", FontClass::Script},
    KnownFamily{"itczapfchancery", "Monotype Corsiva", FontClass::Script},
    KnownFamily{"urwchanceryl", "Monotype Corsiva", FontClass::Script},
    KnownFamily{"texgyrechorus", "Monotype Corsiva", FontClass::Script},
    KnownFamily{"z003", "Monotype Corsiva", FontClass::Script},
    KnownFamily{"calibri", "Calibri", FontClass::Swiss},
    KnownFamily{"carlito", "Calibri", FontClass::Swiss},
    KnownFamily{"calibrilight", "Calibri Light", FontClass::Swiss},
    KnownFamily{"cambria", "Cambria", FontClass::Roman},
    KnownFamily{"caladea", "Cambria", FontClass::Roman},
    KnownFamily{"cambriamath", "Cambria Math", FontClass::Roman},
    KnownFamily{"dejavusans", "DejaVu Sans", FontClass::Swiss},
    KnownFamily{"dejavusanscondensed", "DejaVu Sans Condensed", FontClass::Swiss},
    KnownFamily{"dejavuserif", "DejaVu Serif", FontClass::Roman},
    KnownFamily{"dejavusansmono", "DejaVu Sans Mono", FontClass::Modern},
    KnownFamily{"segoeui", "Segoe UI", FontClass::Swiss},
    KnownFamily{"trebuchetms", "Trebuchet MS", FontClass::Swiss},
    KnownFamily{"comicsansms", "Comic Sans MS", FontClass::Script},
    KnownFamily{"lucidaconsole", "Lucida Console", FontClass::Modern},
    KnownFamily{"consolas", "Consolas", FontClass::Modern},
};

// TeX's Computer Modern and its descendants, by the prefix of their names,
// with the Latin Modern family that has the same metrics.
struct TexFamily {
    const char* prefix;
    const char* family;
    FontClass font_class;
};

constexpr std::array kTexFamilies{
    TexFamily{"lmroman", "Latin Modern Roman", FontClass::Roman},
    TexFamily{"lmsans", "Latin Modern Sans", FontClass::Swiss},
    TexFamily{"lmmono", "Latin Modern Mono", FontClass::Modern},
    TexFamily{"lmmath", "Latin Modern Math", FontClass::Roman},
    TexFamily{"cmmi", "Latin Modern Math", FontClass::Roman},
    TexFamily{"cmsy", "Latin Modern Math", FontClass::Roman},
    TexFamily{"cmex", "Latin Modern Math", FontClass::Roman},
    TexFamily{"msam", "Latin Modern Math", FontClass::Roman},
    TexFamily{"msbm", "Latin Modern Math", FontClass::Roman},
    TexFamily{"cmss", "Latin Modern Sans", FontClass::Swiss},
    TexFamily{"cmtt", "Latin Modern Mono", FontClass::Modern},
    TexFamily{"cmsltt", "Latin Modern Mono", FontClass::Modern},
    TexFamily{"cmitt", "Latin Modern Mono", FontClass::Modern},
    TexFamily{"sfss", "Latin Modern Sans", FontClass::Swiss},
    TexFamily{"sftt", "Latin Modern Mono", FontClass::Modern},
    TexFamily{"cm", "Latin Modern Roman", FontClass::Roman},  // cmr, cmbx, cmti, cmsl, cmcsc, ...
    TexFamily{"sf", "Latin Modern Roman", FontClass::Roman},  // sfrm, sfbx, sfti (cm-super)
};

// Which TeX names are bold or italic: cmbx10, cmti10, cmbxti10, sfbx1200.
void tex_style(std::string_view key, OfficeFont& font) {
    font.bold = contains(key, "bx") || contains(key, "bold") || starts_with(key, "cmb") || contains(key, "demi");
    font.italic = contains(key, "ti") || contains(key, "sl") || contains(key, "italic") || contains(key, "oblique") ||
                  starts_with(key, "cmmi") || starts_with(key, "cmitt");
}

bool is_tex_name(std::string_view key, const TexFamily& tex) {
    if (!starts_with(key, tex.prefix)) return false;
    std::string_view prefix(tex.prefix);
    if (prefix != "cm" && prefix != "sf") return true;
    // Bare "cm"/"sf" names are TeX's only when letters and then a design
    // size follow: "cmr10", "cmbx12", "sfrm1095" (not "cmyk", "sfnsdisplay").
    std::string_view rest = key.substr(prefix.size());
    size_t letters = 0;
    while (letters < rest.size() && rest[letters] >= 'a' && rest[letters] <= 'z') ++letters;
    return letters >= 1 && letters <= 5 && letters < rest.size() && rest[letters] >= '0' && rest[letters] <= '9';
}

// East Asian fonts: names as they appear in PDFs (the Adobe CID fallback
// fonts included), each with the family Word knows.
struct EastAsianFamily {
    const char* prefix;  // of the key
    const char* family;  // "" keeps the font's own family
    FontClass font_class;
};

constexpr std::array kEastAsianFamilies{
    EastAsianFamily{"simsun", "SimSun", FontClass::Roman},
    EastAsianFamily{"nsimsun", "NSimSun", FontClass::Modern},
    EastAsianFamily{"simhei", "SimHei", FontClass::Swiss},
    EastAsianFamily{"simkai", "KaiTi", FontClass::Script},
    EastAsianFamily{"kaiti", "KaiTi", FontClass::Script},
    EastAsianFamily{"fangsong", "FangSong", FontClass::Roman},
    EastAsianFamily{"simfang", "FangSong", FontClass::Roman},
    EastAsianFamily{"stsong", "SimSun", FontClass::Roman},
    EastAsianFamily{"adobesong", "SimSun", FontClass::Roman},
    EastAsianFamily{"stheiti", "SimHei", FontClass::Swiss},
    EastAsianFamily{"adobeheiti", "SimHei", FontClass::Swiss},
    EastAsianFamily{"stkaiti", "KaiTi", FontClass::Script},
    EastAsianFamily{"adobekaiti", "KaiTi", FontClass::Script},
    EastAsianFamily{"stfangsong", "FangSong", FontClass::Roman},
    EastAsianFamily{"adobefangsong", "FangSong", FontClass::Roman},
    EastAsianFamily{"microsoftyahei", "Microsoft YaHei", FontClass::Swiss},
    EastAsianFamily{"msyh", "Microsoft YaHei", FontClass::Swiss},
    EastAsianFamily{"dengxian", "DengXian", FontClass::Swiss},
    EastAsianFamily{"mingliu", "MingLiU", FontClass::Roman},
    EastAsianFamily{"pmingliu", "PMingLiU", FontClass::Roman},
    EastAsianFamily{"adobeming", "PMingLiU", FontClass::Roman},
    EastAsianFamily{"msung", "PMingLiU", FontClass::Roman},
    EastAsianFamily{"microsoftjhenghei", "Microsoft JhengHei", FontClass::Swiss},
    EastAsianFamily{"dfkai", "DFKai-SB", FontClass::Script},
    EastAsianFamily{"msmincho", "MS Mincho", FontClass::Roman},
    EastAsianFamily{"mspmincho", "MS PMincho", FontClass::Roman},
    EastAsianFamily{"msgothic", "MS Gothic", FontClass::Swiss},
    EastAsianFamily{"mspgothic", "MS PGothic", FontClass::Swiss},
    EastAsianFamily{"kozmin", "MS Mincho", FontClass::Roman},
    EastAsianFamily{"ryumin", "MS Mincho", FontClass::Roman},
    EastAsianFamily{"heiseimin", "MS Mincho", FontClass::Roman},
    EastAsianFamily{"kozgo", "MS Gothic", FontClass::Swiss},
    EastAsianFamily{"gothicbbb", "MS Gothic", FontClass::Swiss},
    EastAsianFamily{"heiseikakugo", "MS Gothic", FontClass::Swiss},
    EastAsianFamily{"meiryo", "Meiryo", FontClass::Swiss},
    EastAsianFamily{"yugothic", "Yu Gothic", FontClass::Swiss},
    EastAsianFamily{"yumincho", "Yu Mincho", FontClass::Roman},
    EastAsianFamily{"hiraginomin", "MS Mincho", FontClass::Roman},
    EastAsianFamily{"hiragino", "MS Gothic", FontClass::Swiss},
    EastAsianFamily{"ipamincho", "MS Mincho", FontClass::Roman},
    EastAsianFamily{"ipagothic", "MS Gothic", FontClass::Swiss},
    EastAsianFamily{"batang", "Batang", FontClass::Roman},
    EastAsianFamily{"gungsuh", "Gungsuh", FontClass::Roman},
    EastAsianFamily{"adobemyungjo", "Batang", FontClass::Roman},
    EastAsianFamily{"hysmyeongjo", "Batang", FontClass::Roman},
    EastAsianFamily{"gulim", "Gulim", FontClass::Swiss},
    EastAsianFamily{"dotum", "Dotum", FontClass::Swiss},
    EastAsianFamily{"malgun", "Malgun Gothic", FontClass::Swiss},
    EastAsianFamily{"adobegothic", "Gulim", FontClass::Swiss},
    EastAsianFamily{"hygothic", "Gulim", FontClass::Swiss},
    EastAsianFamily{"notosanscjk", "", FontClass::Swiss},
    EastAsianFamily{"notoserifcjk", "", FontClass::Roman},
    EastAsianFamily{"sourcehansans", "", FontClass::Swiss},
    EastAsianFamily{"sourcehanserif", "", FontClass::Roman},
    EastAsianFamily{"wenquanyi", "", FontClass::Swiss},
    EastAsianFamily{"arplumingcn", "", FontClass::Roman},
    EastAsianFamily{"arplukaicn", "", FontClass::Script},
};

// Style words at the end of a PostScript name's family part, as in
// "ArialBold" or "Times,BoldItalic" written without a hyphen.
constexpr std::array<const char*, 8> kTrailingStyles{"bolditalic", "boldoblique", "italic", "oblique",
                                                     "bold", "regular", "roman", "medium"};

void read_style_words(std::string_view style_key, OfficeFont& font) {
    if (contains(style_key, "bold") || contains(style_key, "black") || contains(style_key, "heavy") ||
        contains(style_key, "demi") || contains(style_key, "semibold") || style_key == "bd" ||
        starts_with(style_key, "bd"))
        font.bold = true;
    if (contains(style_key, "italic") || contains(style_key, "oblique") || ends_with(style_key, "it") ||
        style_key == "ital" || ends_with(style_key, "itmt"))
        font.italic = true;
}

// "TimesNewRoman" -> "Times New Roman"; keeps runs of capitals together
// ("ArialUnicodeMS" -> "Arial Unicode MS").
std::string spaced_words(std::string_view name) {
    std::string spaced;
    for (size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        bool upper = c >= 'A' && c <= 'Z';
        bool after_lower = i > 0 && name[i - 1] >= 'a' && name[i - 1] <= 'z';
        if (upper && after_lower) spaced += ' ';
        spaced += (c == '_' || c == '-') ? ' ' : c;
    }
    return spaced;
}

FontClass guess_class(const std::string& lower, bool monospace) {
    auto any = [&](std::initializer_list<const char*> words) {
        return std::any_of(words.begin(), words.end(), [&](const char* w) { return contains(lower, w); });
    };
    if (monospace || any({"mono", "courier", "consol", "typewriter", "code"})) return FontClass::Modern;
    if (any({"sans", "gothic", "grotesk", "arial", "helvet", "verdana", "tahoma", "frutiger", "univers", "myriad",
             "futura", "gill", "segoe", "hei", "gulim", "dotum"}))
        return FontClass::Swiss;
    if (any({"script", "chancery", "brush", "hand"})) return FontClass::Script;
    if (any({"serif", "times", "roman", "georgia", "garamond", "cambria", "palatino", "book", "minion", "baskerville",
             "caslon", "century", "bodoni", "didot", "charter", "antiqua", "constantia", "song", "ming", "mincho",
             "batang", "myeongjo"}))
        return FontClass::Roman;
    return FontClass::Swiss;
}

const KnownFamily* find_known(const std::string& key) {
    for (const KnownFamily& known : kKnownFamilies)
        if (key == known.key) return &known;
    return nullptr;
}

const EastAsianFamily* find_east_asian(const std::string& key) {
    for (const EastAsianFamily& family : kEastAsianFamilies)
        if (starts_with(key, family.prefix)) return &family;
    return nullptr;
}

}  // namespace

OfficeFont map_pdf_font(std::string_view pdf_name, bool monospace) {
    std::string_view name = without_subset_prefix(pdf_name);
    OfficeFont font;
    if (name.empty()) {
        font.family = kDefaultFamily;
        font.font_class = monospace ? FontClass::Modern : FontClass::Roman;
        font.fixed_pitch = monospace;
        if (monospace) font.family = "Courier New";
        return font;
    }
    std::string whole_key = key_of(name);

    for (const TexFamily& tex : kTexFamilies) {
        if (!is_tex_name(whole_key, tex)) continue;
        font.family = tex.family;
        font.font_class = tex.font_class;
        font.fixed_pitch = tex.font_class == FontClass::Modern;
        tex_style(whole_key.substr(std::string_view(tex.prefix).size()), font);
        return font;
    }

    // Family and style parts: "Arial-BoldMT", "Times,BoldItalic".
    size_t split = name.find_first_of("-,");
    std::string_view family_part = name.substr(0, split);
    std::string style_key = split == std::string_view::npos ? std::string() : key_of(name.substr(split + 1));
    read_style_words(style_key, font);

    for (std::string_view suffix : {"PSMT", "PS", "MT"})
        if (family_part.size() > suffix.size() && ends_with(family_part, suffix)) {
            family_part.remove_suffix(suffix.size());
            break;
        }
    std::string family_key = key_of(family_part);
    // A family whose name ends in a style word ("Times New Roman") keeps it.
    bool named_family = find_known(family_key) != nullptr || find_east_asian(family_key) != nullptr;
    for (const char* style : kTrailingStyles) {
        if (named_family) break;
        if (family_key.size() > std::char_traits<char>::length(style) + 2 && ends_with(family_key, style)) {
            size_t length = std::char_traits<char>::length(style);
            read_style_words(family_key.substr(family_key.size() - length), font);
            family_key.resize(family_key.size() - length);
            family_part = family_part.substr(0, family_part.size() - length);
            break;
        }
    }

    // "MS-PGothic": the hyphen is part of the family's name, not a style.
    const EastAsianFamily* east = find_east_asian(family_key);
    if (east == nullptr && find_known(family_key) == nullptr) east = find_east_asian(whole_key);
    if (east != nullptr) {
        font.east_asian = true;
        font.family = *east->family != '\0' ? std::string(east->family) : spaced_words(family_part);
        font.font_class = east->font_class;
        font.fixed_pitch = monospace;
        return font;
    }
    if (const KnownFamily* known = find_known(family_key)) {
        font.family = known->family;
        font.font_class = known->font_class;
        font.fixed_pitch = known->font_class == FontClass::Modern;
        return font;
    }
    font.family = spaced_words(family_part);
    if (font.family.empty()) font.family = kDefaultFamily;
    font.font_class = guess_class(lowercase(font.family), monospace);
    font.fixed_pitch = font.font_class == FontClass::Modern;
    return font;
}

OfficeFont named_font(std::string_view family) {
    OfficeFont font;
    font.family = std::string(family);
    if (font.family.empty()) font.family = kDefaultFamily;
    std::string key = key_of(family);
    font.east_asian = find_east_asian(key) != nullptr;
    font.font_class = guess_class(lowercase(family), false);
    font.fixed_pitch = font.font_class == FontClass::Modern;
    return font;
}

bool is_right_to_left(char32_t c) {
    return (c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF) ||
           (c >= 0x10800 && c <= 0x10FFF) || (c >= 0x1E800 && c <= 0x1EFFF);
}

TextScripts scripts_of(std::string_view utf8) {
    TextScripts scripts;
    std::string text(utf8);
    size_t pos = 0;
    while (pos < text.size()) {
        char32_t c = next_code_point(text, pos);
        if (c < 0x0590) continue;
        if (is_cjk_code_point(c)) scripts.east_asian = true;
        if (c >= 0x3040 && c <= 0x30FF) scripts.kana = true;
        if ((c >= 0xAC00 && c <= 0xD7AF) || (c >= 0x1100 && c <= 0x11FF) || (c >= 0x3130 && c <= 0x318F)) {
            scripts.hangul = true;
            scripts.east_asian = true;
        }
        if (is_right_to_left(c)) scripts.right_to_left = true;
    }
    return scripts;
}

std::string east_asian_family(const OfficeFont& font, const TextScripts& scripts) {
    if (font.east_asian) return font.family;
    bool sans = font.font_class == FontClass::Swiss;
    if (scripts.kana) return sans ? "MS Gothic" : "MS Mincho";
    if (scripts.hangul) return sans ? "Gulim" : "Batang";
    return sans ? "SimHei" : "SimSun";
}

const char* word_font_family(FontClass font_class) {
    switch (font_class) {
    case FontClass::Roman: return "roman";
    case FontClass::Modern: return "modern";
    case FontClass::Script: return "script";
    case FontClass::Decorative: return "decorative";
    case FontClass::Swiss: break;
    }
    return "swiss";
}

const char* rtf_font_family(FontClass font_class) {
    switch (font_class) {
    case FontClass::Roman: return "froman";
    case FontClass::Modern: return "fmodern";
    case FontClass::Script: return "fscript";
    case FontClass::Decorative: return "fdecor";
    case FontClass::Swiss: break;
    }
    return "fswiss";
}

}  // namespace foli::office
