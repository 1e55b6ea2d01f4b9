// The font programs a document carries, for writers that embed fonts (OFD
// resources, HTML @font-face). A PDF embeds TrueType, OpenType, bare CFF
// (Type1C, CIDFontType0C) and Type 1 programs, or names a font it does not
// embed, which MuPDF replaces with one of its built-in fonts; Type 3 fonts
// are drawing procedures, not programs.
//
// font_file() turns a program into a file other readers accept: TrueType
// and OpenType as they are, the others rebuilt as TrueType from their glyph
// outlines (see truetype_builder.h). Glyph ids stay MuPDF's, so text can
// name its glyphs by id (OFD's CGTransform) as well as by Unicode.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "load/mupdf_shim.h"

namespace foli {

enum class FontFormat {
    TrueType,  // glyf outlines ("\0\1\0\0" or "true")
    OpenType,  // CFF outlines in an sfnt ("OTTO")
    Cff,       // a bare CFF program (Type1C, CIDFontType0C)
    Type1,     // a Type 1 program (PFA or PFB)
    Type3,     // drawing procedures, no program
    Unknown    // anything else, including TrueType collections
};

struct FontDescription {
    std::string name;    // PostScript name without a subset prefix ("Arial-BoldMT")
    std::string family;  // the name without its style ("Arial")
    bool bold = false;
    bool italic = false;
    bool serif = false;
    bool monospace = false;
    bool embedded = false;  // the program came with the document
    FontFormat format = FontFormat::Unknown;
};

FontDescription describe_font(fz_context* ctx, fz_font* font);

// The program bytes as MuPDF loaded them (empty for Type 3 fonts); valid
// while the font lives.
std::string_view font_program(fz_context* ctx, fz_font* font);

// What a format's bytes say it is.
FontFormat detect_font_format(std::string_view program);

// The glyphs a document draws in one font: glyph id → the Unicode
// character it stands for (0 when unknown).
using GlyphUse = std::map<int, char32_t>;

struct FontFile {
    std::string data;
    std::string_view extension;  // ".ttf" or ".otf"
    bool rebuilt = false;        // converted from CFF or Type 1
};

// A file for the font's program: as it is for TrueType and OpenType,
// rebuilt as TrueType with the glyphs in `used` for CFF and Type 1. None
// for fonts the document does not embed, Type 3 fonts, and programs that
// cannot be read.
std::optional<FontFile> font_file(fz_context* ctx, fz_font* font, const GlyphUse& used);

// Whether font_file() will give a file for this font: it is embedded and
// its program is TrueType or OpenType, or one FreeType reads with
// outlines. Cheap enough to ask when a font is first seen, so that text
// can name glyphs by id only where the font file will be there.
bool font_file_possible(fz_context* ctx, fz_font* font);

}  // namespace foli
