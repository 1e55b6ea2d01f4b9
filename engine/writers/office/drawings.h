// Vector drawings on a page (charts, diagrams made of paths), found as
// clusters of the paths the page draws, for the formats that can keep them
// as pictures in flowing text (image_path_enhance).
#pragma once

#include <vector>

#include "analysis/layout.h"
#include "load/document.h"

namespace foli::office {

// The bounds of every path and shading the page draws; none, with a
// warning, when the page cannot be run.
std::vector<Rect> page_path_boxes(const Document& document, const Page& page, bool annotations);

// The regions of the page that hold a drawing: clusters of several paths,
// more than a rule or a bullet in size, that are not a table's rules nor
// the page's background, and hold little text (their labels) rather than
// a paragraph in a frame.
std::vector<Rect> find_drawings(const std::vector<Rect>& path_boxes, const PageLayout& layout);

// Whether a block belongs to a drawing: its box lies mostly inside it.
bool inside_drawing(const Block& block, const Rect& drawing);

}  // namespace foli::office
