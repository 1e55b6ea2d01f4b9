// JSON: the analysed pages as one UTF-8 JSON document (or one per page),
// in the layout described in docs/json-schema.md and checked by
// docs/json-schema.json. The document is streamed: its head is written at
// the start, each page as soon as it is analysed, the closing brackets at
// the end, so no more than one page is ever held in memory.
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "core/errors.h"
#include "writers/image_export.h"
#include "writers/writer.h"

namespace foli {
namespace {

constexpr int kFormatVersion = 1;

// ------------------------------------------------------------ JSON text

// Appends `text` as a JSON string. Bytes that do not form valid UTF-8
// (stray continuation bytes, overlong forms, surrogates, values beyond
// U+10FFFF) each become U+FFFD, so the output is always valid UTF-8.
void append_string(std::string& out, std::string_view text) {
    static const char hex[] = "0123456789abcdef";
    out += '"';
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            default:
                if (c < 0x20) {
                    out += "\\u00";
                    out += hex[c >> 4];
                    out += hex[c & 0xF];
                } else {
                    out += static_cast<char>(c);
                }
            }
            ++i;
            continue;
        }
        size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
        bool valid = length > 0 && c <= 0xF4 && i + length <= text.size();
        uint32_t code = valid ? c & (0x7F >> length) : 0;
        for (size_t k = 1; valid && k < length; ++k) {
            unsigned char next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        static const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        valid = valid && code >= smallest[length] && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
        if (valid) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    out += '"';
}

// A coordinate or size with two decimals and no trailing zeros, written
// without the C library so that no locale can turn the point into a comma.
void append_number(std::string& out, float value) {
    if (!std::isfinite(value)) value = 0;
    long long hundredths = std::llround(static_cast<double>(value) * 100);
    if (hundredths < 0) {
        out += '-';
        hundredths = -hundredths;
    }
    out += std::to_string(hundredths / 100);
    int fraction = static_cast<int>(hundredths % 100);
    if (fraction != 0) {
        out += '.';
        out += static_cast<char>('0' + fraction / 10);
        if (fraction % 10 != 0) out += static_cast<char>('0' + fraction % 10);
    }
}

// Writes objects and arrays with the commas between their members.
class Json {
public:
    explicit Json(std::string& out) : out_(out) {}

    Json& begin_object() { return open('{'); }
    Json& end_object() { return close('}'); }
    Json& begin_array() { return open('['); }
    Json& end_array() { return close(']'); }

    Json& key(std::string_view name) {
        separate();
        append_string(out_, name);
        out_ += ':';
        after_key_ = true;
        return *this;
    }
    Json& value(std::string_view text) {
        separate();
        append_string(out_, text);
        return *this;
    }
    Json& value(const char* text) { return value(std::string_view(text)); }
    Json& value(const std::string& text) { return value(std::string_view(text)); }
    Json& value(bool flag) {
        separate();
        out_ += flag ? "true" : "false";
        return *this;
    }
    Json& value(int number) {
        separate();
        out_ += std::to_string(number);
        return *this;
    }
    Json& value(float number) {
        separate();
        append_number(out_, number);
        return *this;
    }
    Json& null() {
        separate();
        out_ += "null";
        return *this;
    }
    Json& text_or_null(const std::string& text) { return text.empty() ? null() : value(text); }
    Json& box(const Rect& rect) {
        begin_array().value(rect.x0).value(rect.y0).value(rect.x1).value(rect.y1);
        return end_array();
    }
    Json& color(uint32_t rgb) {
        char text[8];
        std::snprintf(text, sizeof text, "#%06x", rgb & 0xFFFFFFu);
        return value(std::string_view(text, 7));
    }

    // Lets a new object or array start in the middle of a list whose
    // earlier members were written elsewhere (a page after other pages).
    void continue_list() { first_.push_back(false); }

private:
    Json& open(char bracket) {
        separate();
        out_ += bracket;
        first_.push_back(true);
        return *this;
    }
    Json& close(char bracket) {
        out_ += bracket;
        first_.pop_back();
        return *this;
    }
    void separate() {
        if (after_key_) {
            after_key_ = false;
            return;
        }
        if (!first_.empty()) {
            if (!first_.back()) out_ += ',';
            first_.back() = false;
        }
    }

    std::string& out_;
    std::vector<bool> first_;
    bool after_key_ = false;
};

// -------------------------------------------------------------- content

const char* block_type(BlockKind kind) {
    switch (kind) {
    case BlockKind::Paragraph: return "paragraph";
    case BlockKind::Heading: return "heading";
    case BlockKind::ListItem: return "list_item";
    case BlockKind::Table: return "table";
    case BlockKind::Image: return "image";
    case BlockKind::Code: return "code";
    case BlockKind::ContentsEntry: return "contents_entry";
    case BlockKind::PageHeader: return "page_header";
    case BlockKind::PageFooter: return "page_footer";
    }
    return "paragraph";
}

void write_span(Json& json, const Span& span) {
    json.begin_object();
    json.key("text").value(span.text);
    json.key("font").value(span.font);
    json.key("size").value(span.size);
    json.key("bold").value(span.bold);
    json.key("italic").value(span.italic);
    json.key("monospace").value(span.monospace);
    json.key("color").color(span.color);
    json.key("box").box(span.box);
    json.key("link").text_or_null(span.link);
    json.end_object();
}

void write_lines(Json& json, const std::vector<Line>& lines) {
    json.key("lines").begin_array();
    for (const Line& line : lines) {
        json.begin_object();
        json.key("box").box(line.box);
        json.key("horizontal").value(line.horizontal);
        json.key("spans").begin_array();
        for (const Span& span : line.spans) write_span(json, span);
        json.end_array();
        json.end_object();
    }
    json.end_array();
}

void write_table(Json& json, const Table& table) {
    json.key("rows").value(table.rows);
    json.key("columns").value(table.columns);
    json.key("ruled").value(table.ruled);
    json.key("header_rows").value(table.header_rows);
    json.key("column_edges").begin_array();
    for (float x : table.column_edges) json.value(x);
    json.end_array();
    json.key("row_edges").begin_array();
    for (float y : table.row_edges) json.value(y);
    json.end_array();
    json.key("cells").begin_array();
    for (const TableCell& cell : table.cells) {
        json.begin_object();
        json.key("row").value(cell.row);
        json.key("column").value(cell.column);
        json.key("row_span").value(cell.row_span);
        json.key("column_span").value(cell.column_span);
        json.key("box").box(cell.box);
        json.key("text").value(cell.text());
        write_lines(json, cell.lines);
        json.end_object();
    }
    json.end_array();
}

class JsonWriter : public Writer {
public:
    explicit JsonWriter(WriterContext& context) : context_(context), images_(context) {}

    LayoutRequest layout_request() const override {
        LayoutRequest request;
        request.model.annotations = context_.options.contain_annotation;
        request.model.images = true;  // boxes and pixel sizes are reported even when no file is written
        request.model.vectors = true;
        request.model.links = true;
        request.analysis.detect_tables = context_.options.json_contain_table;
        request.analysis.include_images = true;
        return request;
    }

    void begin() override {
        if (per_page()) return;
        out_ = &context_.files.create(context_.files.output_path());
        std::string head;
        write_head(head);
        *out_ << head;
    }

    void write_page(PageSource& page) override {
        std::string text;
        if (per_page()) {
            std::string path = context_.files.page_path(page.number(), ".json");
            write_head(text);
            write_page_object(text, page, directory_of(path), false);
            text += "]}\n";
            OutputStream& stream = context_.files.create(path);
            stream << text;
            stream.close();
        } else {
            write_page_object(text, page, context_.files.directory(), pages_written_ > 0);
            *out_ << text;
        }
        ++pages_written_;
    }

    void finish() override {
        if (!per_page()) *out_ << "]}\n";
    }

private:
    bool per_page() const { return context_.options.output_document_per_page; }

    static std::string directory_of(const std::string& path) {
        size_t slash = path.find_last_of('/');
        return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    }

    // Everything before the first page: the document's description and
    // the opening of the page list.
    void write_head(std::string& out) const {
        const DocumentInfo& info = context_.info;
        Json json(out);
        json.begin_object();
        json.key("format").value("foliant-json");
        json.key("version").value(kFormatVersion);
        json.key("document").begin_object();
        json.key("source").value(info.source_path);
        json.key("page_count").value(info.page_count);
        json.key("metadata").begin_object();
        json.key("title").value(info.title);
        json.key("author").value(info.author);
        json.key("subject").value(info.subject);
        json.key("keywords").value(info.keywords);
        json.key("creator").value(info.creator);
        json.key("producer").value(info.producer);
        json.end_object();
        json.key("outline").begin_array();
        for (const OutlineEntry& entry : info.outline) {
            json.begin_object();
            json.key("title").value(entry.title);
            json.key("level").value(entry.level + 1);
            if (entry.page >= 0)
                json.key("page").value(entry.page + 1);
            else
                json.key("page").null();
            json.key("uri").text_or_null(entry.uri);
            json.end_object();
        }
        json.end_array();
        json.end_object();
        out += ",\"pages\":[";
    }

    void write_page_object(std::string& out, PageSource& page, const std::string& json_folder, bool after_other_pages) {
        const PageLayout& layout = page.layout();
        Json json(out);
        if (after_other_pages) json.continue_list();
        json.begin_object();
        json.key("number").value(page.number());
        json.key("width").value(layout.page.width);
        json.key("height").value(layout.page.height);
        json.key("rotation").value(90 * layout.page.quarter_turns);
        json.key("flipped").value(layout.page.flipped == PageModel::Flip::None        ? "none"
                                  : layout.page.flipped == PageModel::Flip::LeftRight ? "left-right"
                                                                                      : "up-down");
        json.key("body_font_size").value(layout.body_font_size);
        json.key("blocks").begin_array();
        for (const Block& block : layout.blocks) write_block(json, block, layout, page.number(), json_folder);
        json.end_array();
        json.key("links").begin_array();
        for (const LinkItem& link : layout.page.links) {
            json.begin_object();
            json.key("box").box(link.box);
            json.key("uri").value(link.uri);
            if (link.target_page >= 0)
                json.key("page").value(link.target_page + 1);
            else
                json.key("page").null();
            json.end_object();
        }
        json.end_array();
        json.end_object();
        out += '\n';
    }

    void write_block(Json& json, const Block& block, const PageLayout& layout, int page_number,
                     const std::string& json_folder) {
        json.begin_object();
        json.key("type").value(block_type(block.kind));
        json.key("box").box(block.box);
        switch (block.kind) {
        case BlockKind::Heading:
            json.key("level").value(block.heading_level);
            break;
        case BlockKind::ListItem:
            json.key("marker").value(block.marker);
            json.key("ordered").value(block.ordered);
            json.key("level").value(block.list_level);
            break;
        case BlockKind::Table:
            write_table(json, block.table);
            break;
        case BlockKind::Image:
            write_image(json, layout.page.images[static_cast<size_t>(block.image)], block.image + 1, page_number,
                        json_folder);
            break;
        case BlockKind::ContentsEntry:
            json.key("level").value(block.list_level);
            json.key("page_label").value(block.page_label);
            if (block.target_page >= 0)
                json.key("target_page").value(block.target_page + 1);
            else
                json.key("target_page").null();
            break;
        case BlockKind::Code:
        case BlockKind::PageHeader:
        case BlockKind::PageFooter:
        case BlockKind::Paragraph:
            break;
        }
        if (block.kind != BlockKind::Table && block.kind != BlockKind::Image) {
            json.key("text").value(block.kind == BlockKind::Code ? code_text(block) : paragraph_text(block.lines));
            write_lines(json, block.lines);
        }
        json.end_object();
    }

    void write_image(Json& json, const ImageItem& image, int image_number, int page_number,
                     const std::string& json_folder) {
        json.key("width").value(image.pixel_width);
        json.key("height").value(image.pixel_height);
        std::string file;
        if (context_.options.contain_image)
            file = file_reference(images_.export_image(image, page_number, image_number), json_folder);
        json.key("file").text_or_null(file);
    }

    // The exported file as seen from the JSON file: per-page files in
    // their own folder reach the resource folder one level up.
    std::string file_reference(const std::string& relative_to_output, const std::string& json_folder) const {
        if (relative_to_output.empty() || json_folder == context_.files.directory()) return relative_to_output;
        return "../" + relative_to_output;
    }

    WriterContext& context_;
    ImageExporter images_;
    OutputStream* out_ = nullptr;
    int pages_written_ = 0;
};

}  // namespace

std::unique_ptr<Writer> make_json_writer(WriterContext& context) { return std::make_unique<JsonWriter>(context); }

}  // namespace foli
