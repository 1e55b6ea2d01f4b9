// Markdown (CommonMark with pipe tables).
//
// Blocks are separated by a blank line, and so are pages (no rule between
// them). Headings are ATX headings ("#" per level); list items use "- " for
// bullets and the printed number for numbered items ("3. "), nested by
// indenting each level to the content of its parent item; a marker that is
// not a number ("a)", "iv.") stays in the text of a "- " item. Bold, italic
// and monospace runs become **bold**, *italic* and `code`, with adjacent
// runs of one style merged and spaces kept outside the markers; headings
// and table header cells are bold by nature and carry no bold markers.
//
// Tables become pipe tables whose first row is the header. A cell that
// spans rows or columns is written once, in its top-left position; the
// positions it covers are left empty.
//
// Links: a web link becomes [text](uri). A link to a page of the document
// points at that page: "#page-N" in a single file, where the page starts
// with an anchor line <a id="page-N"></a> (written only for pages that some
// link points at), or the page's own file when each page has its own file.
// A link to a page that is not converted is left as plain text.
//
// Code blocks are fenced; entries of a table of contents are a list of
// links to the pages they point at; running heads are left out.
//
// Images are written into <stem>_files/ and linked by their relative path.
// With formula_to_image, lines set mostly in math fonts are rendered as
// PNG images in their place.
#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "core/errors.h"
#include "core/log.h"
#include "writers/formula_lines.h"
#include "writers/image_export.h"
#include "writers/text_markdown.h"
#include "writers/text_width.h"
#include "writers/writer.h"

namespace foli {
namespace {

bool is_blank(std::string_view text) { return text.find_first_not_of(" \t") == std::string_view::npos; }
bool is_letter_byte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || static_cast<unsigned char>(c) >= 0x80;
}
bool is_ascii_punctuation(char c) {
    return (c >= '!' && c <= '/') || (c >= ':' && c <= '@') || (c >= '[' && c <= '`') || (c >= '{' && c <= '~');
}
bool is_word_byte(char c) { return is_letter_byte(c) || (c >= '0' && c <= '9'); }

std::string_view trimmed(std::string_view text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos) return {};
    return text.substr(begin, text.find_last_not_of(" \t") + 1 - begin);
}

// How two lines of a paragraph meet: the plain-text writer's joining rule
// (a space, nothing between CJK lines, a hyphenated word joined again)
// told as the number of bytes to drop from the end of the first line and
// whether a space goes between.
struct LineJoin {
    size_t drop = 0;
    bool space = true;
};

Line single_span_line(std::string_view text) {
    Line line;
    line.spans.emplace_back();
    line.spans.back().text = std::string(text);
    return line;
}

LineJoin line_join(const Line& first, const Line& second) {
    std::string left_text = first.text(), right_text = second.text();
    std::string_view left = trimmed(left_text), right = trimmed(right_text);
    if (left.empty() || right.empty()) return {};
    std::string joined = paragraph_text({single_span_line(left), single_span_line(right)});
    if (joined.size() == left.size() + right.size() + 1) return {};
    if (joined.size() <= left.size() + right.size()) return {left.size() + right.size() - joined.size(), false};
    return {};
}

// "https:", "mailto:": a URI with a scheme leaves the document.
bool has_scheme(std::string_view uri) {
    size_t colon = uri.find(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    for (size_t i = 0; i < colon; ++i) {
        char c = uri[i];
        bool ok = is_letter_byte(c) || (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
        if (!ok) return false;
    }
    return true;
}

// Links that would run code when followed are written as plain text.
bool is_script_uri(std::string_view uri) {
    static const char* const kSchemes[] = {"javascript:", "vbscript:", "data:"};
    for (const char* scheme : kSchemes) {
        std::string_view prefix(scheme);
        if (uri.size() < prefix.size()) continue;
        bool same = true;
        for (size_t i = 0; i < prefix.size() && same; ++i) same = (uri[i] | 0x20) == prefix[i];  // ASCII lower case
        if (same) return true;
    }
    return false;
}

std::string file_name_of(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string directory_of(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

// ------------------------------------------------------------ inline text

struct InlineStyle {
    bool bold = false;
    bool italic = false;
    bool code = false;

    bool operator==(const InlineStyle& other) const {
        return bold == other.bold && italic == other.italic && code == other.code;
    }
    bool emphasised() const { return bold || italic; }
};

struct Run {
    std::string text;
    InlineStyle style;
    std::string link;  // destination, empty for plain text
};

struct InlineOptions {
    bool plain_bold = false;  // bold is the block's own look: write no markers for it
    bool line_start = false;  // the text begins a line
    bool table_cell = false;
};

// Collects the styled runs of a paragraph, merging runs of one style and
// letting whitespace join whichever run it follows.
class RunList {
public:
    void add(std::string_view text, const InlineStyle& style, const std::string& link) {
        if (text.empty()) return;
        if (!runs_.empty()) {
            Run& last = runs_.back();
            if ((last.style == style && last.link == link) || is_blank(text)) {
                last.text += text;
                return;
            }
            if (is_blank(last.text)) {
                last.text += text;
                last.style = style;
                last.link = link;
                return;
            }
        }
        if (is_blank(text))
            runs_.push_back({std::string(text), InlineStyle{}, std::string()});
        else
            runs_.push_back({std::string(text), style, link});
    }

    // Joins the next line as the plain text joins it.
    void break_line(const LineJoin& join) {
        if (runs_.empty()) return;
        std::string& text = runs_.back().text;
        text.erase(text.find_last_not_of(" \t") + 1);
        if (join.drop <= text.size()) text.resize(text.size() - join.drop);
        if (join.space) text += ' ';
    }

    const std::vector<Run>& runs() const { return runs_; }

private:
    std::vector<Run> runs_;
};

void append_markers(const InlineStyle& style, std::string& out) {
    if (style.bold) out += "**";
    if (style.italic) out += '*';
}

void append_closing_markers(const InlineStyle& style, std::string& out) {
    if (style.italic) out += '*';
    if (style.bold) out += "**";
}

// Writes the runs as Markdown inline text, trimmed at both ends.
class InlineRenderer {
public:
    InlineRenderer(const std::vector<Run>& runs, const InlineOptions& options, std::string& out)
        : runs_(runs), options_(options), out_(out), start_(out.size()) {}

    void render() {
        for (size_t i = 0; i < runs_.size(); ++i) render_run(i);
    }

private:
    InlineStyle style_of(const Run& run) const {
        InlineStyle style = run.style;
        if (options_.plain_bold) style.bold = false;
        return style;
    }

    char next_char(size_t i) const {
        for (size_t k = i + 1; k < runs_.size(); ++k)
            if (!runs_[k].text.empty()) return runs_[k].text.front();
        return ' ';
    }

    void render_run(size_t i) {
        const Run& run = runs_[i];
        std::string_view text = run.text;
        size_t begin = text.find_first_not_of(" \t");
        if (begin == std::string_view::npos) {  // whitespace between runs
            if (out_.size() > start_ && i + 1 < runs_.size()) out_ += ' ';
            return;
        }
        size_t end = text.find_last_not_of(" \t") + 1;
        if (out_.size() > start_) out_.append(text.substr(0, begin));
        std::string_view core = text.substr(begin, end - begin);
        std::string_view trail = text.substr(end);
        bool last = i + 1 == runs_.size();

        bool opens_link = !run.link.empty() && (i == 0 || runs_[i - 1].link != run.link);
        bool closes_link = !run.link.empty() && (last || runs_[i + 1].link != run.link);
        if (opens_link) out_ += '[';

        InlineStyle style = style_of(run);
        std::string_view before, after;
        if (style.emphasised() && !style.code && run.link.empty()) keep_flanking(core, trail, i, before, after);
        append_plain(before);
        append_markers(style, out_);
        if (style.code)
            append_markdown_code(core, options_.table_cell, out_);
        else
            append_plain(core);
        append_closing_markers(style, out_);
        append_plain(after);

        if (closes_link) {
            out_ += "](";
            append_markdown_destination(run.link, out_);
            out_ += ')';
        }
        if (!last) out_.append(trail);
    }

    // Emphasis markers between punctuation and a letter would not be read
    // as markers ("**1.**st"): such punctuation moves outside them.
    void keep_flanking(std::string_view& core, std::string_view trail, size_t i, std::string_view& before,
                       std::string_view& after) const {
        bool word_before = out_.size() > start_ && is_word_byte(out_.back());
        if (word_before && core.size() > 1 && is_ascii_punctuation(core.front())) {
            before = core.substr(0, 1);
            core.remove_prefix(1);
        }
        bool word_after = trail.empty() && is_word_byte(next_char(i));
        if (word_after && core.size() > 1 && is_ascii_punctuation(core.back())) {
            after = core.substr(core.size() - 1);
            core.remove_suffix(1);
        }
    }

    void append_plain(std::string_view text) {
        if (text.empty()) return;
        MarkdownEscape where;
        where.line_start = options_.line_start && out_.size() == start_;
        where.table_cell = options_.table_cell;
        append_markdown_escaped(text, where, out_);
    }

    const std::vector<Run>& runs_;
    const InlineOptions& options_;
    std::string& out_;
    size_t start_;
};

// ------------------------------------------------------------ the writer

class MarkdownWriter;

// Renders one page into a string.
class PageRenderer {
public:
    PageRenderer(MarkdownWriter& writer, PageSource& page, std::string& out)
        : writer_(writer), page_(page), layout_(page.layout()), out_(out) {}

    void render();

private:
    void begin_block(bool tight_list_item);
    void render_block(const Block& block);
    void render_text_block(const Block& block);
    void render_text_lines(const Block& block, const Line* first, const Line* last);
    void render_formula(const Block& block, const Line* first, const Line* last);
    void render_list_item(const Block& block);
    void render_table(const Table& table);
    void render_image(const Block& block);
    void render_code(const Block& block);
    void render_contents_entry(const Block& block);
    void render_inline(const Line* first, const Line* last, const InlineOptions& options, std::string& out) const;
    std::string link_destination(const Span& span) const;

    MarkdownWriter& writer_;
    PageSource& page_;
    const PageLayout& layout_;
    std::string& out_;
    bool last_was_list_item_ = false;
    std::vector<int> list_content_columns_;  // per nesting level: where an item's text starts
    std::vector<std::string> list_kinds_;    // per nesting level: "-", "." or ")"
    int image_count_ = 0;
    int formula_count_ = 0;
};

class MarkdownWriter : public Writer {
public:
    explicit MarkdownWriter(WriterContext& context)
        : context_(context), images_(context), selected_(static_cast<size_t>(context.info.page_count), false),
          targeted_(selected_.size(), false) {
        for (int index : context.pages)
            if (index >= 0 && static_cast<size_t>(index) < selected_.size())
                selected_[static_cast<size_t>(index)] = true;
    }

    LayoutRequest layout_request() const override {
        LayoutRequest request;
        request.model.images = context_.options.contain_image;
        request.model.links = true;
        request.model.vectors = true;
        request.model.annotations = context_.options.contain_annotation;
        request.analysis.detect_tables = true;
        request.analysis.include_images = context_.options.contain_image;
        return request;
    }

    void write_page(PageSource& page) override {
        std::string text;
        PageRenderer(*this, page, text).render();
        if (per_page()) {
            context_.files.write_file(page_file(page.number()), text.data(), text.size());
            return;
        }
        // Which pages need an anchor is known only at the end, so the pages
        // wait in a scratch file rather than in memory.
        if (scratch_ == nullptr) scratch_ = &context_.files.create_scratch();
        pages_.push_back({page.index(), scratch_->size(), text.size()});
        scratch_->write(text);
    }

    void finish() override {
        if (per_page()) return;
        OutputStream& out = context_.files.create(context_.files.output_path());
        bool first = true;
        for (const PageText& page : pages_) {
            bool anchor = targeted_[static_cast<size_t>(page.index)];
            if (!anchor && page.length == 0) continue;
            if (!first) out << "\n";
            first = false;
            if (anchor) out << "<a id=\"page-" << std::to_string(page.index + 1) << "\"></a>\n\n";
            scratch_->copy_range(page.offset, page.length, out);
        }
    }

    // Destination of a link to a page of this document, or "" when that
    // page is not converted.
    std::string page_link(int target_index) {
        if (target_index < 0 || static_cast<size_t>(target_index) >= selected_.size() ||
            !selected_[static_cast<size_t>(target_index)])
            return {};
        if (per_page()) return file_name_of(page_file(target_index + 1));
        targeted_[static_cast<size_t>(target_index)] = true;
        return "#page-" + std::to_string(target_index + 1);
    }

    // Writes an image of the page and returns its link, "" if it cannot be written.
    std::string image_link(const ImageItem& image, int page_number, int image_number) {
        std::string path = images_.export_image(image, page_number, image_number);
        return path.empty() ? path : resource_prefix() + path;
    }

    std::string formula_link(const PageSource& page, const Rect& box, int formula_number) {
        std::string png = render_formula_png(page.document(), page.page(), box);
        if (png.empty()) {
            log_warning("page %d: formula %d cannot be rendered and stays text", page.number(), formula_number);
            return {};
        }
        std::string path = context_.files.resource_folder() + "/page" + std::to_string(page.number()) + "_formula" +
                           std::to_string(formula_number) + ".png";
        context_.files.write_file(path, png.data(), png.size());
        return resource_prefix() + context_.files.relative_to_output(path);
    }

    const Options& options() const { return context_.options; }

private:
    struct PageText {
        int index;
        uint64_t offset;  // where the page's text starts in the scratch file
        uint64_t length;
    };

    bool per_page() const { return context_.options.output_document_per_page; }
    std::string page_file(int page_number) { return context_.files.page_path(page_number, ".md"); }

    // Resource paths are relative to the output's folder; a page file in a
    // folder of its own reaches them one level up.
    std::string resource_prefix() {
        if (!per_page()) return {};
        return directory_of(page_file(1)) == context_.files.directory() ? std::string() : std::string("../");
    }

    WriterContext& context_;
    ImageExporter images_;
    std::vector<bool> selected_;  // per page of the document: converted
    std::vector<bool> targeted_;  // per page: some link points at it
    OutputStream* scratch_ = nullptr;
    std::vector<PageText> pages_;
};

void PageRenderer::render() {
    for (const Block& block : layout_.blocks) render_block(block);
}

// Separates the next block from the previous one: a blank line, except
// between items of one list.
void PageRenderer::begin_block(bool tight_list_item) {
    if (!out_.empty() && !tight_list_item) out_ += '\n';
    if (!tight_list_item) {
        list_content_columns_.clear();
        list_kinds_.clear();
    }
}

void PageRenderer::render_block(const Block& block) {
    size_t before = out_.size();
    bool list_item = block.kind == BlockKind::ListItem;
    switch (block.kind) {
    case BlockKind::Heading:
    case BlockKind::Paragraph: render_text_block(block); break;
    case BlockKind::ListItem: render_list_item(block); break;
    case BlockKind::Table: render_table(block.table); break;
    case BlockKind::Image: render_image(block); break;
    case BlockKind::Code: render_code(block); break;
    case BlockKind::ContentsEntry: render_contents_entry(block); break;
    case BlockKind::PageHeader:
    case BlockKind::PageFooter: break;  // running heads are not part of the text
    }
    if (out_.size() != before) last_was_list_item_ = list_item || block.kind == BlockKind::ContentsEntry;
}

void PageRenderer::render_inline(const Line* first, const Line* last, const InlineOptions& options,
                                 std::string& out) const {
    RunList runs;
    for (const Line* line = first; line != last; ++line) {
        if (line != first) runs.break_line(line_join(line[-1], *line));
        for (const Span& span : line->spans) {
            InlineStyle style{span.bold, span.italic, span.monospace};
            runs.add(span.text, style, span.link.empty() ? std::string() : link_destination(span));
        }
    }
    InlineRenderer(runs.runs(), options, out).render();
}

std::string PageRenderer::link_destination(const Span& span) const {
    const std::string& uri = span.link;
    if (has_scheme(uri)) return is_script_uri(uri) ? std::string() : uri;
    for (const LinkItem& link : layout_.page.links)
        if (link.uri == uri && link.target_page >= 0) return writer_.page_link(link.target_page);
    // A relative reference to another file stays as written; a place in
    // this document that no page holds is no link at all.
    return uri.front() == '#' ? std::string() : uri;
}

// A paragraph or heading. With formula_to_image, runs of formula lines
// become images and the lines around them stay text of the block's kind.
void PageRenderer::render_text_block(const Block& block) {
    const Line* lines = block.lines.data();
    size_t count = block.lines.size();
    if (!writer_.options().formula_to_image) {
        render_text_lines(block, lines, lines + count);
        return;
    }
    size_t start = 0;
    while (start < count) {
        bool formula = is_formula_line(lines[start]);
        size_t end = start + 1;
        while (end < count && is_formula_line(lines[end]) == formula) ++end;
        if (formula)
            render_formula(block, lines + start, lines + end);
        else
            render_text_lines(block, lines + start, lines + end);
        start = end;
    }
}

void PageRenderer::render_text_lines(const Block& block, const Line* first, const Line* last) {
    bool heading = block.kind == BlockKind::Heading;
    std::string text;
    InlineOptions options;
    options.plain_bold = heading;
    options.line_start = !heading;
    render_inline(first, last, options, text);
    if (text.empty()) return;
    begin_block(false);
    if (heading) {
        // A run of '#' at the end would be read as the heading's closing sequence.
        size_t hashes = text.find_last_not_of('#');
        if (hashes != text.size() - 1 && (hashes == std::string::npos || text[hashes] == ' '))
            text.insert(hashes == std::string::npos ? 0 : hashes + 1, 1, '\\');
        out_.append(static_cast<size_t>(std::clamp(block.heading_level, 1, 6)), '#');
        out_ += ' ';
    }
    out_ += text;
    out_ += '\n';
}

void PageRenderer::render_formula(const Block& block, const Line* first, const Line* last) {
    Rect box;
    for (const Line* line = first; line != last; ++line) box = box.united(line->box);
    box = {box.x0 - kFormulaMargin, box.y0 - kFormulaMargin, box.x1 + kFormulaMargin, box.y1 + kFormulaMargin};
    std::string link = writer_.formula_link(page_, box, formula_count_ + 1);
    if (link.empty()) {
        render_text_lines(block, first, last);
        return;
    }
    ++formula_count_;
    begin_block(false);
    out_ += "![formula](";
    append_markdown_destination(link, out_);
    out_ += ")\n";
}

// The Markdown marker of an item: "-" for bullets, the printed number with
// its "." or ")" for numbered items. Returns the list kind ("-", "." or
// ")") and sets `marker`; `keep_printed` is set when the printed marker is
// no number and stays in the item's text.
std::string list_marker(const Block& block, std::string& marker, bool& keep_printed) {
    keep_printed = false;
    const std::string& printed = block.marker;
    size_t digits = 0;
    while (digits < printed.size() && printed[digits] >= '0' && printed[digits] <= '9') ++digits;
    if (block.ordered && digits > 0 && digits <= 9) {
        char delimiter = digits < printed.size() && printed[digits] == ')' ? ')' : '.';
        marker = printed.substr(0, digits) + delimiter;
        return std::string(1, delimiter);
    }
    marker = "-";
    keep_printed = block.ordered && !printed.empty();
    return "-";
}

void PageRenderer::render_list_item(const Block& block) {
    std::string marker;
    bool keep_printed = false;
    std::string kind = list_marker(block, marker, keep_printed);

    std::string text;
    if (keep_printed) {
        append_markdown_escaped(block.marker, MarkdownEscape{}, text);
        text += ' ';
    }
    InlineOptions options;
    options.line_start = !keep_printed;
    render_inline(block.lines.data(), block.lines.data() + block.lines.size(), options, text);

    // Nest at most one level deeper than the item before.
    bool continues = last_was_list_item_ && !list_content_columns_.empty();
    size_t level = continues ? std::min(static_cast<size_t>(std::max(block.list_level, 0)),
                                        list_content_columns_.size())
                             : 0;
    begin_block(continues);
    // A change of list kind at one level starts a new list, which needs a
    // blank line before it to be read as one.
    if (continues && level < list_kinds_.size() && list_kinds_[level] != kind) out_ += '\n';
    int indent = level == 0 ? 0 : list_content_columns_[level - 1];
    list_content_columns_.resize(level + 1);
    list_kinds_.resize(level + 1);
    list_content_columns_[level] = indent + static_cast<int>(marker.size()) + 1;
    list_kinds_[level] = kind;

    out_.append(static_cast<size_t>(indent), ' ');
    out_ += marker;
    if (!text.empty()) {
        out_ += ' ';
        out_ += text;
    }
    out_ += '\n';
}

void PageRenderer::render_table(const Table& table) {
    if (table.rows <= 0 || table.columns <= 0) return;
    const size_t rows = static_cast<size_t>(table.rows), columns = static_cast<size_t>(table.columns);
    std::vector<std::string> grid(rows * columns);
    for (const TableCell& cell : table.cells) {
        if (cell.row < 0 || cell.column < 0 || static_cast<size_t>(cell.row) >= rows ||
            static_cast<size_t>(cell.column) >= columns)
            continue;
        std::string& text = grid[static_cast<size_t>(cell.row) * columns + static_cast<size_t>(cell.column)];
        InlineOptions options;
        options.table_cell = true;
        options.plain_bold = cell.row == 0;
        render_inline(cell.lines.data(), cell.lines.data() + cell.lines.size(), options, text);
    }

    std::vector<int> widths(columns, 3);  // "---" at least
    std::vector<int> cell_widths(grid.size());
    for (size_t i = 0; i < grid.size(); ++i) {
        cell_widths[i] = display_width(grid[i]);
        widths[i % columns] = std::max(widths[i % columns], cell_widths[i]);
    }

    begin_block(false);
    for (size_t row = 0; row < rows; ++row) {
        out_ += '|';
        for (size_t column = 0; column < columns; ++column) {
            size_t i = row * columns + column;
            out_ += ' ';
            out_ += grid[i];
            out_.append(static_cast<size_t>(widths[column] - cell_widths[i]) + 1, ' ');
            out_ += '|';
        }
        out_ += '\n';
        if (row == 0) {
            out_ += '|';
            for (size_t column = 0; column < columns; ++column) {
                out_ += ' ';
                out_.append(static_cast<size_t>(widths[column]), '-');
                out_ += " |";
            }
            out_ += '\n';
        }
    }
}

// A fenced code block, fenced with more backticks than any run inside.
void PageRenderer::render_code(const Block& block) {
    std::string text = code_text(block);
    if (is_blank(text) || text.find_first_not_of(" \n") == std::string::npos) return;
    size_t longest = 0, run = 0;
    for (char c : text) {
        run = c == '`' ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    std::string fence(std::max<size_t>(3, longest + 1), '`');
    begin_block(false);
    out_ += fence;
    out_ += '\n';
    out_ += text;
    out_ += '\n';
    out_ += fence;
    out_ += '\n';
}

// An entry of a table of contents: a list item linking to the page it
// names when that page is converted, else the title and its page number.
void PageRenderer::render_contents_entry(const Block& block) {
    // The entry is the link: links of its spans are left out.
    std::vector<Line> lines = block.lines;
    for (Line& line : lines)
        for (Span& span : line.spans) span.link.clear();
    std::string title;
    InlineOptions options;
    options.plain_bold = true;
    render_inline(lines.data(), lines.data() + lines.size(), options, title);
    if (title.empty()) return;
    std::string destination = block.target_page >= 0 ? writer_.page_link(block.target_page) : std::string();
    bool continues = last_was_list_item_ && !list_content_columns_.empty();
    begin_block(continues);
    size_t level = std::min(static_cast<size_t>(std::max(block.list_level, 0)), continues ? list_content_columns_.size() : 0);
    int indent = level == 0 ? 0 : list_content_columns_[level - 1];
    list_content_columns_.resize(level + 1);
    list_kinds_.resize(level + 1);
    list_content_columns_[level] = indent + 2;
    list_kinds_[level] = "-";
    out_.append(static_cast<size_t>(indent), ' ');
    out_ += "- ";
    if (!destination.empty()) {
        out_ += '[';
        out_ += title;
        out_ += "](";
        append_markdown_destination(destination, out_);
        out_ += ')';
    } else {
        out_ += title;
        if (!block.page_label.empty()) {
            out_ += ' ';
            append_markdown_escaped(block.page_label, MarkdownEscape{}, out_);
        }
    }
    out_ += '\n';
}

void PageRenderer::render_image(const Block& block) {
    if (!writer_.options().contain_image) return;
    if (block.image < 0 || static_cast<size_t>(block.image) >= layout_.page.images.size()) return;
    std::string link = writer_.image_link(layout_.page.images[static_cast<size_t>(block.image)], page_.number(),
                                          image_count_ + 1);
    if (link.empty()) return;
    ++image_count_;
    begin_block(false);
    out_ += "![](";
    append_markdown_destination(link, out_);
    out_ += ")\n";
}

}  // namespace

std::unique_ptr<Writer> make_markdown_writer(WriterContext& context) {
    return std::make_unique<MarkdownWriter>(context);
}

}  // namespace foli
