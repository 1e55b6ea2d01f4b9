// The analysed page: the page model's content regrouped into blocks in
// reading order. Every writer of a text-bearing format reads this.
#pragma once

#include <string>
#include <vector>

#include "analysis/document_style.h"
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
    int header_rows = 0;              // leading rows that head the columns
};

// What a block is. Every kind but Table and Image carries its text in
// `lines`.
//   Paragraph      running text
//   Heading        a section title; `heading_level`
//   ListItem       one item of a list, without its marker; `marker`, `ordered`, `list_level`
//   Code           preformatted text (program listings, shell sessions): one
//                  line per Line, indented as printed (see code_text)
//   ContentsEntry  one line of a table of contents: the title in `lines`,
//                  `page_label` as printed, `target_page` when known,
//                  `list_level` for its nesting
//   PageHeader     text repeated in the top margin of the pages (running
//   PageFooter     heads, page numbers): outside the flow of the text; a
//                  page has these first and last in `blocks`
//   Table          `table`
//   Image          `image`
enum class BlockKind { Paragraph, Heading, ListItem, Table, Image, Code, ContentsEntry, PageHeader, PageFooter };

struct Block {
    BlockKind kind = BlockKind::Paragraph;
    Rect box;
    std::vector<Line> lines;  // the text of every kind but Table and Image
    int heading_level = 0;    // Heading: 1 (largest) to 6
    bool ordered = false;     // ListItem: numbered rather than bulleted
    int list_level = 0;       // ListItem, ContentsEntry: 0 for the outermost level
    std::string marker;       // ListItem: the marker as printed ("•", "1.", "a)")
    std::string page_label;   // ContentsEntry: the page number as printed ("21", "iv")
    int target_page = -1;     // ContentsEntry: 0-based page it points at, -1 if unknown
    Table table;              // Table
    int image = -1;           // Image: index into PageModel::images
};

// Whether a block is part of the text's flow: running heads are not.
inline bool in_flow(const Block& block) {
    return block.kind != BlockKind::PageHeader && block.kind != BlockKind::PageFooter;
}

struct PageLayout {
    PageModel page;
    std::vector<Block> blocks;  // in reading order; page headers first, page footers last
    float body_font_size = 0;   // the page's dominant text size
};

struct AnalysisOptions {
    bool detect_tables = true;
    bool include_images = true;
    // The page model's lines are already in reading order (recognised
    // text: Tesseract's layout, or plain lines): text keeps that order,
    // tables and images go in where their tops fall among the lines.
    bool keep_text_order = false;
    // Keep an image covering the page although the page has text (a scan
    // under its recognised text).
    bool keep_page_background = false;
    // Read a page whose text runs sideways or upside down in the text's
    // upright orientation (see upright.h); the layout's page and boxes are
    // then in that turned frame. Writers that place things as on the
    // printed page turn this off.
    bool upright = true;
};

// Regroups the page model into blocks in reading order. With a document
// style (see document_style.h), body size, heading levels and running heads
// are judged against the whole document, and the style learns from this
// page; without one, against this page alone.
PageLayout analyze_page(PageModel page, const AnalysisOptions& options, DocumentStyle* style = nullptr);

// The text of a Code block: its lines one per line, each indented by as
// many spaces as its left edge lies right of the block's leftmost line.
std::string code_text(const Block& block);

// Joins the lines of a paragraph into one text: lines are joined with a
// space, and a word hyphenated across a line break is joined again.
std::string paragraph_text(const std::vector<Line>& lines);

}  // namespace foli
