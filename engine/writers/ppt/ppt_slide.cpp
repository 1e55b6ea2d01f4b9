#include "writers/ppt/ppt_slide.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "analysis/tables.h"
#include "writers/office/fonts.h"
#include "writers/office/units.h"
#include "writers/office/xml.h"

namespace foli::ppt {
namespace {

using office::append_attribute;
using office::append_xml;
using office::emu;

// Text boxes are made wider than their text by this share, so that a
// substitute font a little wider than the PDF's keeps each line whole.
constexpr float kTextSlack = 0.15f;
// DrawingML's limits: font sizes in hundredths of a point from 1 to 4000
// points, line spacing up to 1584 points.
constexpr long kMinFontSize = 100, kMaxFontSize = 400000;
constexpr long kMaxLineSpacing = 158400;

long hundredths(float points, long low, long high) {
    long value = office::scaled(points, 100);
    return std::clamp(value, low, high);
}

// The distance between the baselines of a block's lines, or 0 for one line.
float line_pitch(const std::vector<Line>& lines) {
    std::vector<float> steps;
    for (size_t i = 1; i < lines.size(); ++i) {
        float step = lines[i].box.center_y() - lines[i - 1].box.center_y();
        if (step > 0) steps.push_back(step);
    }
    if (steps.empty()) return 0;
    std::nth_element(steps.begin(), steps.begin() + static_cast<long>(steps.size() / 2), steps.end());
    return steps[steps.size() / 2];
}

std::string name_attribute(const char* kind, int id) { return std::string(kind) + " " + std::to_string(id); }

}  // namespace

std::string block_slide_text(const Block& block) {
    std::string text = paragraph_text(block.lines);
    if (block.kind == BlockKind::ListItem && !block.marker.empty()) text = block.marker + " " + text;
    if (block.kind == BlockKind::ContentsEntry && !block.page_label.empty()) text += " " + block.page_label;
    return text;
}

std::string SlideBuilder::place(const Rect& box, float slack) const {
    const float s = placement_.scale;
    float x = placement_.x + box.x0 * s, y = placement_.y + box.y0 * s;
    float width = std::max(box.width() * s * (1 + slack), 0.5f), height = std::max(box.height() * s, 0.5f);
    return "<a:off x=\"" + std::to_string(emu(x)) + "\" y=\"" + std::to_string(emu(y)) + "\"/><a:ext cx=\"" +
           std::to_string(emu(width)) + "\" cy=\"" + std::to_string(emu(height)) + "\"/>";
}

std::string SlideBuilder::transform(const Rect& box, float slack) const {
    return "<a:xfrm>" + place(box, slack) + "</a:xfrm>";
}

void SlideBuilder::picture(const std::string& data, const char* extension, const Rect& box, const char* name) {
    std::string relationship = package_.add_image(relationships_, data, extension);
    int id = next_id();
    shapes_ += "<p:pic><p:nvPicPr><p:cNvPr id=\"" + std::to_string(id) + "\"";
    append_attribute(shapes_, "name", name_attribute(name, id));
    shapes_ += "/><p:cNvPicPr><a:picLocks noChangeAspect=\"1\"/></p:cNvPicPr><p:nvPr/></p:nvPicPr><p:blipFill><a:blip "
               "r:embed=\"" + relationship + "\"/><a:stretch><a:fillRect/></a:stretch></p:blipFill><p:spPr>";
    shapes_ += transform(box, 0);
    shapes_ += "<a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></p:spPr></p:pic>";
}

void SlideBuilder::vector_box(const VectorItem& item) {
    int id = next_id();
    shapes_ += "<p:sp><p:nvSpPr><p:cNvPr id=\"" + std::to_string(id) + "\"";
    append_attribute(shapes_, "name", name_attribute(item.kind == VectorItem::Kind::Line ? "Rule" : "Box", id));
    shapes_ += "/><p:cNvSpPr/><p:nvPr/></p:nvSpPr><p:spPr>";
    shapes_ += transform(item.box, 0);
    shapes_ += "<a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom><a:solidFill><a:srgbClr val=\"" +
               office::hex_color(item.color) + "\"/></a:solidFill><a:ln><a:noFill/></a:ln></p:spPr></p:sp>";
}

void SlideBuilder::append_run(std::string& out, const office::StyledRun& run) {
    const office::RunStyle& style = run.style;
    office::OfficeFont font = office::map_pdf_font(style.font, style.monospace);
    office::TextScripts scripts = office::scripts_of(run.text);
    out += "<a:r><a:rPr lang=\"en-US\" sz=\"" + std::to_string(hundredths(style.size * placement_.scale, kMinFontSize,
                                                                          kMaxFontSize)) + "\"";
    out += (style.bold || font.bold) ? " b=\"1\"" : " b=\"0\"";
    out += (style.italic || font.italic) ? " i=\"1\"" : " i=\"0\"";
    out += " dirty=\"0\"><a:solidFill><a:srgbClr val=\"" + office::hex_color(style.color) + "\"/></a:solidFill>";
    out += "<a:latin";
    append_attribute(out, "typeface", font.family);
    out += "/>";
    if (scripts.east_asian) {
        out += "<a:ea";
        append_attribute(out, "typeface", office::east_asian_family(font, scripts));
        out += "/>";
    }
    out += "<a:cs";
    append_attribute(out, "typeface", font.family);
    out += "/>";
    if (!style.link.empty()) out += "<a:hlinkClick r:id=\"" + relationships_.hyperlink(style.link) + "\"/>";
    out += "</a:rPr><a:t>";
    append_xml(out, run.text);
    out += "</a:t></a:r>";
}

void SlideBuilder::append_runs(std::string& out, const std::vector<office::StyledRun>& runs) {
    for (const office::StyledRun& run : runs) append_run(out, run);
}

void SlideBuilder::text_block(const Block& block, bool title) {
    std::vector<std::vector<office::StyledRun>> lines;
    for (const Line& line : block.lines) {
        std::vector<office::StyledRun> runs = office::line_runs(line);
        if (!runs.empty()) lines.push_back(std::move(runs));
    }
    if (lines.empty()) return;
    // The marker and the page number are not lines of the block.
    if (block.kind == BlockKind::ListItem && !block.marker.empty())
        lines.front().insert(lines.front().begin(), office::StyledRun{block.marker + " ", lines.front().front().style});
    if (block.kind == BlockKind::ContentsEntry && !block.page_label.empty())
        lines.back().push_back(office::StyledRun{" " + block.page_label, lines.back().back().style});

    int id = next_id();
    shapes_ += "<p:sp><p:nvSpPr><p:cNvPr id=\"" + std::to_string(id) + "\"";
    append_attribute(shapes_, "name", name_attribute(title ? "Title" : "Text", id));
    shapes_ += title ? "/><p:cNvSpPr><a:spLocks noGrp=\"1\"/></p:cNvSpPr><p:nvPr><p:ph type=\"title\"/></p:nvPr>"
                     : "/><p:cNvSpPr txBox=\"1\"/><p:nvPr/>";
    shapes_ += "</p:nvSpPr><p:spPr>";
    shapes_ += transform(block.box, kTextSlack);
    shapes_ += "<a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom><a:noFill/></p:spPr><p:txBody>"
               "<a:bodyPr wrap=\"none\" lIns=\"0\" tIns=\"0\" rIns=\"0\" bIns=\"0\" rtlCol=\"0\" anchor=\"t\">"
               "<a:noAutofit/></a:bodyPr><a:lstStyle/><a:p><a:pPr algn=\"l\">";
    float pitch = line_pitch(block.lines) * placement_.scale;
    if (pitch > 0)
        shapes_ += "<a:lnSpc><a:spcPts val=\"" + std::to_string(hundredths(pitch, 100, kMaxLineSpacing)) +
                   "\"/></a:lnSpc>";
    shapes_ += "<a:spcBef><a:spcPts val=\"0\"/></a:spcBef><a:spcAft><a:spcPts val=\"0\"/></a:spcAft></a:pPr>";
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            shapes_ += "<a:br><a:rPr lang=\"en-US\" sz=\"" +
                       std::to_string(hundredths(lines[i].front().style.size * placement_.scale, kMinFontSize,
                                                 kMaxFontSize)) + "\"/></a:br>";
        append_runs(shapes_, lines[i]);
    }
    shapes_ += "</a:p></p:txBody></p:sp>";
}

void SlideBuilder::table(const Table& table) {
    if (table.rows <= 0 || table.columns <= 0) return;
    const float s = placement_.scale;
    std::vector<int> owner(static_cast<size_t>(table.rows * table.columns), -1);
    for (size_t i = 0; i < table.cells.size(); ++i) {
        const TableCell& cell = table.cells[i];
        for (int r = cell.row; r < std::min(cell.row + cell.row_span, table.rows); ++r)
            for (int c = cell.column; c < std::min(cell.column + cell.column_span, table.columns); ++c)
                owner[static_cast<size_t>(r * table.columns + c)] = static_cast<int>(i);
    }
    int id = next_id();
    shapes_ += "<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id=\"" + std::to_string(id) + "\"";
    append_attribute(shapes_, "name", name_attribute("Table", id));
    shapes_ += "/><p:cNvGraphicFramePr><a:graphicFrameLocks noGrp=\"1\"/></p:cNvGraphicFramePr><p:nvPr/>"
               "</p:nvGraphicFramePr><p:xfrm>";
    shapes_ += place(table.box, 0);
    shapes_ += "</p:xfrm><a:graphic><a:graphicData uri=\"http://schemas.openxmlformats.org/drawingml/2006/table\">"
               "<a:tbl><a:tblPr";
    if (table.header_rows > 0) shapes_ += " firstRow=\"1\"";
    shapes_ += "/><a:tblGrid>";
    for (int c = 0; c < table.columns; ++c)
        shapes_ += "<a:gridCol w=\"" +
                   std::to_string(std::max(1L, emu((table.column_edges[c + 1] - table.column_edges[c]) * s))) + "\"/>";
    shapes_ += "</a:tblGrid>";
    for (int r = 0; r < table.rows; ++r) {
        shapes_ += "<a:tr h=\"" + std::to_string(std::max(1L, emu((table.row_edges[r + 1] - table.row_edges[r]) * s))) +
                   "\">";
        for (int c = 0; c < table.columns; ++c) {
            int index = owner[static_cast<size_t>(r * table.columns + c)];
            const TableCell* cell = index >= 0 ? &table.cells[static_cast<size_t>(index)] : nullptr;
            shapes_ += "<a:tc";
            bool origin = cell != nullptr && cell->row == r && cell->column == c;
            if (origin) {
                if (cell->column_span > 1) shapes_ += " gridSpan=\"" + std::to_string(cell->column_span) + "\"";
                if (cell->row_span > 1) shapes_ += " rowSpan=\"" + std::to_string(cell->row_span) + "\"";
            } else if (cell != nullptr) {
                if (c > cell->column) shapes_ += " hMerge=\"1\"";
                if (r > cell->row) shapes_ += " vMerge=\"1\"";
            }
            shapes_ += "><a:txBody><a:bodyPr/><a:lstStyle/>";
            bool wrote = false;
            if (origin)
                for (const std::vector<Line>& paragraph : office::cell_paragraphs(cell->lines, cell->box)) {
                    std::vector<office::StyledRun> runs = office::paragraph_runs(paragraph);
                    if (runs.empty()) continue;
                    shapes_ += "<a:p>";
                    append_runs(shapes_, runs);
                    shapes_ += "</a:p>";
                    wrote = true;
                }
            if (!wrote) shapes_ += "<a:p><a:endParaRPr lang=\"en-US\" sz=\"800\" dirty=\"0\"/></a:p>";
            // The page's rules are shapes of their own: the cells draw none.
            shapes_ += "</a:txBody><a:tcPr marL=\"0\" marR=\"0\" marT=\"0\" marB=\"0\"><a:lnL><a:noFill/></a:lnL>"
                       "<a:lnR><a:noFill/></a:lnR><a:lnT><a:noFill/></a:lnT><a:lnB><a:noFill/></a:lnB><a:noFill/>"
                       "</a:tcPr></a:tc>";
        }
        shapes_ += "</a:tr>";
    }
    shapes_ += "</a:tbl></a:graphicData></a:graphic></p:graphicFrame>";
}

}  // namespace foli::ppt
