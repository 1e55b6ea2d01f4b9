// Plain text: UTF-8 in reading order. Blocks (paragraphs, headings, list
// items, tables) are separated by a blank line, pages by a form feed.
// List items keep their printed marker and are indented two spaces per
// nesting level, and so are contents entries ("Title  21"). Code keeps its
// line breaks and indentation. Images and running heads (page headers,
// footers, page numbers) are left out.
//
// Tables, when table formatting is on, come out as aligned columns padded
// by display width (East Asian wide characters count as two columns), two
// spaces between columns. A cell keeps the line breaks it has on the page:
// each of its lines stays inside its column, and the row is as tall as its
// tallest cell. A cell spanning columns takes their combined width; a cell
// spanning rows is written in its first row and leaves the rows below it
// blank in its columns. With table formatting off a table comes out as one
// line per row, the cell texts separated by single spaces.
#include <algorithm>
#include <string>
#include <vector>

#include "core/errors.h"
#include "writers/text_width.h"
#include "writers/writer.h"

namespace foli {
namespace {

constexpr int kColumnGap = 2;
constexpr int kListIndent = 2;

// One line of a cell with its display width, measured once.
struct CellLine {
    std::string text;
    int width = 0;
};

void trim(std::string& text) {
    size_t end = text.find_last_not_of(" \t");
    if (end == std::string::npos) {
        text.clear();
        return;
    }
    text.erase(end + 1);
    size_t begin = text.find_first_not_of(" \t");
    if (begin > 0) text.erase(0, begin);
}

std::vector<CellLine> cell_lines(const TableCell& cell) {
    std::vector<CellLine> lines;
    lines.reserve(cell.lines.size());
    for (const Line& line : cell.lines) {
        CellLine out{line.text(), 0};
        trim(out.text);
        if (out.text.empty()) continue;
        out.width = display_width(out.text);
        lines.push_back(std::move(out));
    }
    return lines;
}

// Lays a table out in aligned columns and appends it to `out`.
class AlignedTable {
public:
    explicit AlignedTable(const Table& table) : table_(table) {
        lines_.reserve(table.cells.size());
        for (const TableCell& cell : table.cells) lines_.push_back(cell_lines(cell));
        measure_columns();
    }

    void append_to(std::string& out) const {
        for (int row = 0; row < table_.rows; ++row) append_row(row, out);
    }

private:
    bool valid(const TableCell& cell) const {
        return cell.row >= 0 && cell.row < table_.rows && cell.column >= 0 && cell.column < table_.columns;
    }
    int last_column(const TableCell& cell) const {
        return std::min(cell.column + std::max(cell.column_span, 1), table_.columns) - 1;
    }
    static int widest(const std::vector<CellLine>& lines) {
        int width = 0;
        for (const CellLine& line : lines) width = std::max(width, line.width);
        return width;
    }

    // Single cells set the widths first; a spanning cell that is wider than
    // the columns it covers widens the last of them.
    void measure_columns() {
        widths_.assign(static_cast<size_t>(std::max(table_.columns, 0)), 0);
        for (size_t i = 0; i < table_.cells.size(); ++i) {
            const TableCell& cell = table_.cells[i];
            if (valid(cell) && last_column(cell) == cell.column)
                widths_[cell.column] = std::max(widths_[cell.column], widest(lines_[i]));
        }
        for (size_t i = 0; i < table_.cells.size(); ++i) {
            const TableCell& cell = table_.cells[i];
            if (!valid(cell) || last_column(cell) == cell.column) continue;
            int last = last_column(cell);
            int available = column_start(last) + widths_[last] - column_start(cell.column);
            int needed = widest(lines_[i]);
            if (needed > available) widths_[last] += needed - available;
        }
    }

    int column_start(int column) const {
        int start = 0;
        for (int c = 0; c < column; ++c) start += widths_[c] + kColumnGap;
        return start;
    }

    void append_row(int row, std::string& out) const {
        std::vector<size_t> cells;  // cells that start in this row, left to right
        size_t height = 1;
        for (size_t i = 0; i < table_.cells.size(); ++i) {
            if (!valid(table_.cells[i]) || table_.cells[i].row != row) continue;
            cells.push_back(i);
            height = std::max(height, lines_[i].size());
        }
        std::sort(cells.begin(), cells.end(),
                  [this](size_t a, size_t b) { return table_.cells[a].column < table_.cells[b].column; });
        for (size_t k = 0; k < height; ++k) {
            size_t line_start = out.size();
            int position = 0;
            for (size_t i : cells) {
                if (k >= lines_[i].size()) continue;
                int start = column_start(table_.cells[i].column);
                if (position > 0 || start > 0) {
                    // A cell wider than its column (only possible through a
                    // spanning neighbour) still keeps a gap before the next.
                    int pad = std::max(start - position, position > 0 ? 1 : 0);
                    out.append(static_cast<size_t>(pad), ' ');
                    position += pad;
                }
                out += lines_[i][k].text;
                position += lines_[i][k].width;
            }
            if (out.size() == line_start) continue;  // an empty row takes no line
            out += '\n';
        }
    }

    const Table& table_;
    std::vector<std::vector<CellLine>> lines_;  // per cell, in table_.cells order
    std::vector<int> widths_;
};

void append_plain_table(const Table& table, std::string& out) {
    int row = -1;
    for (const TableCell& cell : table.cells) {
        std::string text = cell.text();
        trim(text);
        if (text.empty()) continue;
        if (cell.row != row) {
            if (row >= 0) out += '\n';
            row = cell.row;
        } else {
            out += ' ';
        }
        out += text;
    }
    if (row >= 0) out += '\n';
}

class TextWriter : public Writer {
public:
    explicit TextWriter(WriterContext& context) : context_(context) {
        if (!per_page()) out_ = &context.files.create(context.files.output_path());
    }

    LayoutRequest layout_request() const override {
        LayoutRequest request;
        request.model.images = false;
        request.model.links = false;
        request.model.annotations = context_.options.contain_annotation;
        request.model.vectors = context_.options.txt_table_format;
        request.analysis.detect_tables = context_.options.txt_table_format;
        request.analysis.include_images = false;
        return request;
    }

    void write_page(PageSource& page) override {
        text_.clear();
        append_page(page.layout(), text_);
        if (per_page()) {
            context_.files.write_file(context_.files.page_path(page.number(), ".txt"), text_.data(), text_.size());
            return;
        }
        if (pages_written_++ > 0) *out_ << "\f";
        *out_ << text_;
    }

private:
    bool per_page() const { return context_.options.output_document_per_page; }

    void append_page(const PageLayout& layout, std::string& out) const {
        for (const Block& block : layout.blocks) {
            size_t before = out.size();
            if (before > 0) out += '\n';  // the blank line between blocks
            size_t start = out.size();
            append_block(block, out);
            if (out.size() == start) out.resize(before);  // the block had no text
        }
    }

    void append_block(const Block& block, std::string& out) const {
        switch (block.kind) {
        case BlockKind::Image: return;
        case BlockKind::Table:
            if (context_.options.txt_table_format)
                AlignedTable(block.table).append_to(out);
            else
                append_plain_table(block.table, out);
            return;
        case BlockKind::ListItem: append_list_item(block, out); return;
        case BlockKind::PageHeader:
        case BlockKind::PageFooter: return;  // running heads are not part of the text
        case BlockKind::Code: {
            std::string text = code_text(block);
            if (text.find_first_not_of(" \n") == std::string::npos) return;
            out += text;
            out += '\n';
            return;
        }
        case BlockKind::ContentsEntry: append_contents_entry(block, out); return;
        case BlockKind::Paragraph:
        case BlockKind::Heading: break;
        }
        std::string text = paragraph_text(block.lines);
        trim(text);
        if (text.empty()) return;
        out += text;
        out += '\n';
    }

    // "Title  21", indented by its level like a list item.
    static void append_contents_entry(const Block& block, std::string& out) {
        std::string text = paragraph_text(block.lines);
        trim(text);
        if (text.empty() && block.page_label.empty()) return;
        out.append(static_cast<size_t>(std::max(block.list_level, 0) * kListIndent), ' ');
        out += text;
        if (!block.page_label.empty()) {
            if (!text.empty()) out += "  ";
            out += block.page_label;
        }
        out += '\n';
    }

    static void append_list_item(const Block& block, std::string& out) {
        std::string text = paragraph_text(block.lines);
        trim(text);
        if (text.empty() && block.marker.empty()) return;
        out.append(static_cast<size_t>(std::max(block.list_level, 0) * kListIndent), ' ');
        out += block.marker;
        if (!block.marker.empty() && !text.empty()) out += ' ';
        out += text;
        out += '\n';
    }

    WriterContext& context_;
    OutputStream* out_ = nullptr;
    std::string text_;  // the page being written, reused from page to page
    int pages_written_ = 0;
};

}  // namespace

std::unique_ptr<Writer> make_text_writer(WriterContext& context) { return std::make_unique<TextWriter>(context); }

}  // namespace foli
