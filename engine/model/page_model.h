// The format-neutral model of a page, built once per page from MuPDF's
// structured text and the page's vector graphics, and read by the analysis
// and by every writer. Coordinates are PDF points, origin at the top left
// of the page, y growing downwards.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/geometry.h"
#include "load/document_info.h"
#include "load/mupdf_handle.h"

namespace foli {

// A run of characters of one style on one line.
struct Span {
    std::string text;  // UTF-8
    std::string font;  // font name without a subset prefix ("ABCDEF+")
    float size = 0;    // font size in points
    bool bold = false;
    bool italic = false;
    bool monospace = false;
    uint32_t color = 0;  // 0xRRGGBB
    Rect box;
    std::string link;  // URI of a link covering the span, or empty
};

struct Line {
    std::vector<Span> spans;
    Rect box;
    bool horizontal = true;  // false for vertical or rotated text
    // The way the line runs, in quarter turns clockwise from left to
    // right: 0 →, 1 ↓, 2 ← (upside down), 3 ↑; -1 for any other angle
    // and for vertical writing.
    int turn = 0;
    // The glyphs are drawn mirrored: their tops point the other way from
    // what `turn` gives (text flipped rather than turned).
    bool mirrored = false;

    std::string text() const {
        std::string joined;
        for (const Span& span : spans) joined += span.text;
        return joined;
    }
};

// A block of lines as MuPDF grouped them; the analysis regroups lines into
// paragraphs, headings, list items and table cells.
struct TextBlock {
    std::vector<Line> lines;
    Rect box;
};

struct ImageItem {
    Rect box;             // where the image is drawn on the page
    int pixel_width = 0;  // size of the image itself
    int pixel_height = 0;
    ImageHandle image;    // the image, for writers that export it
};

// A ruling line or a filled rectangle, the raw material of table detection.
struct VectorItem {
    enum class Kind { Line, Rect };
    Kind kind = Kind::Line;
    Rect box;
    bool stroked = false;
    uint32_t color = 0;  // 0xRRGGBB
    float width = 0;     // stroke width of a line
};

struct LinkItem {
    Rect box;
    std::string uri;       // as written in the document
    int target_page = -1;  // 0-based page for links inside the document, else -1
};

struct PageModel {
    int index = 0;  // 0-based page number in the document
    float width = 0;
    float height = 0;
    // Quarter turns counterclockwise the page was turned so that its text
    // reads upright (see turn_upright); coordinates are in that frame.
    int quarter_turns = 0;
    // Or flipped, for text drawn mirrored.
    enum class Flip { None, LeftRight, UpDown };
    Flip flipped = Flip::None;
    std::vector<TextBlock> text_blocks;  // in content-stream order
    std::vector<ImageItem> images;
    std::vector<VectorItem> vectors;
    std::vector<LinkItem> links;
};

}  // namespace foli
