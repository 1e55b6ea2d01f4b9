// The analysed page: the page model's content regrouped into blocks in
// reading order. Every writer of a text-bearing format reads this.
#pragma once

#include <string>
#include <vector>

#include "model/page_model.h"

namespace foli {

struct TableCell {
    int row = 0, column = 0;
    int row_span = 1, column_span = 1;
    Rect box;
    std::vector<Line> lines;  // in reading order inside the cell

    std::string text() const;  // lines joined with spaces
};

struct Table {
    Rect box;
    int rows = 0, columns = 0;
    std::vector<float> column_edges;  // columns + 1 x positions
    std::vector<float> row_edges;     // rows + 1 y positions
    std::vector<TableCell> cells;     // row-major; a spanning cell appears once
    bool ruled = false;               // found from vector rules rather than text alignment
};

enum class BlockKind { Paragraph, Heading, ListItem, Table, Image };

struct Block {
    BlockKind kind = BlockKind::Paragraph;
    Rect box;
    std::vector<Line> lines;  // Paragraph, Heading, ListItem: the text (a list item without its marker)
    int heading_level = 0;    // Heading: 1 (largest) to 6
    bool ordered = false;     // ListItem: numbered rather than bulleted
    int list_level = 0;       // ListItem: 0 for the outermost list
    std::string marker;       // ListItem: the marker as printed ("•", "1.", "a)")
    Table table;              // Table
    int image = -1;           // Image: index into PageModel::images
};

struct PageLayout {
    PageModel page;
    std::vector<Block> blocks;  // in reading order
    float body_font_size = 0;   // the page's dominant text size
};

struct AnalysisOptions {
    bool detect_tables = true;
    bool include_images = true;
};

// What the analysis carries from page to page of one document: the
// heading sizes seen so far, so that a page whose only headings are
// sub-sections numbers them below the larger headings of earlier pages.
struct DocumentStyle {
    std::vector<float> heading_sizes;  // distinct, largest first
};

// Regroups the page model into blocks in reading order. With a document
// style, heading levels rank against the whole document so far, and the
// style learns this page's heading sizes.
PageLayout analyze_page(PageModel page, const AnalysisOptions& options, DocumentStyle* style = nullptr);

// Joins the lines of a paragraph into one text: lines are joined with a
// space, and a word hyphenated across a line break is joined again.
std::string paragraph_text(const std::vector<Line>& lines);

}  // namespace foli
