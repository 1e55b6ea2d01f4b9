// Excel (.xlsx) and CSV: the tables the analysis finds, as cells.
//
// Worksheets by ExcelWorksheetOption: FOR_TABLE one per table ("Page 3
// Table 1"), FOR_PAGE one per page with its tables one below the other
// ("Page 3"), FOR_DOCUMENT one for everything ("Document"); a blank row
// separates tables. A table that goes on at the top of the next page with
// the same columns stays one table (FOR_TABLE and FOR_DOCUMENT): its rows
// follow on, without the header rows the next page repeats.
//
// With excel_all_content, the text of the pages goes into the sheets too,
// one block per row in column A, in reading order around the tables: on a
// page's sheet, or, one sheet per table, above the table that follows it
// on its page or below the one before it. Running heads and page numbers
// are left out, and so is other text in the top and bottom margins between
// the two parts of a continued table.
//
// Cells: numbers as numbers with the number format that keeps their look,
// unambiguous dates as dates, the rest as text (values.h); header rows and
// bold text bold; text of several lines wrapped; merged cells merged;
// column widths from the table's geometry.
//
// Without any table and without excel_all_content the conversion fails
// with NO_TABLE_ERROR and writes nothing. With output_document_per_page
// each page with something to write becomes a workbook of its own,
// `<stem>_<page>.xlsx`.
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "analysis/fragments.h"
#include "core/errors.h"
#include "writers/spreadsheet/sink.h"
#include "writers/writer.h"

namespace foli {
namespace {

// Text this close to the top or bottom of a page is page furniture
// (running heads, page numbers) when it sits between a table's parts.
constexpr float kMarginShare = 0.12f;
// Excel's default font is about this size; table text set smaller gets
// proportionally wider columns, up to kMaxWidthScale.
constexpr float kSheetFontSize = 11.0f;
constexpr float kMaxWidthScale = 1.5f;
// Column edges of two parts of one table differ by at most this share of
// the table's width (or kEdgeSlack points).
constexpr float kEdgeShare = 0.02f;
constexpr float kEdgeSlack = 4.0f;

bool mostly_bold(const TableCell& cell) {
    int chars = 0, bold = 0;
    for (const Line& line : cell.lines)
        for (const Span& span : line.spans) {
            int count = visible_chars(span.text);
            chars += count;
            bold += span.bold ? count : 0;
        }
    return chars > 0 && bold * 2 > chars;
}

std::string block_text(const Block& block) {
    std::string text = paragraph_text(block.lines);
    if (block.kind == BlockKind::ListItem && !block.marker.empty()) text = block.marker + " " + text;
    if (block.kind == BlockKind::ContentsEntry && !block.page_label.empty()) text += " " + block.page_label;
    return text;
}

// The texts of a table's row, column by column, for telling a repeated
// header.
std::vector<std::string> row_texts(const Table& table, int row) {
    std::vector<std::string> texts(static_cast<size_t>(table.columns));
    for (const TableCell& cell : table.cells)
        if (cell.row == row) texts[static_cast<size_t>(cell.column)] = cell.text();
    return texts;
}

float table_font_size(const Table& table) {
    SizeTally sizes;
    for (const TableCell& cell : table.cells)
        for (const Line& line : cell.lines) sizes.add(line);
    return sizes.dominant();
}

// What is kept of the last table placed, to tell whether the next page
// goes on with it.
struct PlacedTable {
    int columns = 0;
    std::vector<float> edges;
    std::vector<std::vector<std::string>> head;  // its first rows' texts
};

bool same_columns(const PlacedTable& previous, const Table& next) {
    if (previous.columns != next.columns || previous.edges.size() != next.column_edges.size()) return false;
    const float width = previous.edges.back() - previous.edges.front();
    const float slack = std::max(kEdgeSlack, kEdgeShare * width);
    for (size_t i = 0; i < previous.edges.size(); ++i)
        if (std::abs(previous.edges[i] - next.column_edges[i]) > slack) return false;
    return true;
}

// Rows at the top of `next` that repeat the first rows of the table it
// continues.
int repeated_rows(const PlacedTable& previous, const Table& next) {
    int rows = 0;
    while (rows < static_cast<int>(previous.head.size()) && rows < next.rows - 1 &&
           row_texts(next, rows) == previous.head[static_cast<size_t>(rows)])
        ++rows;
    return rows;
}

struct Item {
    const Block* block;
    bool table() const { return block->kind == BlockKind::Table; }
};

// A block of text as one row of a sheet, kept beyond its page.
struct TextRow {
    std::string text;
    bool heading = false;
};

class ExcelWriter : public Writer {
public:
    explicit ExcelWriter(WriterContext& context)
        : context_(context), options_(context.options), mode_(options_.excel_worksheet_option) {
        properties_.title = context.info.title;
        properties_.author = context.info.author;
        properties_.subject = context.info.subject;
        properties_.keywords = context.info.keywords;
        properties_.creator = context.info.creator;
        properties_.font = options_.font_name;
        struct stat source;
        if (::stat(context.info.source_path.c_str(), &source) == 0) properties_.created = source.st_mtime;
    }

    LayoutRequest layout_request() const override {
        LayoutRequest request;
        request.model.images = false;
        request.model.links = false;
        request.model.annotations = options_.contain_annotation;
        request.model.vectors = true;
        request.analysis.detect_tables = true;
        request.analysis.include_images = false;
        return request;
    }

    void begin() override {
        if (!per_page()) open_output(0);
    }

    void write_page(PageSource& page) override {
        const PageLayout& layout = page.layout();
        page_number_ = page.number();
        page_height_ = layout.page.height;
        tables_on_page_ = 0;
        std::vector<Item> items;
        bool has_table = false;
        for (const Block& block : layout.blocks) {
            if (block.kind == BlockKind::Table) {
                items.push_back({&block});
                has_table = true;
            } else if (options_.excel_all_content && block.kind != BlockKind::Image && in_flow(block) &&
                       !block_text(block).empty()) {
                items.push_back({&block});
            }
        }
        if (per_page()) {
            if (!has_table && !options_.excel_all_content) return;
            if (items.empty()) return;
            open_output(page_number_);
        }
        switch (mode_) {
        case folia::base::ExcelWorksheetOption::FOR_PAGE: write_page_sheet(items); break;
        case folia::base::ExcelWorksheetOption::FOR_DOCUMENT: write_into_document(items); break;
        default: write_table_sheets(items); break;
        }
        if (per_page()) {
            write_deferred();
            close_output();
        }
    }

    void finish() override {
        if (!per_page()) {
            if (sink_) write_deferred();
            if (tables_ == 0 && !options_.excel_all_content) fail(FOLI_ERR_NO_TABLE, "the document holds no table");
            close_output();
        } else if (outputs_ == 0) {
            fail(FOLI_ERR_NO_TABLE, "the document holds no table");
        }
    }

private:
    bool per_page() const { return options_.output_document_per_page; }

    void open_output(int page) {
        sheet_open_ = false;
        last_table_.reset();
        if (options_.excel_csv_format) {
            sink_ = make_csv_sink(context_.files);
        } else {
            std::string path = page == 0 ? context_.files.output_path() : context_.files.page_path(page, ".xlsx");
            // One sheet for everything streams row by row; a sheet per
            // table or page keeps its few cells instead of the large row
            // buffer a streamed sheet takes (see make_xlsx_sink).
            bool streamed = mode_ == folia::base::ExcelWorksheetOption::FOR_DOCUMENT;
            sink_ = make_xlsx_sink(context_.files, path, properties_, streamed);
        }
        ++outputs_;
    }

    void close_output() {
        sink_->finish();
        sink_.reset();
    }

    // ------------------------------------------------------------ modes

    void write_page_sheet(const std::vector<Item>& items) {
        if (items.empty()) return;
        begin_sheet("Page " + std::to_string(page_number_), {page_key(), 0});
        for (const Item& item : items) place(item);
    }

    void write_into_document(const std::vector<Item>& items) {
        size_t next = go_on(items);
        for (; next < items.size(); ++next) {
            if (defer_trailing_margin(items, next)) return;
            place(items[next]);
        }
    }

    // Text waits for the table it stands above; what is left at the end of
    // the page goes below the last table (or, on a page before any table,
    // onto a sheet of the page's own).
    void write_table_sheets(const std::vector<Item>& items) {
        size_t next = go_on(items);
        std::vector<const Item*> waiting;
        for (; next < items.size(); ++next) {
            const Item& item = items[next];
            if (!item.table()) {
                if (waiting.empty() && defer_trailing_margin(items, next)) return;
                waiting.push_back(&item);
                continue;
            }
            begin_sheet("Page " + std::to_string(page_number_) + " Table " + std::to_string(tables_on_page_ + 1),
                        {page_key(), tables_on_page_ + 1});
            for (const Item* text : waiting) place(*text);
            waiting.clear();
            place(item);
        }
        for (const Item* text : waiting) place(*text);
    }

    // ------------------------------------------------------ continuation

    // Continues the last table placed with the page's first table when it
    // has the same columns and only page furniture stands between them;
    // returns the index of the first item still to place.
    size_t go_on(const std::vector<Item>& items) {
        if (mode_ == folia::base::ExcelWorksheetOption::FOR_PAGE) return 0;
        if (last_table_ && last_item_was_table_ && sheet_open_) {
            for (size_t i = 0; i < items.size(); ++i) {
                if (!items[i].table()) {
                    if (in_top_margin(*items[i].block)) continue;
                    break;
                }
                const Table& table = items[i].block->table;
                if (!same_columns(*last_table_, table)) break;
                deferred_.clear();  // running heads and page numbers between the parts
                place_table(table, true, repeated_rows(*last_table_, table));
                return i + 1;
            }
        }
        write_deferred();
        return 0;
    }

    // Page furniture the analysis did not tell apart: text in a margin
    // band that is no heading (a heading starts something new).
    bool in_top_margin(const Block& block) const {
        return block.kind != BlockKind::Heading && block.box.y1 <= kMarginShare * page_height_;
    }
    bool in_bottom_margin(const Block& block) const {
        return block.kind != BlockKind::Heading && block.box.y0 >= (1 - kMarginShare) * page_height_;
    }

    // Holds back the text in the bottom margin that follows the page's last
    // table, until the next page tells whether the table goes on there.
    bool defer_trailing_margin(const std::vector<Item>& items, size_t from) {
        if (mode_ == folia::base::ExcelWorksheetOption::FOR_PAGE || !last_item_was_table_) return false;
        for (size_t j = from; j < items.size(); ++j)
            if (items[j].table() || !in_bottom_margin(*items[j].block)) return false;
        for (size_t j = from; j < items.size(); ++j)
            deferred_.push_back({block_text(*items[j].block), items[j].block->kind == BlockKind::Heading});
        return true;
    }

    void write_deferred() {
        std::vector<TextRow> deferred;
        deferred.swap(deferred_);
        for (const TextRow& text : deferred) place_text(text);
    }

    // --------------------------------------------------------- placing

    // The page that names a sheet's CSV file; 0 for the document's one file.
    int page_key() const {
        return mode_ == folia::base::ExcelWorksheetOption::FOR_DOCUMENT && !per_page() ? 0 : page_number_;
    }

    void begin_sheet(const std::string& name, const SheetKey& key) {
        sink_->begin_sheet(name, key);
        sheet_name_ = name;
        sheet_open_ = true;
        next_row_ = 0;
        gap_pending_ = false;
        last_table_.reset();
        last_item_was_table_ = false;
    }

    // The document's sheet, or a page's.
    void begin_default_sheet() {
        if (mode_ == folia::base::ExcelWorksheetOption::FOR_DOCUMENT)
            begin_sheet("Document", {page_key(), 0});
        else
            begin_sheet("Page " + std::to_string(page_number_), {page_key(), 0});
    }

    void place(const Item& item) {
        if (item.table())
            place_table(item.block->table, false, 0);
        else
            place_text({block_text(*item.block), item.block->kind == BlockKind::Heading});
    }

    void place_text(const TextRow& text) {
        if (!sheet_open_) begin_default_sheet();
        if (last_item_was_table_) ++next_row_;  // a blank row under a table
        make_room(1);
        SheetCell cell;
        cell.value.kind = SheetValue::Kind::Text;
        cell.value.text = text.text;
        cell.bold = text.heading;
        sink_->write_row(next_row_++, {cell}, {});
        last_item_was_table_ = false;
        gap_pending_ = true;
    }

    // Starts another sheet of the same kind when this one is full.
    void make_room(int rows) {
        if (next_row_ + rows <= sink_->max_rows()) return;
        std::string name = sheet_name_;
        begin_sheet(name, {page_key(), 0});
    }

    void place_table(const Table& table, bool continuing, int skip_rows) {
        if (!sheet_open_) begin_default_sheet();
        if (!continuing && gap_pending_) ++next_row_;
        const int rows = table.rows - skip_rows;
        if (rows <= 0) return;
        if (next_row_ + rows > sink_->max_rows()) make_room(rows);
        const int origin = next_row_ - skip_rows;  // the sheet row of the table's row 0
        const int columns = std::min(table.columns, sink_->max_columns());

        std::vector<DateOrder> orders = date_orders(table);
        std::vector<std::vector<SheetCell>> row_cells(static_cast<size_t>(table.rows));
        std::vector<std::vector<SheetMerge>> row_merges(static_cast<size_t>(table.rows));
        for (const TableCell& cell : table.cells) {
            if (cell.column >= columns) continue;
            const int last_row = cell.row + cell.row_span - 1;
            if (last_row < skip_rows) continue;
            const bool bold = cell.row < table.header_rows || mostly_bold(cell);
            if (cell.row >= skip_rows) {
                SheetCell out;
                out.column = cell.column;
                out.value = parse_sheet_value(cell.text(), orders[static_cast<size_t>(cell.column)]);
                out.bold = bold;
                out.wrap = cell.lines.size() > 1;
                row_cells[static_cast<size_t>(cell.row)].push_back(std::move(out));
            }
            if ((cell.row_span > 1 || cell.column_span > 1) && cell.row >= skip_rows) {
                SheetMerge merge;
                merge.first_row = origin + cell.row;
                merge.first_column = cell.column;
                merge.last_row = origin + last_row;
                merge.last_column = std::min(cell.column + cell.column_span, columns) - 1;
                merge.bold = bold;
                if (merge.last_row > merge.first_row || merge.last_column > merge.first_column)
                    row_merges[static_cast<size_t>(cell.row)].push_back(merge);
            }
        }
        for (int r = skip_rows; r < table.rows; ++r) {
            std::vector<SheetCell>& cells = row_cells[static_cast<size_t>(r)];
            std::sort(cells.begin(), cells.end(), [](const SheetCell& a, const SheetCell& b) { return a.column < b.column; });
            sink_->write_row(origin + r, cells, row_merges[static_cast<size_t>(r)]);
        }
        next_row_ = origin + table.rows;
        widen_columns(table, columns);
        remember(table, continuing);
        ++tables_;
        if (!continuing) ++tables_on_page_;
        gap_pending_ = true;
        last_item_was_table_ = true;
    }

    static std::vector<DateOrder> date_orders(const Table& table) {
        std::vector<std::vector<std::string>> texts(static_cast<size_t>(table.columns));
        for (const TableCell& cell : table.cells) texts[static_cast<size_t>(cell.column)].push_back(cell.text());
        std::vector<DateOrder> orders;
        orders.reserve(texts.size());
        for (const auto& column : texts) orders.push_back(column_date_order(column));
        return orders;
    }

    void widen_columns(const Table& table, int columns) {
        float size = table_font_size(table);
        float scale = size > 0 ? std::clamp(kSheetFontSize / size, 1.0f, kMaxWidthScale) : 1.0f;
        for (int c = 0; c < columns; ++c)
            sink_->widen_column(c, (table.column_edges[c + 1] - table.column_edges[c]) * scale);
    }

    void remember(const Table& table, bool continuing) {
        if (continuing && last_table_) return;  // keep the first part's header
        PlacedTable placed;
        placed.columns = table.columns;
        placed.edges = table.column_edges;
        for (int r = 0; r < std::max(table.header_rows, 1) && r < table.rows; ++r) placed.head.push_back(row_texts(table, r));
        last_table_ = std::move(placed);
    }

    WriterContext& context_;
    const Options& options_;
    const folia::base::ExcelWorksheetOption mode_;
    WorkbookProperties properties_;
    std::unique_ptr<SheetSink> sink_;
    int outputs_ = 0;
    int tables_ = 0;
    int page_number_ = 0;
    float page_height_ = 0;
    int tables_on_page_ = 0;

    bool sheet_open_ = false;
    std::string sheet_name_;
    int next_row_ = 0;
    bool gap_pending_ = false;
    bool last_item_was_table_ = false;
    std::optional<PlacedTable> last_table_;
    std::vector<TextRow> deferred_;
};

}  // namespace

std::unique_ptr<Writer> make_excel_writer(WriterContext& context) { return std::make_unique<ExcelWriter>(context); }

}  // namespace foli
