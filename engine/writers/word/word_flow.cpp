// FLOW: the analysed blocks as an editable document. Headings carry the
// built-in heading styles (the outline of Word's navigation pane), list
// items real numbering, tables the column grid with merged cells, and
// pictures sit in the text at their size.
#include <algorithm>
#include <cmath>

#include "core/log.h"
#include "writers/formula_lines.h"
#include "analysis/layout.h"
#include "writers/image_export.h"
#include "writers/office/drawings.h"
#include "writers/office/page_notes.h"
#include "writers/office/table_looks.h"
#include "writers/office/units.h"
#include "writers/office/xml.h"
#include "writers/word/word_pages.h"

namespace foli::word {
namespace {

using office::emu;
using office::twips;

// Share of the text width within which a line counts as centred, and how
// close to an edge a line must end to count as reaching it.
constexpr float kCentreTolerance = 0.04f;
constexpr float kEdgeTolerance = 3.0f;  // points

// "center", "right", "both" or "" (left) from where the lines sit.
const char* alignment_of(const Block& block, const Rect& area) {
    const std::vector<Line>& lines = block.lines;
    if (lines.empty() || area.width() <= 0) return "";
    bool centred = true;
    bool right = true;
    for (const Line& line : lines) {
        if (std::fabs(line.box.center_x() - area.center_x()) > kCentreTolerance * area.width() ||
            line.box.width() > 0.85f * area.width())
            centred = false;
        if (area.x1 - line.box.x1 > kEdgeTolerance * 2 || line.box.x0 - area.x0 < 0.3f * area.width()) right = false;
    }
    // A short left-aligned line near the middle of a wide area is no proof.
    if (centred && lines.size() == 1 && std::fabs(lines[0].box.x0 - area.x0) < 0.1f * area.width()) centred = false;
    if (centred) return "center";
    if (right) return "right";
    if (lines.size() >= 3) {
        float end = block.box.x1;
        bool full = std::all_of(lines.begin(), lines.end() - 1,
                                [&](const Line& line) { return end - line.box.x1 <= kEdgeTolerance; });
        if (full && lines.back().box.x1 < end - kEdgeTolerance) return "both";
    }
    return "";
}

bool is_centred(const Rect& box, const Rect& area) {
    return area.width() > 0 && std::fabs(box.center_x() - area.center_x()) <= kCentreTolerance * area.width() &&
           box.width() < 0.85f * area.width();
}

// The first line indented against the rest: a first-line indent.
long first_line_indent(const Block& block) {
    if (block.lines.size() < 2) return 0;
    float indent = block.lines[0].box.x0 - block.lines[1].box.x0;
    if (indent < 6.0f || indent > 72.0f) return 0;
    return twips(indent);
}

// A picture's size, shrunk to fit the text area.
void fit_to_area(float& width, float& height, const Rect& area) {
    float scale = 1.0f;
    if (area.width() > 0 && width > area.width()) scale = area.width() / width;
    if (area.height() > 0 && height * scale > area.height()) scale = area.height() / height;
    width = std::max(1.0f, width * scale);
    height = std::max(1.0f, height * scale);
}

// The cells of a table by grid position: cell index or -1 (a hole the
// detection left).
std::vector<int> cell_grid(const Table& table) {
    size_t rows = static_cast<size_t>(std::max(table.rows, 0)), columns = static_cast<size_t>(std::max(table.columns, 0));
    std::vector<int> grid(rows * columns, -1);
    for (size_t i = 0; i < table.cells.size(); ++i) {
        const TableCell& cell = table.cells[i];
        for (int r = cell.row; r < cell.row + std::max(cell.row_span, 1); ++r)
            for (int c = cell.column; c < cell.column + std::max(cell.column_span, 1); ++c)
                if (r >= 0 && c >= 0 && static_cast<size_t>(r) < rows && static_cast<size_t>(c) < columns &&
                    grid[static_cast<size_t>(r) * columns + static_cast<size_t>(c)] < 0)
                    grid[static_cast<size_t>(r) * columns + static_cast<size_t>(c)] = static_cast<int>(i);
    }
    return grid;
}

// A border element (w:top, w:left, ...) for a rule: its width in eighths
// of a point, as Word takes them (a quarter point to 12 points).
std::string border_element(const char* side, const office::CellRule& rule) {
    long eighths = std::clamp(std::lround(rule.width * 8.0f), 2L, 96L);
    return std::string("<w:") + side + " w:val=\"single\" w:sz=\"" + std::to_string(eighths) +
           "\" w:space=\"0\" w:color=\"" + office::hex_color(rule.color) + "\"/>";
}

// The borders of one grid position of a cell: the cell's top only in its
// first row, its bottom only in its last.
std::string cell_borders(const office::CellLook& look, bool first_row, bool last_row) {
    std::string out;
    if (first_row && look.top.drawn) out += border_element("top", look.top);
    if (look.left.drawn) out += border_element("left", look.left);
    if (last_row && look.bottom.drawn) out += border_element("bottom", look.bottom);
    if (look.right.drawn) out += border_element("right", look.right);
    return out.empty() ? out : "<w:tcBorders>" + out + "</w:tcBorders>";
}

}  // namespace

Rect content_box(const PageLayout& layout) {
    Rect box;
    for (const Block& block : layout.blocks)
        if (in_flow(block)) box = box.united(block.kind == BlockKind::Table ? block.table.box.united(block.box) : block.box);
    return box.intersected({0, 0, layout.page.width, layout.page.height});
}

std::string inline_picture(WordPackage& package, const std::string& relationship, float width, float height) {
    int id = package.next_drawing_id();
    std::string cx = std::to_string(emu(width)), cy = std::to_string(emu(height));
    std::string name = "Picture " + std::to_string(id);
    return "<w:r><w:drawing><wp:inline distT=\"0\" distB=\"0\" distL=\"0\" distR=\"0\"><wp:extent cx=\"" + cx +
           "\" cy=\"" + cy + "\"/><wp:docPr id=\"" + std::to_string(id) + "\" name=\"" + name +
           "\"/><wp:cNvGraphicFramePr><a:graphicFrameLocks noChangeAspect=\"1\"/></wp:cNvGraphicFramePr>"
           "<a:graphic><a:graphicData uri=\"http://schemas.openxmlformats.org/drawingml/2006/picture\"><pic:pic>"
           "<pic:nvPicPr><pic:cNvPr id=\"" +
           std::to_string(id) + "\" name=\"" + name + "\"/><pic:cNvPicPr/></pic:nvPicPr><pic:blipFill><a:blip r:embed=\"" +
           relationship + "\"/><a:stretch><a:fillRect/></a:stretch></pic:blipFill><pic:spPr><a:xfrm><a:off x=\"0\" "
           "y=\"0\"/><a:ext cx=\"" + cx + "\" cy=\"" + cy +
           "\"/></a:xfrm><a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></pic:spPr></pic:pic></a:graphicData>"
           "</a:graphic></wp:inline></w:drawing></w:r>";
}

std::string page_bookmark_xml(WordPackage& package, int page_number) {
    std::string id = std::to_string(package.next_bookmark_id());
    return "<w:bookmarkStart w:id=\"" + id + "\" w:name=\"" + page_bookmark(page_number) + "\"/><w:bookmarkEnd w:id=\"" +
           id + "\"/>";
}

std::string comment_starts(const std::vector<int>& comments) {
    std::string out;
    for (int id : comments) out += "<w:commentRangeStart w:id=\"" + std::to_string(id) + "\"/>";
    return out;
}

std::string comment_ends(const std::vector<int>& comments) {
    std::string out;
    for (int id : comments) {
        std::string n = std::to_string(id);
        out += "<w:commentRangeEnd w:id=\"" + n + "\"/><w:r><w:rPr><w:rStyle w:val=\"CommentReference\"/></w:rPr>"
               "<w:commentReference w:id=\"" + n + "\"/></w:r>";
    }
    return out;
}

std::vector<std::vector<int>> page_comments(WordPackage& package, PageSource& source,
                                            const std::vector<Rect>& boxes) {
    std::vector<std::vector<int>> comments(boxes.size() + 1);
    std::vector<office::PageNote> notes = office::page_notes(source.document(), source.page());
    std::vector<int> anchors = office::nearest_boxes(notes, boxes);
    for (size_t i = 0; i < notes.size(); ++i) {
        // Without a box the note goes to the end of the page.
        size_t at = anchors[i] < 0 ? boxes.size() : static_cast<size_t>(anchors[i]);
        comments[at].push_back(package.add_comment(notes[i].author, notes[i].text));
    }
    return comments;
}

FlowWriter::FlowWriter(WordPackage& package, RunWriter& runs, const Options& options)
    : package_(package), runs_(runs), options_(options) {}

// Opens a paragraph; the page break and bookmark waiting for the page's
// first paragraph go into it.
void FlowWriter::begin_paragraph(std::string& out, std::string_view properties) {
    out += "<w:p>";
    std::string ppr(properties);
    if (break_pending_) {
        // pageBreakBefore comes right after the paragraph style.
        size_t style = ppr.find("<w:pStyle");
        size_t at = style == std::string::npos ? 0 : ppr.find("/>", style) + 2;
        ppr.insert(at, "<w:pageBreakBefore/>");
        break_pending_ = false;
    }
    if (!ppr.empty()) out += "<w:pPr>" + ppr + "</w:pPr>";
    out += bookmark_pending_;
    bookmark_pending_.clear();
}

// A paragraph of its own for the page's marks, before a table.
void FlowWriter::write_pending_marks(std::string& out) {
    if (!break_pending_ && bookmark_pending_.empty()) return;
    begin_paragraph(out, "<w:spacing w:after=\"0\"/>");
    out += "</w:p>";
}

void FlowWriter::write_page(std::string& out, PageSource& source, bool break_before) {
    const PageLayout& layout = source.layout();
    break_pending_ = break_before;
    bookmark_pending_ = page_bookmark_xml(package_, source.number());
    Rect area = content_box(layout);
    if (area.empty()) area = {0, 0, layout.page.width, layout.page.height};

    // Notes go to the text block they are nearest to.
    std::vector<size_t> text_blocks;
    std::vector<Rect> boxes;
    for (size_t i = 0; i < layout.blocks.size(); ++i) {
        BlockKind kind = layout.blocks[i].kind;
        if (kind == BlockKind::Paragraph || kind == BlockKind::Heading || kind == BlockKind::ListItem) {
            text_blocks.push_back(i);
            boxes.push_back(layout.blocks[i].box);
        }
    }
    std::vector<std::vector<int>> comments;
    if (options_.contain_annotation) comments = page_comments(package_, source, boxes);
    std::vector<std::vector<int>> block_comments(layout.blocks.size());
    for (size_t k = 0; k < text_blocks.size() && k < comments.size(); ++k) block_comments[text_blocks[k]] = comments[k];

    // With image_path_enhance, vector drawings become pictures: in place of
    // the blocks they hold (their labels), else before the first block
    // below their top.
    std::vector<bool> in_drawing(layout.blocks.size(), false);
    std::vector<std::vector<Rect>> drawings_before(layout.blocks.size() + 1);
    if (options_.image_path_enhance) {
        std::vector<Rect> paths = office::page_path_boxes(source.document(), source.page(), options_.contain_annotation);
        for (const Rect& drawing : office::find_drawings(paths, layout)) {
            size_t first = layout.blocks.size();
            for (size_t i = 0; i < layout.blocks.size(); ++i)
                if (office::inside_drawing(layout.blocks[i], drawing)) {
                    in_drawing[i] = true;
                    first = std::min(first, i);
                }
            for (size_t i = 0; i < layout.blocks.size() && first == layout.blocks.size(); ++i)
                if (layout.blocks[i].box.y0 >= drawing.y0) first = i;
            drawings_before[first].push_back(drawing);
        }
    }

    for (size_t index = 0; index < layout.blocks.size(); ++index) {
        const Block& block = layout.blocks[index];
        for (const Rect& drawing : drawings_before[index]) write_drawing(out, source, drawing, area);
        if (in_drawing[index]) continue;
        comments_ = block_comments[index];
        if (block.kind != BlockKind::ListItem) end_list();
        switch (block.kind) {
        case BlockKind::Paragraph:
        case BlockKind::Heading:
            if (options_.formula_to_image) {
                // Runs of formula lines become pictures, the rest stays text.
                size_t start = 0;
                while (start < block.lines.size()) {
                    bool formula = is_formula_line(block.lines[start]);
                    size_t end = start + 1;
                    while (end < block.lines.size() && is_formula_line(block.lines[end]) == formula) ++end;
                    Block part = block;
                    part.lines.assign(block.lines.begin() + static_cast<long>(start),
                                      block.lines.begin() + static_cast<long>(end));
                    part.box = {};
                    for (const Line& line : part.lines) part.box = part.box.united(line.box);
                    if (formula)
                        write_formula(out, source, part, area);
                    else
                        write_text_block(out, part, layout, area);
                    start = end;
                }
            } else {
                write_text_block(out, block, layout, area);
            }
            break;
        case BlockKind::ListItem: write_list_item(out, block, layout); break;
        case BlockKind::Table: write_table(out, block.table, layout, area); break;
        case BlockKind::Image: write_image(out, block, layout, area); break;
        case BlockKind::Code: write_code(out, block); break;
        case BlockKind::ContentsEntry: write_contents_entry(out, block, layout, area); break;
        // Running heads go to the section's header and footer, unless they
        // do not repeat.
        case BlockKind::PageHeader:
        case BlockKind::PageFooter:
            if (heads_in_body_) write_text_block(out, block, layout, area);
            break;
        }
    }
    for (const Rect& drawing : drawings_before.back()) write_drawing(out, source, drawing, area);
    // A page without content still takes a page, and keeps its bookmark;
    // notes near no text end the page.
    comments_ = comments.empty() ? std::vector<int>() : comments.back();
    if (break_pending_ || !bookmark_pending_.empty() || !comments_.empty()) {
        begin_paragraph(out, "");
        open_comments(out);
        close_comments(out);
        out += "</w:p>";
    }
}

void FlowWriter::write_text_block(std::string& out, const Block& block, const PageLayout& layout, const Rect& area) {
    std::vector<office::StyledRun> runs = office::paragraph_runs(block.lines);
    if (runs.empty()) return;
    bool heading = block.kind == BlockKind::Heading;
    std::string ppr;
    if (heading) ppr += "<w:pStyle w:val=\"Heading" + std::to_string(std::clamp(block.heading_level, 1, 6)) + "\"/>";
    bool rtl = RunWriter::mostly_right_to_left(runs);
    if (rtl) ppr += "<w:bidi/>";
    long indent = heading ? 0 : first_line_indent(block);
    if (indent > 0) ppr += "<w:ind w:firstLine=\"" + std::to_string(indent) + "\"/>";
    const char* jc = alignment_of(block, area);
    if (*jc != '\0') ppr += std::string("<w:jc w:val=\"") + jc + "\"/>";
    begin_paragraph(out, ppr);
    open_comments(out);
    RunWriter::Options options;
    options.heading = heading;
    runs_.append(out, runs, layout.page, options);
    close_comments(out);
    out += "</w:p>";
}

void FlowWriter::write_list_item(std::string& out, const Block& block, const PageLayout& layout) {
    std::vector<office::StyledRun> runs = office::paragraph_runs(block.lines);
    int level = std::clamp(block.list_level, 0, 8);
    office::ListNumbering numbering = office::list_numbering(block.marker, block.ordered);
    if (numbering.format == office::NumberFormat::Bullet && block.marker.empty())
        numbering.bullet = office::default_bullet(level);
    std::string kind = numbering.kind();

    // One list goes on while its items follow each other; at the outer
    // level a different kind of marker or a number out of sequence starts
    // a new one, which then starts at its own printed number.
    size_t at = static_cast<size_t>(level);
    bool continues = !list_levels_.empty();
    if (continues && level == 0 && list_levels_[0].num_id != 0) {
        const ListLevel& outer = list_levels_[0];
        bool in_sequence = numbering.format == office::NumberFormat::Bullet || numbering.start == outer.next;
        continues = outer.kind == kind && in_sequence;
    }
    if (!continues) list_levels_.clear();
    int num_id = list_levels_.empty() ? package_.new_list() : list_levels_.front().num_id;
    // Levels deeper than this item's restart after it.
    list_levels_.resize(at + 1);
    for (ListLevel& open : list_levels_) open.num_id = num_id;
    package_.note_list_level(num_id, level, numbering);
    list_levels_[at].kind = kind;
    list_levels_[at].next = numbering.start + 1;

    std::string ppr = "<w:pStyle w:val=\"ListParagraph\"/><w:numPr><w:ilvl w:val=\"" + std::to_string(level) +
                      "\"/><w:numId w:val=\"" + std::to_string(num_id) + "\"/></w:numPr>";
    if (RunWriter::mostly_right_to_left(runs)) ppr += "<w:bidi/>";
    ppr += "<w:ind w:left=\"" + std::to_string(720 + 360 * level) + "\" w:hanging=\"360\"/>";
    begin_paragraph(out, ppr);
    open_comments(out);
    runs_.append(out, runs, layout.page, RunWriter::Options{});
    close_comments(out);
    out += "</w:p>";
}

// A program listing: one paragraph, its lines as printed (indentation
// kept), in the block's own monospaced font.
void FlowWriter::write_code(std::string& out, const Block& block) {
    std::string text = code_text(block);
    if (text.find_first_not_of(" \n") == std::string::npos) return;
    office::StyledRun run;
    run.text = text;
    for (const Line& line : block.lines)
        if (!line.spans.empty()) {
            run.style = office::style_of(line.spans.front());
            break;
        }
    run.style.link.clear();
    run.style.monospace = true;
    begin_paragraph(out, "<w:pStyle w:val=\"Code\"/>");
    open_comments(out);
    runs_.append_run(out, run, RunWriter::Options{}, false);
    close_comments(out);
    out += "</w:p>";
}

// A line of a table of contents: its title, a dot leader to the right
// edge and the page number, linked to the page when it is in the document.
void FlowWriter::write_contents_entry(std::string& out, const Block& block, const PageLayout& layout,
                                      const Rect& area) {
    std::vector<office::StyledRun> runs = office::paragraph_runs(block.lines);
    if (runs.empty() && block.page_label.empty()) return;
    int level = std::clamp(block.list_level, 0, 8);
    long tab = std::max(720L, twips(area.width()));
    std::string ppr = "<w:pStyle w:val=\"TOC" + std::to_string(level + 1) + "\"/><w:tabs><w:tab w:val=\"right\" "
                      "w:leader=\"dot\" w:pos=\"" + std::to_string(tab) + "\"/></w:tabs>";
    begin_paragraph(out, ppr);
    open_comments(out);
    office::StyledRun label;
    label.text = "\t" + block.page_label;
    if (!runs.empty()) label.style = runs.back().style;
    label.style.link.clear();
    runs.push_back(label);
    std::string anchor = block.target_page >= 0 ? page_bookmark(block.target_page + 1) : std::string();
    if (!anchor.empty() && runs_.links_to_page(block.target_page)) {
        out += "<w:hyperlink w:anchor=\"" + anchor + "\" w:history=\"1\">";
        for (office::StyledRun& run : runs) run.style.link.clear();
        runs_.append(out, runs, layout.page, RunWriter::Options{});
        out += "</w:hyperlink>";
    } else {
        runs_.append(out, runs, layout.page, RunWriter::Options{});
    }
    close_comments(out);
    out += "</w:p>";
}

std::string FlowWriter::running_head(PageSource& source, BlockKind kind) {
    const PageLayout& layout = source.layout();
    std::string out;
    float width = layout.page.width;
    for (const Block& block : layout.blocks) {
        if (block.kind != kind) continue;
        std::vector<office::StyledRun> runs = office::paragraph_runs(block.lines);
        if (runs.empty()) continue;
        // Links in a header would need relationships of the header's own.
        for (office::StyledRun& run : runs) run.style.link.clear();
        std::string ppr = kind == BlockKind::PageHeader ? "<w:pStyle w:val=\"Header\"/>" : "<w:pStyle w:val=\"Footer\"/>";
        if (std::fabs(block.box.center_x() - width / 2) < 0.05f * width)
            ppr += "<w:jc w:val=\"center\"/>";
        else if (block.box.x0 > width / 2)
            ppr += "<w:jc w:val=\"right\"/>";
        out += "<w:p><w:pPr>" + ppr + "</w:pPr>";
        RunWriter::Options options;
        options.page_field = source.number();
        runs_.append(out, runs, layout.page, options);
        out += "</w:p>";
    }
    return out;
}

void FlowWriter::write_table(std::string& out, const Table& table, const PageLayout& layout, const Rect& area) {
    if (table.rows <= 0 || table.columns <= 0 || table.column_edges.size() != static_cast<size_t>(table.columns) + 1)
        return;
    write_pending_marks(out);
    size_t columns = static_cast<size_t>(table.columns);
    // Column widths from the grid, shrunk to the text width when wider.
    std::vector<long> widths(columns);
    float total = table.column_edges.back() - table.column_edges.front();
    float scale = area.width() > 0 && total > area.width() ? area.width() / total : 1.0f;
    for (size_t c = 0; c < columns; ++c)
        widths[c] = std::max(1L, twips((table.column_edges[c + 1] - table.column_edges[c]) * scale));
    long table_width = 0;
    for (long width : widths) table_width += width;

    // A full grid of like rules is the table's own borders; other rules
    // (between the rows only, under the header) and fills go to the cells.
    office::TableLooks looks = office::table_looks(table, layout.page);
    out += "<w:tbl><w:tblPr><w:tblStyle w:val=\"";
    out += looks.full_grid ? "TableGrid" : "TableNormal";
    out += "\"/><w:tblW w:w=\"" + std::to_string(table_width) + "\" w:type=\"dxa\"/>";
    if (looks.full_grid) {
        out += "<w:tblBorders>";
        for (const char* side : {"top", "left", "bottom", "right", "insideH", "insideV"})
            out += border_element(side, looks.grid_rule);
        out += "</w:tblBorders>";
    }
    out += "<w:tblLayout w:type=\"fixed\"/><w:tblLook w:val=\"04A0\" w:firstRow=\"1\" w:lastRow=\"0\" "
           "w:firstColumn=\"1\" w:lastColumn=\"0\" w:noHBand=\"0\" w:noVBand=\"1\"/></w:tblPr><w:tblGrid>";
    for (long width : widths) out += "<w:gridCol w:w=\"" + std::to_string(width) + "\"/>";
    out += "</w:tblGrid>";

    std::vector<int> grid = cell_grid(table);
    bool heights = table.row_edges.size() == static_cast<size_t>(table.rows) + 1;
    for (int r = 0; r < table.rows; ++r) {
        out += "<w:tr>";
        if (heights) {
            long height = twips(table.row_edges[static_cast<size_t>(r) + 1] - table.row_edges[static_cast<size_t>(r)]);
            if (height > 0) out += "<w:trPr><w:trHeight w:val=\"" + std::to_string(height) + "\" w:hRule=\"atLeast\"/></w:trPr>";
        }
        size_t c = 0;
        while (c < columns) {
            int index = grid[static_cast<size_t>(r) * columns + c];
            const TableCell* cell = index >= 0 ? &table.cells[static_cast<size_t>(index)] : nullptr;
            // A cell reaching in from the left is written where it starts.
            size_t span = 1;
            bool continued = false;
            if (cell != nullptr) {
                size_t end = static_cast<size_t>(std::max(cell->column, 0) + std::max(cell->column_span, 1));
                span = std::max<size_t>(1, std::min(end, columns) - c);
                continued = cell->row < r;
            }
            long width = 0;
            for (size_t k = c; k < c + span; ++k) width += widths[k];
            out += "<w:tc><w:tcPr><w:tcW w:w=\"" + std::to_string(width) + "\" w:type=\"dxa\"/>";
            if (span > 1) out += "<w:gridSpan w:val=\"" + std::to_string(span) + "\"/>";
            if (cell != nullptr && cell->row_span > 1) out += continued ? "<w:vMerge/>" : "<w:vMerge w:val=\"restart\"/>";
            const office::CellLook no_look;
            const office::CellLook& look = cell != nullptr ? looks.cells[static_cast<size_t>(index)] : no_look;
            if (cell != nullptr) {
                bool last_row = r + 1 >= cell->row + std::max(cell->row_span, 1);
                if (!looks.full_grid) out += cell_borders(look, !continued, last_row);
                if (look.filled)
                    out += "<w:shd w:val=\"clear\" w:color=\"auto\" w:fill=\"" + office::hex_color(look.fill) + "\"/>";
                if (look.down != office::CellAlign::Start)
                    out += look.down == office::CellAlign::Centre ? "<w:vAlign w:val=\"center\"/>" : "<w:vAlign w:val=\"bottom\"/>";
            }
            out += "</w:tcPr>";
            // Every cell holds at least one paragraph.
            std::vector<std::vector<Line>> paragraphs;
            if (cell != nullptr && !continued) paragraphs = office::cell_paragraphs(cell->lines, cell->box);
            if (paragraphs.empty()) paragraphs.emplace_back();
            std::string ppr = "<w:pStyle w:val=\"TableText\"/>";
            if (look.across != office::CellAlign::Start)
                ppr += look.across == office::CellAlign::Centre ? "<w:jc w:val=\"center\"/>" : "<w:jc w:val=\"right\"/>";
            RunWriter::Options options;
            if (look.filled) options.background = look.fill;
            for (const std::vector<Line>& lines : paragraphs) {
                out += "<w:p><w:pPr>" + ppr + "</w:pPr>";
                runs_.append(out, office::paragraph_runs(lines), layout.page, options);
                out += "</w:p>";
            }
            out += "</w:tc>";
            c += span;
        }
        out += "</w:tr>";
    }
    out += "</w:tbl>";
}

void FlowWriter::write_image(std::string& out, const Block& block, const PageLayout& layout, const Rect& area) {
    if (!options_.contain_image || block.image < 0 || static_cast<size_t>(block.image) >= layout.page.images.size())
        return;
    const ImageItem& item = layout.page.images[static_cast<size_t>(block.image)];
    ImageExporter::Encoded encoded = ImageExporter::encode(item.image.context(), item.image.get());
    if (encoded.data.empty()) {
        log_warning("page %d: image %d cannot be decoded and is left out", layout.page.index + 1, block.image + 1);
        return;
    }
    std::string relationship = package_.add_image(encoded.data, encoded.extension);
    float width = std::max(1.0f, item.box.width()), height = std::max(1.0f, item.box.height());
    fit_to_area(width, height, {0, 0, std::max(area.width(), layout.page.width * 0.5f), 0});
    begin_paragraph(out, is_centred(item.box, area) ? "<w:jc w:val=\"center\"/>" : "");
    out += inline_picture(package_, relationship, width, height);
    out += "</w:p>";
}

void FlowWriter::write_drawing(std::string& out, PageSource& source, const Rect& drawing, const Rect& area) {
    end_list();
    std::string png = render_formula_png(source.document(), source.page(), drawing);
    if (png.empty()) {
        log_warning("page %d: a drawing cannot be rendered and is left out", source.number());
        return;
    }
    std::string relationship = package_.add_image(png, "png");
    float width = std::max(1.0f, drawing.width()), height = std::max(1.0f, drawing.height());
    // A drawing may reach into the margins as it does on the page.
    float page_width = source.layout().page.width;
    fit_to_area(width, height, {0, 0, std::max(area.width(), std::min(drawing.width(), page_width - 36.0f)), 0});
    begin_paragraph(out, is_centred(drawing, area) ? "<w:jc w:val=\"center\"/>" : "");
    out += inline_picture(package_, relationship, width, height);
    out += "</w:p>";
}

void FlowWriter::write_formula(std::string& out, PageSource& source, const Block& part, const Rect& area) {
    const Rect& box = part.box;
    Rect region{box.x0 - kFormulaMargin, box.y0 - kFormulaMargin, box.x1 + kFormulaMargin, box.y1 + kFormulaMargin};
    std::string png = render_formula_png(source.document(), source.page(), region);
    if (png.empty()) {
        log_warning("page %d: a formula cannot be rendered and stays text", source.number());
        write_text_block(out, part, source.layout(), area);
        return;
    }
    std::string relationship = package_.add_image(png, "png");
    Rect clipped = region.intersected(source.page().bounds());
    begin_paragraph(out, is_centred(clipped, area) ? "<w:jc w:val=\"center\"/>" : "");
    out += inline_picture(package_, relationship, std::max(1.0f, clipped.width()), std::max(1.0f, clipped.height()));
    out += "</w:p>";
}

}  // namespace foli::word
