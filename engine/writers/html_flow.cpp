// Reflowable HTML: the analysed blocks as headings, paragraphs, nested
// lists, tables and figures, with bold, italic, monospace and links kept
// inside the text. Code is <pre><code>; a table of contents is a list of
// links to the pages its entries point at; running heads go into the
// page's <header> and <footer>.
#include <algorithm>
#include <cctype>
#include <string_view>

#include "writers/html_page.h"
#include "writers/html_text.h"

namespace foli::html {
namespace {

// A stretch of text with one inline style.
struct Run {
    std::string text;
    bool bold = false;
    bool italic = false;
    bool code = false;
    std::string href;

    bool same_style(const Run& other) const {
        return bold == other.bold && italic == other.italic && code == other.code && href == other.href;
    }
};

// How two lines of a paragraph meet: `trim` bytes leave the end of the
// first line (spaces, a hyphen), `between` follows, and `lead` bytes
// (spaces) leave the start of the second. Taken from paragraph_text, so
// that the markup reads exactly like the plain text.
struct LineJoin {
    size_t trim = 0;
    std::string between = " ";
    size_t lead = 0;
};

std::string_view without_spaces(std::string_view text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") + 1 - first);
}

LineJoin join_of(const Line& first, const Line& second) {
    std::string a = first.text();
    std::string b = second.text();
    std::string_view a_core = std::string_view(a).substr(std::min(a.find_first_not_of(" \t"), a.size()));
    std::string_view rest = without_spaces(b);
    size_t lead = rest.empty() ? 0 : b.find_first_not_of(" \t");
    std::string joined = paragraph_text({first, second});
    if (joined.size() < rest.size() || std::string_view(joined).substr(joined.size() - rest.size()) != rest) return {};
    std::string_view head = std::string_view(joined).substr(0, joined.size() - rest.size());
    size_t keep = 0;
    while (keep < a_core.size() && keep < head.size() && a_core[keep] == head[keep]) ++keep;
    // Never split a UTF-8 sequence.
    while (keep > 0 && keep < a_core.size() && (static_cast<unsigned char>(a_core[keep]) & 0xC0) == 0x80) --keep;
    return {a_core.size() - keep, std::string(head.substr(keep)), lead};
}

class RunBuilder {
public:
    RunBuilder(const PageModel& page, const PageReferences& references, bool plain_bold)
        : page_(page), references_(references), plain_bold_(plain_bold) {}

    std::vector<Run> build(const std::vector<Line>& lines) {
        size_t lead = 0;
        for (size_t i = 0; i < lines.size(); ++i) {
            std::vector<Run> line_runs = runs_of(lines[i]);
            trim_start(line_runs, lead);
            if (i + 1 < lines.size()) {
                LineJoin join = join_of(lines[i], lines[i + 1]);
                trim_end(line_runs, join.trim);
                for (Run& run : line_runs) append(std::move(run));
                add_separator(join.between, lines[i + 1]);
                lead = join.lead;
            } else {
                for (Run& run : line_runs) append(std::move(run));
            }
        }
        return std::move(runs_);
    }

private:
    Run run_of(const Span& span) const {
        Run run;
        run.text = span.text;
        run.bold = span.bold && !plain_bold_;
        run.italic = span.italic;
        run.code = span.monospace;
        run.href = span_href(span, page_, references_);
        return run;
    }

    std::vector<Run> runs_of(const Line& line) const {
        std::vector<Run> runs;
        for (const Span& span : line.spans) runs.push_back(run_of(span));
        return runs;
    }

    static void trim_start(std::vector<Run>& runs, size_t bytes) {
        size_t whole = 0;
        while (bytes > 0 && whole < runs.size() && runs[whole].text.size() <= bytes) bytes -= runs[whole++].text.size();
        runs.erase(runs.begin(), runs.begin() + static_cast<long>(whole));
        if (bytes > 0 && !runs.empty()) runs.front().text.erase(0, bytes);
    }

    static void trim_end(std::vector<Run>& runs, size_t bytes) {
        while (bytes > 0 && !runs.empty()) {
            std::string& text = runs.back().text;
            if (text.size() > bytes) {
                text.erase(text.size() - bytes);
                return;
            }
            bytes -= text.size();
            runs.pop_back();
        }
    }

    // The space between two lines joins the style around it only when
    // both sides share it, so a link or bold word never swallows it.
    void add_separator(const std::string& between, const Line& next) {
        if (between.empty()) return;
        Run separator;
        separator.text = between;
        if (!runs_.empty() && !next.spans.empty() && run_of(next.spans.front()).same_style(runs_.back()))
            separator = Run{between, runs_.back().bold, runs_.back().italic, runs_.back().code, runs_.back().href};
        append(std::move(separator));
    }

    void append(Run run) {
        if (run.text.empty()) return;
        if (!runs_.empty() && runs_.back().same_style(run))
            runs_.back().text += run.text;
        else
            runs_.push_back(std::move(run));
    }

    const PageModel& page_;
    const PageReferences& references_;
    bool plain_bold_;
    std::vector<Run> runs_;
};

bool is_blank(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\t' || c == '\n'; });
}

void write_runs(std::string& out, const std::vector<Run>& runs) {
    const std::string* open_link = nullptr;
    for (const Run& run : runs) {
        if (open_link != nullptr && *open_link != run.href) {
            out += "</a>";
            open_link = nullptr;
        }
        if (open_link == nullptr && !run.href.empty()) {
            out += "<a href=\"";
            append_escaped(out, run.href);
            out += "\">";
            open_link = &run.href;
        }
        bool styled = !is_blank(run.text);
        if (styled && run.code) out += "<code>";
        if (styled && run.bold) out += "<strong>";
        if (styled && run.italic) out += "<em>";
        append_escaped(out, run.text);
        if (styled && run.italic) out += "</em>";
        if (styled && run.bold) out += "</strong>";
        if (styled && run.code) out += "</code>";
    }
    if (open_link != nullptr) out += "</a>";
}

// The lines as marked-up text, without leading and trailing spaces.
std::string rich_text(const std::vector<Line>& lines, const PageModel& page, const PageReferences& references,
                      bool plain_bold = false) {
    std::vector<Run> runs = RunBuilder(page, references, plain_bold).build(lines);
    while (!runs.empty() && is_blank(runs.back().text)) runs.pop_back();
    while (!runs.empty() && is_blank(runs.front().text)) runs.erase(runs.begin());
    if (!runs.empty()) {
        runs.front().text.erase(0, runs.front().text.find_first_not_of(" \t\n"));
        runs.back().text.erase(runs.back().text.find_last_not_of(" \t\n") + 1);
    }
    std::string out;
    write_runs(out, runs);
    return out;
}

// ---------------------------------------------------------------- lists

// What an ordered list's first marker says about its numbering.
struct Numbering {
    char type = '1';  // '1', 'a', 'A', 'i' or 'I', as <ol type>
    long start = 1;
};

long roman_value(const std::string& text) {
    auto value = [](char c) {
        switch (std::tolower(static_cast<unsigned char>(c))) {
        case 'i': return 1;
        case 'v': return 5;
        case 'x': return 10;
        case 'l': return 50;
        case 'c': return 100;
        case 'd': return 500;
        case 'm': return 1000;
        }
        return 0;
    };
    long total = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        int current = value(text[i]);
        if (current == 0) return 0;
        int next = i + 1 < text.size() ? value(text[i + 1]) : 0;
        total += current < next ? -current : current;
    }
    return total;
}

Numbering numbering_of(const std::string& marker) {
    std::string core;
    for (char c : marker)
        if (std::isalnum(static_cast<unsigned char>(c))) core += c;
    Numbering numbering;
    if (core.empty() || core.size() > 9) return numbering;
    if (std::all_of(core.begin(), core.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
        numbering.start = std::stol(core);
        return numbering;
    }
    bool lower = std::islower(static_cast<unsigned char>(core[0])) != 0;
    long roman = roman_value(core);
    bool single_letter = core.size() == 1;
    if (roman > 0 && (!single_letter || core == "i" || core == "I")) {
        numbering.type = lower ? 'i' : 'I';
        numbering.start = roman;
    } else if (single_letter && std::isalpha(static_cast<unsigned char>(core[0]))) {
        numbering.type = lower ? 'a' : 'A';
        numbering.start = std::tolower(static_cast<unsigned char>(core[0])) - 'a' + 1;
    }
    return numbering;
}

// Groups consecutive list items into <ul>/<ol>, nested by level: a deeper
// list opens inside the item before it.
class ListWriter {
public:
    explicit ListWriter(std::string& out) : out_(out) {}

    void item(const Block& block, const std::string& content) {
        while (!open_.empty() && (open_.back().level > block.list_level ||
                                  (open_.back().level == block.list_level && open_.back().ordered != block.ordered)))
            close_one();
        if (open_.empty() || open_.back().level < block.list_level)
            open(block);
        else
            out_ += "</li>\n";
        out_ += "<li>" + content;
    }

    void close_all() {
        while (!open_.empty()) close_one();
    }

private:
    struct OpenList {
        int level;
        bool ordered;
    };

    void open(const Block& block) {
        if (!open_.empty()) out_ += "\n";  // nested inside the open item
        if (!block.ordered) {
            out_ += "<ul>\n";
        } else {
            Numbering numbering = numbering_of(block.marker);
            out_ += "<ol";
            if (numbering.type != '1') out_ += std::string(" type=\"") + numbering.type + "\"";
            if (numbering.start != 1) out_ += " start=\"" + std::to_string(numbering.start) + "\"";
            out_ += ">\n";
        }
        open_.push_back({block.list_level, block.ordered});
    }

    void close_one() {
        out_ += open_.back().ordered ? "</li>\n</ol>\n" : "</li>\n</ul>\n";
        open_.pop_back();
    }

    std::string& out_;
    std::vector<OpenList> open_;
};

// --------------------------------------------------------------- tables

void write_table(std::string& out, const Table& table, const PageModel& page, const PageReferences& references) {
    std::vector<std::vector<const TableCell*>> rows(static_cast<size_t>(std::max(table.rows, 0)));
    for (const TableCell& cell : table.cells)
        if (cell.row >= 0 && cell.row < table.rows) rows[static_cast<size_t>(cell.row)].push_back(&cell);
    for (auto& row : rows)
        std::sort(row.begin(), row.end(), [](const TableCell* a, const TableCell* b) { return a->column < b->column; });

    if (rows.empty()) return;
    // A header cell reaching into the body would break the row groups.
    auto spans_rows = [](const TableCell* cell) { return cell->row_span > 1; };
    bool header_group = rows.size() > 1 && std::none_of(rows[0].begin(), rows[0].end(), spans_rows);
    out += "<table>\n";
    for (size_t r = 0; r < rows.size(); ++r) {
        if (r == 0 && header_group) out += "<thead>\n";
        if ((r == 0 && !header_group) || (r == 1 && header_group)) out += "<tbody>\n";
        out += "<tr>\n";
        const char* tag = r == 0 ? "th" : "td";
        for (const TableCell* cell : rows[r]) {
            out += std::string("<") + tag;
            if (cell->column_span > 1) out += " colspan=\"" + std::to_string(std::min(cell->column_span, 1000)) + "\"";
            if (cell->row_span > 1) out += " rowspan=\"" + std::to_string(std::min(cell->row_span, 65534)) + "\"";
            // Header cells are bold already.
            out += ">" + rich_text(cell->lines, page, references, r == 0) + "</" + tag + ">\n";
        }
        out += "</tr>\n";
        if (r == 0 && header_group) out += "</thead>\n";
    }
    out += "</tbody>\n";
    out += "</table>\n";
}

// --------------------------------------------------------------- images

void write_figure(std::string& out, const Block& block, const PageModel& page, PageReferences& references,
                  const PageStyle& style) {
    if (block.image < 0 || block.image >= static_cast<int>(page.images.size())) return;
    const ImageItem& image = page.images[static_cast<size_t>(block.image)];
    if (!style.background_images && is_page_background(image, page)) return;
    std::string source = references.image_source(page, block.image);
    if (source.empty()) return;
    out += "<figure><img src=\"";
    append_escaped(out, source);
    out += "\" alt=\"Image " + std::to_string(block.image + 1) + " on page " + std::to_string(page.index + 1) +
           "\" width=\"" + std::to_string(css_pixels(image.box.width())) + "\" height=\"" +
           std::to_string(css_pixels(image.box.height())) + "\"></figure>\n";
}

void write_text_block(std::string& out, const Block& block, const PageModel& page, const PageReferences& references) {
    bool heading = block.kind == BlockKind::Heading;
    std::string content = rich_text(block.lines, page, references, heading);
    if (content.empty()) return;
    if (heading) {
        std::string tag = "h" + std::to_string(std::clamp(block.heading_level, 1, 6));
        out += "<" + tag + ">" + content + "</" + tag + ">\n";
    } else {
        out += "<p>" + content + "</p>\n";
    }
}

void write_code(std::string& out, const Block& block) {
    std::string text = code_text(block);
    if (text.find_first_not_of(" \n") == std::string::npos) return;
    out += "<pre><code>";
    append_escaped(out, text);
    out += "</code></pre>\n";
}

void write_contents_entry(std::string& out, const Block& block, const PageModel& page,
                          const PageReferences& references) {
    // The entry is the link: links of its spans are left out.
    std::vector<Line> lines = block.lines;
    for (Line& line : lines)
        for (Span& span : line.spans) span.link.clear();
    std::string title = rich_text(lines, page, references);
    std::string href = block.target_page >= 0 ? references.page_href(block.target_page) : std::string();
    out += "<li";
    if (block.list_level > 0) out += " style=\"margin-left:" + std::to_string(std::min(block.list_level, 9) * 1.5) + "em\"";
    out += ">";
    if (!href.empty()) {
        out += "<a href=\"";
        append_escaped(out, href);
        out += "\">" + title + "</a>";
    } else {
        out += title;
        if (!block.page_label.empty()) {
            out += " <span class=\"page-label\">";
            append_escaped(out, block.page_label);
            out += "</span>";
        }
    }
    out += "</li>\n";
}

// The running heads of the page in one element ("header" or "footer").
void write_margin(std::string& out, const PageLayout& layout, BlockKind kind, const char* tag,
                  const PageReferences& references) {
    std::string content;
    for (const Block& block : layout.blocks) {
        if (block.kind != kind) continue;
        std::string text = rich_text(block.lines, layout.page, references);
        if (text.empty()) continue;
        content += "<p>" + text + "</p>";
    }
    if (content.empty()) return;
    out += std::string("<") + tag + ">" + content + "</" + tag + ">\n";
}

}  // namespace

void write_flow_page(std::string& out, const PageLayout& layout, PageReferences& references, const PageStyle& style) {
    const PageModel& page = layout.page;
    out += "<section class=\"page\" id=\"" + page_anchor(page.index + 1) + "\">\n";
    write_margin(out, layout, BlockKind::PageHeader, "header", references);
    ListWriter lists(out);
    bool in_contents = false;
    for (const Block& block : layout.blocks) {
        if (block.kind == BlockKind::ListItem) {
            lists.item(block, rich_text(block.lines, page, references));
            continue;
        }
        lists.close_all();
        if (block.kind == BlockKind::ContentsEntry) {
            if (!in_contents) out += "<ul class=\"contents\">\n";
            in_contents = true;
            write_contents_entry(out, block, page, references);
            continue;
        }
        if (in_contents) out += "</ul>\n";
        in_contents = false;
        switch (block.kind) {
        case BlockKind::PageHeader:
        case BlockKind::PageFooter: break;  // in <header> and <footer>
        case BlockKind::Code: write_code(out, block); break;
        case BlockKind::Table: write_table(out, block.table, page, references); break;
        case BlockKind::Image: write_figure(out, block, page, references, style); break;
        default: write_text_block(out, block, page, references); break;
        }
    }
    lists.close_all();
    if (in_contents) out += "</ul>\n";
    write_margin(out, layout, BlockKind::PageFooter, "footer", references);
    out += "</section>\n";
}

}  // namespace foli::html
