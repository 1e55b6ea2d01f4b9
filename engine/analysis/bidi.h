// Right-to-left text. PDF draws a line's glyphs where they go, so a line
// of Arabic or Hebrew comes out of the page in visual order, its words
// reversed. The Unicode bidirectional algorithm (FriBidi) turns it back
// into the order it is read in: right-to-left runs reversed, numbers and
// Latin words inside them kept left to right, brackets mirrored back.
#pragma once

#include <vector>

#include "analysis/characters.h"

namespace foli {

// Whether the characters include any of a right-to-left script.
bool has_right_to_left(const std::vector<PlacedChar>& chars);

// Reorders a line's characters, given in visual order (left to right on
// the page), into logical order. The line's direction is that of most of
// its strong characters.
void visual_to_logical(std::vector<PlacedChar>& chars);

}  // namespace foli
