// Reading order of the things on a page (text lines, tables, images) from
// their boxes alone, by a recursive XY-cut: a region is cut into bands at
// the horizontal whitespace running across it, and read band after band;
// consecutive bands whose vertical whitespace lines up into a gutter form
// a multi-column band, read column by column, each column to its end
// before the next one starts. A full-width line crosses every gutter and
// so ends the columns above it.
#pragma once

#include <vector>

#include "model/page_model.h"

namespace foli {

// Indices into `boxes` in reading order. `min_gutter` is the narrowest
// vertical whitespace taken as the gap between two columns. Boxes of text
// lines are best given as their core (see text_core) so that lines set
// close together still have whitespace between them.
std::vector<int> reading_order(const std::vector<Rect>& boxes, float min_gutter);

// The middle band of a line's box, about its x-height: line boxes reach
// from the font's ascender to its descender and overlap their neighbours
// when lines are set solid.
inline Rect text_core(const Rect& box) {
    float trim = 0.3f * box.height();
    return {box.x0, box.y0 + trim, box.x1, box.y1 - trim};
}

}  // namespace foli
