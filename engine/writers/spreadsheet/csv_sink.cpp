// Worksheets as CSV files: UTF-8 with a byte order mark (so that Excel
// reads the file as UTF-8), fields quoted as RFC 4180 says (when they hold
// a comma, a quote, a line break or surrounding spaces; quotes doubled),
// CRLF between records. Cells are written as printed, which Excel and
// LibreOffice read back as the same numbers and dates; a merged range
// leaves its other cells empty.
#include <algorithm>

#include "writers/spreadsheet/sink.h"

namespace foli {
namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr int kMaxRows = 1 << 30;  // no limit of the format's own
constexpr int kMaxColumns = 1 << 14;

bool needs_quotes(const std::string& text) {
    if (text.empty()) return false;
    if (text.front() == ' ' || text.back() == ' ') return true;
    return text.find_first_of(",\"\r\n") != std::string::npos;
}

void append_field(const std::string& text, std::string& out) {
    if (!needs_quotes(text)) {
        out += text;
        return;
    }
    out += '"';
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

class CsvSink : public SheetSink {
public:
    explicit CsvSink(OutputFiles& files) : files_(files) {}

    int max_rows() const override { return kMaxRows; }
    int max_columns() const override { return kMaxColumns; }

    void begin_sheet(const std::string&, const SheetKey& key) override {
        close_sheet();
        std::string path;
        if (key.page == 0)
            path = files_.directory() + "/" + files_.stem() + ".csv";
        else
            path = files_.page_path(key.page, key.table > 0 ? "_" + std::to_string(key.table) + ".csv" : ".csv");
        out_ = &files_.create(path);
        *out_ << kByteOrderMark;
        next_row_ = 0;
    }

    void write_row(int row, const std::vector<SheetCell>& cells, const std::vector<SheetMerge>&) override {
        line_.clear();
        for (; next_row_ < row; ++next_row_) line_ += "\r\n";
        int column = 0;
        for (const SheetCell& cell : cells) {
            for (; column < cell.column; ++column) line_ += ',';
            append_field(cell.value.text, line_);
        }
        line_ += "\r\n";
        *out_ << line_;
        next_row_ = row + 1;
    }

    void widen_column(int, float) override {}

    void finish() override {
        if (out_ == nullptr) begin_sheet("", {});
        close_sheet();
    }

private:
    // Each file is closed when the next starts, so that a document of many
    // tables holds one file open at a time.
    void close_sheet() {
        if (out_ != nullptr) out_->close();
        out_ = nullptr;
    }

    OutputFiles& files_;
    OutputStream* out_ = nullptr;
    int next_row_ = 0;
    std::string line_;
};

}  // namespace

std::unique_ptr<SheetSink> make_csv_sink(OutputFiles& files) { return std::make_unique<CsvSink>(files); }

}  // namespace foli
