// HTML output, in one file or one file per page, with the pages either
// reflowed as semantic markup or laid out box by box as printed. Pages are
// written as they come; what the navigation needs (outline, selected
// pages, file names) is known before the first page.
#include <algorithm>
#include <map>

#include "core/errors.h"
#include "writers/html_page.h"
#include "writers/html_text.h"
#include "writers/image_export.h"
#include "writers/writer.h"

namespace foli {
namespace {

struct HtmlMode {
    bool per_page = false;  // one file per page under the naming rule
    bool outline = false;   // single file: the outline as navigation at the top
    bool pager = false;     // per page: first/previous/next/last links at the bottom
    bool flow = true;       // reflowed semantic markup rather than positioned boxes
};

HtmlMode mode_of(const Options& options) {
    HtmlMode mode;
    switch (options.html_option) {
    case HtmlOption::SINGLE_PAGE: break;
    case HtmlOption::SINGLE_PAGE_WITH_BOOKMARK: mode.outline = true; break;
    case HtmlOption::MULTIPLE_PAGE: mode.per_page = true; break;
    case HtmlOption::MULTIPLE_PAGE_WITH_BOOKMARK:
        mode.per_page = true;
        mode.pager = true;
        break;
    default: fail(FOLI_ERR_INVALID_ARG, "unknown HTML option");
    }
    switch (options.page_layout_mode) {
    case PageLayoutMode::FLOW: break;
    case PageLayoutMode::BOX: mode.flow = false; break;
    default: fail(FOLI_ERR_INVALID_ARG, "unknown page layout mode");
    }
    // One document per page: the navigation asked for carries over as the
    // per-page links.
    if (options.output_document_per_page && !mode.per_page) {
        mode.per_page = true;
        mode.pager = mode.outline;
        mode.outline = false;
    }
    return mode;
}

std::string trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::string file_stem(const std::string& path) {
    std::string name = path.substr(path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1);
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string document_title(const DocumentInfo& info) {
    std::string title = trimmed(info.title);
    return title.empty() ? file_stem(info.source_path) : title;
}

std::string document_language(const Document& document) {
    char buffer[64];
    foli_mu_document_language(document.ctx(), document.get(), buffer, sizeof buffer);
    return html::language_tag(buffer);
}

std::string file_name_of(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

const char* kFlowStyle =
    "body{margin:0 auto;max-width:50em;padding:1em 1.5em;line-height:1.45;color:#111;background:#fff}\n"
    "section.page{margin:0 0 2em}\n"
    "section.page+section.page{border-top:1px solid #ccc;padding-top:1em}\n"
    "h1,h2,h3,h4,h5,h6{line-height:1.2;margin:1.2em 0 .5em}\n"
    "p{margin:0 0 .8em}\n"
    "table{border-collapse:collapse;margin:1em 0}\n"
    "th,td{border:1px solid #888;padding:.25em .6em;text-align:left;vertical-align:top}\n"
    "th{background:#f0f0f0}\n"
    "figure{margin:1em 0}\n"
    "img{max-width:100%;height:auto}\n";

const char* kBoxStyle =
    "body{margin:0;padding:1em 0;background:#777}\n"
    "div.page{position:relative;overflow:hidden;margin:0 auto 1em;background:#fff;"
    "box-shadow:0 0 4px rgba(0,0,0,.5)}\n"
    "div.page>div.line{position:absolute;white-space:pre}\n"
    "div.page>div.shape,div.page>img{position:absolute}\n"
    "nav{max-width:40em;margin:0 auto 1em;padding:.5em 1em;background:#fff}\n";

const char* kNavStyle =
    "nav.outline{margin-bottom:2em;padding:.5em 1em;border:1px solid #ccc}\n"
    "nav.outline ol{list-style:none;margin:0;padding-left:1.2em}\n"
    "nav.pager{margin-top:2em;text-align:center}\n"
    "nav.pager a,nav.pager span{margin:0 .5em}\n";

class HtmlWriter : public Writer, private html::PageReferences {
public:
    HtmlWriter(WriterContext& context, HtmlMode mode)
        : context_(context),
          mode_(mode),
          exporter_(context),
          title_(document_title(context.info)),
          language_(document_language(context.document)),
          selected_(static_cast<size_t>(context.document.page_count()), false) {
        for (int page : context.pages)
            if (page >= 0 && static_cast<size_t>(page) < selected_.size()) selected_[static_cast<size_t>(page)] = true;
        style_.background_images = context.options.contain_page_background_image;
        style_.font_override = !context.options.font_name.empty();
    }

    LayoutRequest layout_request() const override {
        LayoutRequest request;
        request.model.images = context_.options.contain_image;
        request.model.annotations = context_.options.contain_annotation;
        request.model.vectors = true;
        request.model.links = true;
        request.analysis.detect_tables = true;
        request.analysis.include_images = context_.options.contain_image;
        request.analysis.upright = mode_.flow;  // boxes stand where the page shows them
        return request;
    }

    void begin() override {
        if (!mode_.per_page) single_ = &context_.files.create(context_.files.output_path());
    }

    void write_page(PageSource& source) override {
        const PageLayout& layout = source.layout();
        image_sources_.clear();
        if (mode_.per_page)
            write_page_file(source.index(), layout);
        else
            write_to_single_file(layout);
        ++pages_written_;
    }

    void finish() override {
        if (single_ == nullptr) return;
        if (!head_written_) write_single_file_head(nullptr);
        *single_ << "</body>\n</html>\n";
    }

private:
    // ------------------------------------------------------------- files

    void write_to_single_file(const PageLayout& layout) {
        if (!head_written_) write_single_file_head(&layout);
        std::string text;
        write_page_body(text, layout);
        *single_ << text;
    }

    void write_single_file_head(const PageLayout* first_page) {
        std::string text;
        append_head(text, title_, first_page);
        if (mode_.outline) append_outline_nav(text);
        *single_ << text;
        head_written_ = true;
    }

    void write_page_file(int index, const PageLayout& layout) {
        std::string path = page_file(index);
        if (pages_written_ == 0) folder_prefix_ = parent_steps(path);
        std::string text;
        append_head(text, title_ + " (page " + std::to_string(index + 1) + ")", &layout);
        write_page_body(text, layout);
        if (mode_.pager) append_pager(text, index);
        text += "</body>\n</html>\n";
        OutputStream& out = context_.files.create(path);
        out << text;
        // Closed now rather than at commit, so a long document does not
        // hold one open file per page.
        out.close();
    }

    std::string page_file(int index) { return context_.files.page_path(index + 1, ".html"); }

    // "../" for each folder between the output's folder and `path`'s.
    std::string parent_steps(const std::string& path) const {
        std::string relative = context_.files.relative_to_output(path);
        std::string steps;
        for (char c : relative)
            if (c == '/') steps += "../";
        return steps;
    }

    void write_page_body(std::string& text, const PageLayout& layout) {
        if (mode_.flow)
            html::write_flow_page(text, layout, *this, style_);
        else
            html::write_box_page(text, layout, *this, style_);
    }

    // -------------------------------------------------------- head, CSS

    void append_head(std::string& out, const std::string& title, const PageLayout* first_page) const {
        out += "<!DOCTYPE html>\n<html lang=\"" + html::escaped(language_) + "\">\n<head>\n";
        out += "<meta charset=\"utf-8\">\n";
        out += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
        out += "<title>" + html::escaped(title) + "</title>\n";
        append_meta(out, "author", context_.info.author);
        append_meta(out, "description", context_.info.subject);
        append_meta(out, "keywords", context_.info.keywords);
        out += "<style>\n" + stylesheet(first_page) + "</style>\n</head>\n<body>\n";
    }

    static void append_meta(std::string& out, const char* name, const std::string& value) {
        std::string content = trimmed(value);
        if (content.empty()) return;
        out += std::string("<meta name=\"") + name + "\" content=\"" + html::escaped(content) + "\">\n";
    }

    std::string stylesheet(const PageLayout* first_page) const {
        std::string css = mode_.flow ? kFlowStyle : kBoxStyle;
        if (mode_.outline || mode_.pager) css += kNavStyle;
        std::string family = body_font_family(first_page);
        if (!family.empty()) css += std::string(mode_.flow ? "body" : "div.page") + "{font-family:" + family + "}\n";
        return css;
    }

    // The family the caller asked for, else (reflowed text only) the one
    // most of the first page is set in.
    std::string body_font_family(const PageLayout* first_page) const {
        const std::string& wanted = context_.options.font_name;
        if (!wanted.empty()) return html::font_family(wanted, html::generic_family(wanted, false));
        if (mode_.flow && first_page != nullptr) return html::dominant_font_family(first_page->page);
        return {};
    }

    // -------------------------------------------------------- navigation

    std::string nav_link(const OutlineEntry& entry) const {
        if (entry.page >= 0) return page_href(entry.page);
        if (!entry.uri.empty() && html::is_safe_link(entry.uri)) return entry.uri;
        return {};
    }

    static void append_nav_item(std::string& out, const std::string& href, const std::string& label) {
        out += "<li>";
        if (href.empty()) {
            out += "<span>" + html::escaped(label) + "</span>";
        } else {
            out += "<a href=\"" + html::escaped(href) + "\">" + html::escaped(label) + "</a>";
        }
    }

    // The outline as nested lists; without an outline, a list of the pages.
    void append_outline_nav(std::string& out) const {
        out += "<nav class=\"outline\" aria-label=\"Outline\">\n";
        if (context_.info.outline.empty()) {
            out += "<ol>\n";
            for (int page : context_.pages) {
                append_nav_item(out, page_href(page), "Page " + std::to_string(page + 1));
                out += "</li>\n";
            }
            out += "</ol>\n";
        } else {
            append_outline_lists(out);
        }
        out += "</nav>\n";
    }

    void append_outline_lists(std::string& out) const {
        std::vector<int> levels;  // of the lists now open
        for (const OutlineEntry& entry : context_.info.outline) {
            while (levels.size() > 1 && entry.level < levels.back()) {
                out += "</li>\n</ol>\n";
                levels.pop_back();
            }
            if (levels.empty() || entry.level > levels.back()) {
                out += "\n<ol>\n";
                levels.push_back(entry.level);
            } else {
                out += "</li>\n";
            }
            std::string label = trimmed(entry.title);
            if (label.empty()) label = entry.page >= 0 ? "Page " + std::to_string(entry.page + 1) : "Untitled";
            append_nav_item(out, nav_link(entry), label);
        }
        for (size_t i = 0; i < levels.size(); ++i) out += "</li>\n</ol>\n";
    }

    // First/previous/next/last between the files actually written, in the
    // order they were selected.
    void append_pager(std::string& out, int index) {
        const std::vector<int>& pages = context_.pages;
        size_t position = static_cast<size_t>(pages_written_);
        if (position >= pages.size() || pages[position] != index)
            position = static_cast<size_t>(std::find(pages.begin(), pages.end(), index) - pages.begin());
        // prev and next are link types of their own; first and last are not.
        auto link = [&](int page, const std::string& kind, bool rel, const char* label) {
            out += "<a class=\"" + kind + "\" href=\"" + html::escaped(page_href(page)) + "\"";
            if (rel) out += " rel=\"" + kind + "\"";
            out += std::string(">") + label + "</a>\n";
        };
        out += "<nav class=\"pager\" aria-label=\"Pages\">\n";
        if (position > 0 && position < pages.size()) {
            link(pages.front(), "first", false, "First");
            link(pages[position - 1], "prev", true, "Previous");
        }
        out += "<span>Page " + std::to_string(index + 1) + " (" + std::to_string(position + 1) + " of " +
               std::to_string(pages.size()) + ")</span>\n";
        if (position + 1 < pages.size()) {
            link(pages[position + 1], "next", true, "Next");
            link(pages.back(), "last", false, "Last");
        }
        out += "</nav>\n";
    }

    // ------------------------------------------------------- references

    std::string page_href(int page) const override {
        if (page < 0 || static_cast<size_t>(page) >= selected_.size() || !selected_[static_cast<size_t>(page)])
            return {};
        if (!mode_.per_page) return "#" + html::page_anchor(page + 1);
        // Every page file lives in the same folder.
        return html::url_path(file_name_of(context_.files.page_path(page + 1, ".html")));
    }

    std::string image_source(const PageModel& page, int index) override {
        if (!context_.options.contain_image || index < 0 || index >= static_cast<int>(page.images.size())) return {};
        auto known = image_sources_.find(index);
        if (known != image_sources_.end()) return known->second;
        std::string path = exporter_.export_image(page.images[static_cast<size_t>(index)], page.index + 1, index + 1);
        std::string source = path.empty() ? std::string() : html::url_path(folder_prefix_ + path);
        image_sources_.emplace(index, source);
        return source;
    }

    WriterContext& context_;
    HtmlMode mode_;
    ImageExporter exporter_;
    std::string title_;
    std::string language_;
    std::vector<bool> selected_;  // by 0-based page
    html::PageStyle style_;
    OutputStream* single_ = nullptr;
    bool head_written_ = false;
    int pages_written_ = 0;
    std::string folder_prefix_;                // from an HTML file's folder to the output's folder
    std::map<int, std::string> image_sources_;  // of the current page, by image index
};

}  // namespace

std::unique_ptr<Writer> make_html_writer(WriterContext& context) {
    HtmlMode mode = mode_of(context.options);
    return std::make_unique<HtmlWriter>(context, mode);
}

}  // namespace foli
