// Rebuilds a font program that FreeType reads (Type 1, bare CFF, CID-keyed
// CFF, OpenType) as a TrueType font: every used glyph's outline, its cubic
// curves approximated by quadratic ones within a small fraction of a font
// unit, with the glyph ids of the original, its advance widths, a Unicode
// cmap for the glyphs whose characters are known, and the tables readers
// require (head, hhea, maxp, OS/2, name, post). Glyphs not used stay empty,
// which keeps subsets of large fonts small. No hinting is kept.
#pragma once

#include <string>
#include <string_view>

#include "load/font_program.h"

namespace foli {

struct TrueTypeNames {
    std::string family;           // "Nimbus Roman"
    std::string postscript_name;  // "NimbusRoman-Bold"
    bool bold = false;
    bool italic = false;
    bool monospace = false;
};

// The TrueType file, or empty when FreeType cannot read the program or it
// has no glyph outlines.
std::string build_truetype(std::string_view program, const GlyphUse& used, const TrueTypeNames& names);

// Whether FreeType reads the program as a font with glyph outlines.
bool readable_outline_font(std::string_view program);

}  // namespace foli
