// Characters as a line draws them, cleaned before they become text:
//   - a glyph drawn again on top of itself (fake bold: the same text drawn
//     twice a fraction of a point apart) is kept once;
//   - an accent set as a glyph of its own over a letter (TeX's "Br¨oker",
//     "P´eter") is composed with that letter ("Bröker", "Péter"), and so
//     are combining marks; a dotless i takes its accent as an i ("í");
//   - symbols pieced together from a letter and a circle ("c⃝") become the
//     symbol (©, ®);
//   - ligatures are expanded (ﬁ → fi), and Arabic presentation forms (the
//     shapes a letter takes in a word, ligatures of letters) become the
//     letters they stand for, so that text reads and searches the same
//     whichever font set it;
//   - bullets and dingbats that symbol fonts put in the private use area
//     become their Unicode characters.
#pragma once

#include <vector>

#include "model/page_model.h"

namespace foli {

struct PlacedChar {
    char32_t c = 0;
    Rect box;        // the glyph's box on the page
    float size = 0;  // font size
    int style = 0;   // the caller's index of the run style (font, size, colour)
};

// Cleans one line's characters in place, in the order they are drawn.
void clean_characters(std::vector<PlacedChar>& chars);

// The character a symbol font's private-use code stands for, or 0.
char32_t symbol_font_character(char32_t c);

// The precomposed character of `base` with combining `mark`, or 0.
char32_t compose(char32_t base, char32_t mark);

}  // namespace foli
