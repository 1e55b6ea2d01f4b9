// The notes a PDF page carries as annotations (sticky notes, comments on
// highlighted text, free text), for the formats that show them as
// comments, each tied to the block of text it is nearest to.
#pragma once

#include <string>
#include <vector>

#include "load/document.h"
#include "model/page_model.h"

namespace foli::office {

struct PageNote {
    Rect box;
    std::string text;
    std::string author;
};

// The page's notes; none when they cannot be read (with a warning).
std::vector<PageNote> page_notes(const Document& document, const Page& page);

// For each note, the index of the box it belongs to: the one it overlaps
// most, else the nearest; -1 when there are no boxes.
std::vector<int> nearest_boxes(const std::vector<PageNote>& notes, const std::vector<Rect>& boxes);

}  // namespace foli::office
