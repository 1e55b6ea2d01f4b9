// Pages whose text runs sideways or upside down (a landscape table on a
// page turned with /Rotate 90, a page scanned upside down): the page model
// is turned so that most of its text reads left to right, and the analysis
// reads it in that orientation.
#pragma once

#include "model/page_model.h"

namespace foli {

// How most of a page's text runs: quarter turns clockwise (see
// Line::turn) and whether it is drawn mirrored.
struct TextOrientation {
    int turn = 0;
    bool mirrored = false;
};

// The orientation of at least three fifths of the page's characters;
// upright (0, not mirrored) when no orientation has that many.
TextOrientation dominant_orientation(const PageModel& page);

// Turns (or flips) the page so that its dominant text reads left to right
// and upright: every box (spans, lines, blocks, images, vectors, links) is
// mapped into the new frame, width and height swap for a quarter turn,
// and the lines that now run left to right become horizontal. Does
// nothing to a page already upright, so calling it again is harmless.
void turn_upright(PageModel& page);

}  // namespace foli
