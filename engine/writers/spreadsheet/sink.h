// Where the spreadsheet writer's worksheets go: an .xlsx workbook or one
// CSV file per worksheet. The writer hands over rows in increasing order,
// so both can stream: nothing of a row is kept once the next one starts.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/output_files.h"
#include "model/page_model.h"
#include "writers/spreadsheet/values.h"

namespace foli {

struct SheetCell {
    int column = 0;
    SheetValue value;
    bool bold = false;
    bool wrap = false;  // the text holds several lines
};

// A rectangle of cells shown as one; its value is the cell at its top left.
struct SheetMerge {
    int first_row = 0, first_column = 0, last_row = 0, last_column = 0;
    bool bold = false;
};

// Which worksheet of the document a sheet is, for the names of CSV files:
// the page it starts on and, for one sheet per table, the table's number
// on that page (0 for a page's or the document's own sheet).
struct SheetKey {
    int page = 0;  // 1-based; 0 for the one sheet of the whole document
    int table = 0;
};

class SheetSink {
public:
    virtual ~SheetSink() = default;
    // The most rows a worksheet holds.
    virtual int max_rows() const = 0;
    // The most columns a worksheet holds.
    virtual int max_columns() const = 0;
    // Starts a worksheet; the one before it is complete.
    virtual void begin_sheet(const std::string& name, const SheetKey& key) = 0;
    // Writes one row's cells, left to right, after every earlier row, and
    // the merged ranges that start in it.
    virtual void write_row(int row, const std::vector<SheetCell>& cells, const std::vector<SheetMerge>& merges) = 0;
    // Widens a column of the current worksheet to at least `points`.
    virtual void widen_column(int column, float points) = 0;
    // Completes the output; nothing is written after it.
    virtual void finish() = 0;
};

struct WorkbookProperties {
    std::string title, author, subject, keywords, creator;
    std::string font;  // the font of every cell; empty for the default
    // The workbook's creation time: the source file's, so that the same
    // document converts to the same bytes. 0 for the current time.
    long long created = 0;
};

// An .xlsx workbook at `path`, committed with the conversion's other files.
// A `streamed` workbook keeps nothing of a row once the next one starts,
// but holds a buffer of 128 KB for each worksheet (libxlsxwriter's row of
// all 16384 columns): right for one long sheet. Otherwise cells stay in
// memory until the end (about 150 bytes each): right for many small sheets.
std::unique_ptr<SheetSink> make_xlsx_sink(OutputFiles& files, const std::string& path,
                                          const WorkbookProperties& properties, bool streamed);

// CSV files, UTF-8 with a byte order mark, RFC 4180 quoting and line ends:
// the document's one sheet at `<dir>/<stem>.csv`, a page's sheet at
// `<stem>_<page>.csv` and a table's at `<stem>_<page>_<table>.csv` in the
// folder of per-page files.
std::unique_ptr<SheetSink> make_csv_sink(OutputFiles& files);

}  // namespace foli
