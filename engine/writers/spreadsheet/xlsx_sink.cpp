// Worksheets as an .xlsx workbook, through libxlsxwriter. Streamed, in its
// constant memory mode, each row goes to a temporary file as soon as the
// next one starts, so memory stays flat however long the sheet.
//
// Declaring a merged range writes blank cells over the whole range, its
// first cell included, so it comes before the cells of its rows. When
// streamed, a row can no longer be written once a later one has been: a
// range over several rows is declared at its last row, after that row's
// cells; the blank writes into rows already done are refused (and change
// nothing), and the first cell's value was written with its own row.
#include <xlsxwriter.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "analysis/utf8.h"
#include "core/errors.h"
#include "writers/spreadsheet/sink.h"

namespace foli {
namespace {

constexpr size_t kMaxSheetName = 31;  // characters
constexpr int kMaxStringLength = 32767;  // characters in one cell
constexpr double kPixelsPerPoint = 96.0 / 72.0;
constexpr double kMaxColumnPixels = 800;

// Excel's rules for sheet names: at most 31 characters, none of []:*?/\,
// not starting or ending with an apostrophe, unique whatever the case.
class SheetNames {
public:
    std::string unique(const std::string& wanted) {
        std::string base = clean(wanted);
        std::string name = base;
        for (int n = 2; taken(name); ++n) {
            std::string suffix = " (" + std::to_string(n) + ")";
            name = truncate(base, kMaxSheetName - suffix.size()) + suffix;
        }
        used_.push_back(folded(name));
        return name;
    }

private:
    static std::string clean(const std::string& wanted) {
        std::string name;
        size_t pos = 0;
        while (pos < wanted.size()) {
            size_t start = pos;
            char32_t c = next_code_point(wanted, pos);
            bool forbidden = c < 0x20 || c == '[' || c == ']' || c == ':' || c == '*' || c == '?' || c == '/' ||
                             c == '\\' || c == 0xFFFD;
            name += forbidden ? std::string(" ") : wanted.substr(start, pos - start);
        }
        while (!name.empty() && (name.front() == '\'' || name.front() == ' ')) name.erase(name.begin());
        name = truncate(name, kMaxSheetName);
        while (!name.empty() && (name.back() == '\'' || name.back() == ' ')) name.pop_back();
        if (name.empty() || folded(name) == "history") name = name.empty() ? "Sheet" : name + " 1";
        return name;
    }

    static std::string truncate(const std::string& text, size_t characters) {
        size_t pos = 0, count = 0;
        while (pos < text.size() && count < characters) {
            next_code_point(text, pos);
            ++count;
        }
        return text.substr(0, pos);
    }

    static std::string folded(std::string text) {
        for (char& c : text)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return text;
    }

    bool taken(const std::string& name) const {
        return std::find(used_.begin(), used_.end(), folded(name)) != used_.end();
    }

    std::vector<std::string> used_;
};

// The text as a cell holds it: control characters other than tab and line
// break removed, and no longer than a cell's limit.
std::string cell_string(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    int count = 0;
    while (pos < text.size() && count < kMaxStringLength) {
        size_t start = pos;
        char32_t c = next_code_point(text, pos);
        if ((c < 0x20 && c != '\t' && c != '\n') || c == 0xFFFE || c == 0xFFFF) continue;
        out.append(text, start, pos - start);
        ++count;
    }
    return out;
}

class XlsxSink : public SheetSink {
public:
    XlsxSink(OutputFiles& files, const std::string& path, const WorkbookProperties& properties, bool streamed)
        : font_(properties.font), streamed_(streamed) {
        // The workbook writes its file itself, at the end: the stream only
        // reserves the temporary name that the commit renames into place.
        OutputStream& stream = files.create(path);
        stream.close();
        lxw_workbook_options options{};
        options.constant_memory = streamed ? LXW_TRUE : LXW_FALSE;
        options.use_zip64 = LXW_TRUE;
        workbook_ = workbook_new_opt(stream.temp_path().c_str(), &options);
        if (workbook_ == nullptr) fail(FOLI_ERR_OUT_OF_MEMORY, "cannot start a workbook");
        set_properties(properties);
    }

    ~XlsxSink() override {
        if (workbook_ != nullptr) lxw_workbook_free(workbook_);
    }

    int max_rows() const override { return static_cast<int>(LXW_ROW_MAX); }
    int max_columns() const override { return static_cast<int>(LXW_COL_MAX); }

    void begin_sheet(const std::string& name, const SheetKey&) override {
        pending_.clear();
        std::string unique = names_.unique(name);
        sheet_ = workbook_add_worksheet(workbook_, unique.c_str());
        if (sheet_ == nullptr) fail(FOLI_ERR_IO, "cannot add a worksheet");
        widths_.clear();
    }

    void write_row(int row, const std::vector<SheetCell>& cells, const std::vector<SheetMerge>& merges) override {
        for (const SheetMerge& merge : merges) {
            if (streamed_ && merge.last_row > row)
                pending_.push_back(merge);
            else
                declare(merge);
        }
        const auto r = static_cast<lxw_row_t>(row);
        for (const SheetCell& cell : cells) check(write_cell(r, static_cast<lxw_col_t>(cell.column), cell));
        // After the row's cells, which makes it the current row: the blank
        // written over the range's first cell, rows above, is refused.
        for (auto it = pending_.begin(); it != pending_.end();) {
            if (it->last_row != row) {
                ++it;
                continue;
            }
            declare(*it);
            it = pending_.erase(it);
        }
    }

    void widen_column(int column, float points) override {
        double pixels = std::min(kMaxColumnPixels, std::ceil(points * kPixelsPerPoint));
        double& width = widths_[column];
        if (pixels <= width) return;
        width = pixels;
        check(worksheet_set_column_pixels(sheet_, static_cast<lxw_col_t>(column), static_cast<lxw_col_t>(column),
                                          static_cast<uint32_t>(pixels), nullptr));
    }

    void finish() override {
        if (sheet_ == nullptr) begin_sheet("Sheet1", {});
        lxw_error error = workbook_close(workbook_);
        workbook_ = nullptr;
        if (error != LXW_NO_ERROR) fail(FOLI_ERR_IO, std::string("cannot write the workbook: ") + lxw_strerror(error));
    }

private:
    void declare(const SheetMerge& merge) {
        worksheet_merge_range(sheet_, static_cast<lxw_row_t>(merge.first_row),
                              static_cast<lxw_col_t>(merge.first_column), static_cast<lxw_row_t>(merge.last_row),
                              static_cast<lxw_col_t>(merge.last_column), "", format("", merge.bold, false));
    }

    lxw_error write_cell(lxw_row_t row, lxw_col_t column, const SheetCell& cell) {
        const SheetValue& value = cell.value;
        lxw_format* look = format(value.format, cell.bold, cell.wrap);
        switch (value.kind) {
        case SheetValue::Kind::Empty:
            return look == nullptr ? LXW_NO_ERROR : worksheet_write_blank(sheet_, row, column, look);
        case SheetValue::Kind::Number: return worksheet_write_number(sheet_, row, column, value.number, look);
        case SheetValue::Kind::Date: {
            lxw_datetime date{value.year, value.month, value.day, 0, 0, 0};
            return worksheet_write_datetime(sheet_, row, column, &date, look);
        }
        case SheetValue::Kind::Text: break;
        }
        std::string text = cell_string(value.text);
        return worksheet_write_string(sheet_, row, column, text.c_str(), look);
    }

    // One format per look, made on first use; null for the plain look.
    lxw_format* format(const std::string& code, bool bold, bool wrap) {
        if (code.empty() && !bold && !wrap && font_.empty()) return nullptr;
        auto key = std::make_tuple(code, bold, wrap);
        auto found = formats_.find(key);
        if (found != formats_.end()) return found->second;
        lxw_format* made = workbook_add_format(workbook_);
        if (made == nullptr) fail(FOLI_ERR_OUT_OF_MEMORY, "cannot add a cell format");
        if (!code.empty()) format_set_num_format(made, code.c_str());
        if (bold) format_set_bold(made);
        if (wrap) {
            format_set_text_wrap(made);
            format_set_align(made, LXW_ALIGN_VERTICAL_TOP);
        }
        if (!font_.empty()) format_set_font_name(made, font_.c_str());
        formats_.emplace(key, made);
        return made;
    }

    static void check(lxw_error error) {
        if (error == LXW_NO_ERROR) return;
        if (error == LXW_ERROR_MEMORY_MALLOC_FAILED) fail(FOLI_ERR_OUT_OF_MEMORY, "out of memory in the workbook");
        fail(FOLI_ERR_IO, std::string("cannot write a cell: ") + lxw_strerror(error));
    }

    void set_properties(const WorkbookProperties& properties) {
        std::string title = cell_string(properties.title), author = cell_string(properties.author),
                    subject = cell_string(properties.subject), keywords = cell_string(properties.keywords),
                    comments = cell_string(properties.creator);
        auto field = [](std::string& text) { return text.empty() ? nullptr : text.data(); };
        // The library copies the strings.
        lxw_doc_properties info{};
        info.title = field(title);
        info.author = field(author);
        info.subject = field(subject);
        info.keywords = field(keywords);
        info.comments = field(comments);
        info.created = static_cast<time_t>(properties.created);
        if (workbook_set_properties(workbook_, &info) != LXW_NO_ERROR)
            fail(FOLI_ERR_OUT_OF_MEMORY, "cannot set the workbook's properties");
    }

    lxw_workbook* workbook_ = nullptr;
    lxw_worksheet* sheet_ = nullptr;
    std::string font_;
    bool streamed_;
    std::vector<SheetMerge> pending_;  // streamed: ranges over several rows, until their last row
    SheetNames names_;
    std::map<std::tuple<std::string, bool, bool>, lxw_format*> formats_;
    std::map<int, double> widths_;
};

}  // namespace

std::unique_ptr<SheetSink> make_xlsx_sink(OutputFiles& files, const std::string& path,
                                          const WorkbookProperties& properties, bool streamed) {
    return std::make_unique<XlsxSink>(files, path, properties, streamed);
}

}  // namespace foli
