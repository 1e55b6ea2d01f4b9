// The format-neutral model of a page, built once per page from MuPDF's
// structured text and the page's vector graphics, and read by the analysis
// and by every writer. Coordinates are PDF points, origin at the top left
// of the page, y growing downwards.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "load/mupdf_handle.h"

namespace foli {

struct Rect {
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0;

    float width() const { return x1 - x0; }
    float height() const { return y1 - y0; }
    float center_x() const { return (x0 + x1) / 2; }
    float center_y() const { return (y0 + y1) / 2; }
    bool empty() const { return x1 <= x0 || y1 <= y0; }

    Rect united(const Rect& other) const {
        if (empty()) return other;
        if (other.empty()) return *this;
        return {std::min(x0, other.x0), std::min(y0, other.y0), std::max(x1, other.x1), std::max(y1, other.y1)};
    }
    Rect intersected(const Rect& other) const {
        return {std::max(x0, other.x0), std::max(y0, other.y0), std::min(x1, other.x1), std::min(y1, other.y1)};
    }
    bool intersects(const Rect& other) const { return !intersected(other).empty(); }
    bool contains(float x, float y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
    float area() const { return empty() ? 0 : width() * height(); }
};

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
    std::vector<TextBlock> text_blocks;  // in content-stream order
    std::vector<ImageItem> images;
    std::vector<VectorItem> vectors;
    std::vector<LinkItem> links;
};

struct OutlineEntry {
    std::string title;
    int level = 0;   // 0 for top-level entries
    int page = -1;   // 0-based target page, -1 if none
    std::string uri; // external target, if any
};

struct DocumentInfo {
    std::string source_path;
    int page_count = 0;
    std::string title, author, subject, keywords, creator, producer;
    std::vector<OutlineEntry> outline;
};

}  // namespace foli
