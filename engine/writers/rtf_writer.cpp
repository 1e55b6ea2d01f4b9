// RTF output: the same content as Word's FLOW layout. Headings carry the
// heading styles and outline levels, list items the list table's
// numbering, tables rows of cells with merged cells, pictures are embedded
// as PNG or JPEG, links are HYPERLINK fields and every character beyond
// ASCII is written as \uN. The font and colour tables come first in the
// file but are known only at the end, so the body waits in a scratch file.
// Both page layouts are written as this flowing text.
#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

#include "analysis/utf8.h"
#include "core/errors.h"
#include "core/log.h"
#include "writers/formula_lines.h"
#include "writers/html_text.h"
#include "writers/image_export.h"
#include "writers/office/drawings.h"
#include "writers/office/fonts.h"
#include "writers/office/list_numbering.h"
#include "writers/office/package_parts.h"
#include "writers/office/page_notes.h"
#include "writers/office/runs.h"
#include "writers/office/table_looks.h"
#include "writers/office/units.h"
#include "writers/writer.h"

namespace foli {
namespace {

using office::twips;

constexpr float kMinMargin = 18.0f;
constexpr int kHeadingSizes[6] = {32, 28, 26, 24, 22, 22};  // half-points

// Appends text with RTF's escapes: \ { } escaped, tab and line break as
// control words, everything beyond ASCII as \uN? (UTF-16 units, signed).
void append_rtf_text(std::string& out, const std::string& text) {
    size_t pos = 0;
    while (pos < text.size()) {
        char32_t c = next_code_point(text, pos);
        if (c == '\\' || c == '{' || c == '}') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\t') {
            out += "\\tab ";
        } else if (c == '\n') {
            out += "\\line ";
        } else if (c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == 0xFFFE || c == 0xFFFF) {
            // Control characters have no place in the text.
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            auto unit = [&](unsigned value) {
                out += "\\u" + std::to_string(static_cast<int16_t>(value)) + "?";
            };
            if (c >= 0x10000) {
                char32_t v = c - 0x10000;
                unit(0xD800 + (v >> 10));
                unit(0xDC00 + (v & 0x3FF));
            } else {
                unit(c);
            }
        }
    }
}

std::string rtf_text(const std::string& text) {
    std::string out;
    append_rtf_text(out, text);
    return out;
}

int list_level_number_code(office::NumberFormat format) {
    switch (format) {
    case office::NumberFormat::Decimal: return 0;
    case office::NumberFormat::UpperRoman: return 1;
    case office::NumberFormat::LowerRoman: return 2;
    case office::NumberFormat::UpperLetter: return 3;
    case office::NumberFormat::LowerLetter: return 4;
    case office::NumberFormat::Bullet: break;
    }
    return 23;
}

// The text of a list marker for readers that do not number lists.
std::string printed_marker(const Block& block) {
    if (!block.marker.empty()) return block.marker;
    return block.ordered ? "1." : "\xE2\x80\xA2";
}

struct RtfSection {
    float width = 612, height = 792;
    float left = 72, top = 72, right = 72, bottom = 72;
};

std::string section_words(const RtfSection& section) {
    std::string out = "\\sectd\\pgwsxn" + std::to_string(std::max(1L, twips(section.width))) + "\\pghsxn" +
                      std::to_string(std::max(1L, twips(section.height))) + "\\marglsxn" +
                      std::to_string(twips(section.left)) + "\\margrsxn" + std::to_string(twips(section.right)) +
                      "\\margtsxn" + std::to_string(twips(section.top)) + "\\margbsxn" +
                      std::to_string(twips(section.bottom));
    if (section.width > section.height) out += "\\lndscpsxn";
    return out + "\n";
}

Rect content_of(const PageLayout& layout) {
    Rect box;
    for (const Block& block : layout.blocks)
        if (in_flow(block)) box = box.united(block.kind == BlockKind::Table ? block.table.box.united(block.box) : block.box);
    return box.intersected({0, 0, layout.page.width, layout.page.height});
}

RtfSection section_of(const PageLayout& layout) {
    // Word takes pages up to 22 inches a side: a larger one keeps its
    // content's margins on the left and top, and the text reflows.
    RtfSection section;
    section.width = office::page_side(layout.page.width, 612);
    section.height = office::page_side(layout.page.height, 792);
    Rect box = content_of(layout);
    if (box.empty()) return section;
    auto margin = [](float value, float limit) { return std::clamp(value, kMinMargin, std::max(kMinMargin, limit)); };
    section.left = margin(box.x0, section.width / 3);
    section.right = margin(section.width - box.x1, section.width / 3);
    section.top = margin(box.y0, section.height / 4);
    section.bottom = margin(section.height - box.y1, section.height / 4);
    return section;
}

// One RTF document: the tables that head it, and the body as it comes.
class RtfDocument {
public:
    RtfDocument(WriterContext& context, const std::string& path, std::vector<bool> selected)
        : context_(context), path_(path), body_(context.files.create_scratch()), selected_(std::move(selected)) {
        font_override_ = context.options.font_name;
        colors_.push_back(0);  // index 0 is "auto"; black is added as a real entry
    }

    void add_page(PageSource& source) {
        const PageLayout& layout = source.layout();
        RtfSection section = section_of(layout);
        std::string out;
        // A new section for a new page size, and where running heads begin
        // (a title page before them keeps none).
        // Running heads that repeat the page before's go into the section's
        // header and footer, from a section of their own; others stay in
        // the body (see the Word writer).
        std::string key = office::running_heads_key(layout);
        heads_in_header_ = !key.empty() && (key == section_key_ || key == previous_key_);
        bool heads_change = heads_in_header_ && key != section_key_;
        previous_key_ = key;
        bool new_section = pages_ > 0 && (std::fabs(section.width - section_.width) >= 1.0f ||
                                          std::fabs(section.height - section_.height) >= 1.0f || heads_change);
        if (pages_ == 0 || new_section) {
            section_ = section;
            out += pages_ == 0 ? section_words(section_) : "\\sect" + section_words(section_);
            section_key_.clear();
            if (heads_in_header_) {
                out += running_heads(source);
                section_key_ = key;
            }
        }
        break_pending_ = pages_ > 0 && !new_section;
        bookmark_pending_ = "{\\*\\bkmkstart page" + std::to_string(source.number()) + "}{\\*\\bkmkend page" +
                            std::to_string(source.number()) + "}";
        Rect area = content_of(layout);
        if (area.empty()) area = {0, 0, layout.page.width, layout.page.height};
        std::vector<std::vector<office::PageNote>> notes = block_notes(source);
        list_open_ = false;
        // Vector drawings as pictures (image_path_enhance), as in Word.
        std::vector<bool> in_drawing(layout.blocks.size(), false);
        std::vector<std::vector<Rect>> drawings_before(layout.blocks.size() + 1);
        if (context_.options.image_path_enhance) {
            std::vector<Rect> paths =
                office::page_path_boxes(source.document(), source.page(), context_.options.contain_annotation);
            for (const Rect& drawing : office::find_drawings(paths, layout)) {
                size_t first = layout.blocks.size();
                for (size_t i = 0; i < layout.blocks.size(); ++i)
                    if (office::inside_drawing(layout.blocks[i], drawing)) {
                        in_drawing[i] = true;
                        first = std::min(first, i);
                    }
                for (size_t i = 0; i < layout.blocks.size() && first == layout.blocks.size(); ++i)
                    if (layout.blocks[i].box.y0 >= drawing.y0) first = i;
                drawings_before[first].push_back(drawing);
            }
        }
        for (size_t index = 0; index < layout.blocks.size(); ++index) {
            const Block& block = layout.blocks[index];
            for (const Rect& drawing : drawings_before[index]) write_region_picture(out, source, drawing);
            if (in_drawing[index]) continue;
            notes_ = std::move(notes[index]);
            if (block.kind != BlockKind::ListItem) list_open_ = false;
            switch (block.kind) {
            case BlockKind::Paragraph:
            case BlockKind::Heading: write_text_block(out, source, block, area); break;
            case BlockKind::ListItem: write_list_item(out, block, layout); break;
            case BlockKind::Table: write_table(out, block.table, layout, area); break;
            case BlockKind::Image: write_image(out, block, layout, area); break;
            case BlockKind::Code: write_code(out, block); break;
            case BlockKind::ContentsEntry: write_contents_entry(out, block, layout, area); break;
            // Running heads are the section's header and footer, unless they
            // do not repeat.
            case BlockKind::PageHeader:
            case BlockKind::PageFooter:
                if (!heads_in_header_) write_text_block(out, source, block, area);
                break;
            }
        }
        for (const Rect& drawing : drawings_before.back()) write_region_picture(out, source, drawing);
        notes_ = std::move(notes.back());
        if (break_pending_ || !bookmark_pending_.empty() || !notes_.empty()) {
            begin_paragraph(out, "");
            append_notes(out);
            out += "\\par\n";
        }
        body_.write(out);
        ++pages_;
    }

    void finish() {
        OutputStream& out = context_.files.create(path_);
        out << head();
        body_.copy_range(0, body_.size(), out);
        out << "}\n";
        // Closed now, so that one document per page holds no file open.
        out.close();
        body_.close();
    }

private:
    // ------------------------------------------------------------ tables

    int font_index(const office::OfficeFont& font) {
        auto known = font_indices_.find(font.family);
        if (known != font_indices_.end()) return known->second;
        int index = static_cast<int>(fonts_.size());
        fonts_.push_back(font);
        font_indices_.emplace(font.family, index);
        return index;
    }

    const office::OfficeFont& mapped_font(const office::RunStyle& style) {
        auto key = std::make_pair(font_override_.empty() ? style.font : std::string(), style.monospace);
        auto known = mapped_.find(key);
        if (known != mapped_.end()) return known->second;
        office::OfficeFont font = font_override_.empty() ? office::map_pdf_font(style.font, style.monospace)
                                                         : office::named_font(font_override_);
        if (!font_override_.empty()) font.bold = font.italic = false;
        return mapped_.emplace(key, std::move(font)).first->second;
    }

    int color_index(uint32_t rgb) {
        auto known = color_indices_.find(rgb);
        if (known != color_indices_.end()) return known->second;
        int index = static_cast<int>(colors_.size());
        colors_.push_back(rgb);
        color_indices_.emplace(rgb, index);
        return index;
    }

    std::string head() const {
        std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl";
        for (size_t i = 0; i < fonts_.size(); ++i) {
            const office::OfficeFont& font = fonts_[i];
            out += "{\\f" + std::to_string(i) + "\\" + office::rtf_font_family(font.font_class);
            out += font.east_asian ? "\\fcharset134" : "\\fcharset0";
            if (font.fixed_pitch) out += "\\fprq1";
            out += " " + rtf_text(font.family) + ";}";
        }
        if (fonts_.empty()) out += "{\\f0\\froman\\fcharset0 Times New Roman;}";
        out += "}\n{\\colortbl;";
        for (size_t i = 1; i < colors_.size(); ++i)
            out += "\\red" + std::to_string(office::red(colors_[i])) + "\\green" +
                   std::to_string(office::green(colors_[i])) + "\\blue" + std::to_string(office::blue(colors_[i])) +
                   ";";
        out += "}\n{\\stylesheet{\\s0\\snext0 Normal;}";
        for (int level = 1; level <= 6; ++level)
            out += "{\\s" + std::to_string(level) + "\\outlinelevel" + std::to_string(level - 1) +
                   "\\sbasedon0\\snext0\\keepn\\b\\fs" + std::to_string(kHeadingSizes[level - 1]) + " heading " +
                   std::to_string(level) + ";}";
        out += "{\\*\\cs10\\additive\\ul\\cf0 Hyperlink;}}\n";
        if (!lists_.empty()) out += list_tables();
        out += info_group();
        out += "\\viewkind4\\uc1\n";
        return out;
    }

    std::string info_group() const {
        const DocumentInfo& info = context_.info;
        std::string out = "{\\info";
        auto field = [&](const char* name, const std::string& value) {
            std::string text = office::trimmed(value);
            if (!text.empty()) out += std::string("{\\") + name + " " + rtf_text(text) + "}";
        };
        field("title", info.title);
        field("subject", info.subject);
        field("author", info.author);
        field("keywords", info.keywords);
        out += "}\n";
        return out;
    }

    // One \list per list, so that each starts at its own printed number.
    std::string list_tables() const {
        std::string out = "{\\*\\listtable";
        for (size_t i = 0; i < lists_.size(); ++i) {
            const std::vector<office::ListNumbering>& levels = lists_[i];
            out += "{\\list\\listtemplateid" + std::to_string(i + 1) + "\\listhybrid";
            for (int level = 0; level < 9; ++level) {
                office::ListNumbering numbering;
                if (static_cast<size_t>(level) < levels.size() && !levels[static_cast<size_t>(level)].kind().empty() &&
                    level_seen_[i].size() > static_cast<size_t>(level) && level_seen_[i][static_cast<size_t>(level)]) {
                    numbering = levels[static_cast<size_t>(level)];
                } else {
                    numbering.format = office::NumberFormat::Bullet;
                    numbering.bullet = office::default_bullet(level);
                }
                bool bullet = numbering.format == office::NumberFormat::Bullet;
                int code = list_level_number_code(numbering.format);
                long start = std::clamp(numbering.start, 0L, 32767L);
                out += "{\\listlevel\\levelnfc" + std::to_string(code) + "\\levelnfcn" + std::to_string(code) +
                       "\\leveljc0\\leveljcn0\\levelfollow0\\levelstartat" + std::to_string(bullet ? 1 : start) +
                       "\\levelindent0";
                std::string text, numbers;
                if (bullet) {
                    std::string bullet_text = rtf_text(numbering.bullet);
                    text = "{\\leveltext\\'01" + bullet_text + ";}";
                    numbers = "{\\levelnumbers;}";
                } else {
                    std::string prefix = rtf_text(numbering.prefix), suffix = rtf_text(numbering.suffix);
                    size_t length = numbering.prefix.size() + 1 + numbering.suffix.size();
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\'%02x", static_cast<unsigned>(length));
                    char place[8];
                    std::snprintf(place, sizeof place, "\\'%02x", static_cast<unsigned>(level));
                    char position[8];
                    std::snprintf(position, sizeof position, "\\'%02x",
                                  static_cast<unsigned>(numbering.prefix.size() + 1));
                    text = std::string("{\\leveltext") + hex + prefix + place + suffix + ";}";
                    numbers = std::string("{\\levelnumbers") + position + ";}";
                }
                out += text + numbers;
                long indent = 720 + 360 * level;
                out += "\\fi-360\\li" + std::to_string(indent) + "\\lin" + std::to_string(indent) + " }";
            }
            out += "{\\listname ;}\\listid" + std::to_string(i + 1) + "}";
        }
        out += "}\n{\\*\\listoverridetable";
        for (size_t i = 0; i < lists_.size(); ++i)
            out += "{\\listoverride\\listid" + std::to_string(i + 1) + "\\listoverridecount0\\ls" +
                   std::to_string(i + 1) + "}";
        out += "}\n";
        return out;
    }

    // ------------------------------------------------------ running heads


    // The section's header and footer from the running heads of its first
    // page, the page number as a PAGE field.
    std::string running_heads(PageSource& source) {
        const PageLayout& layout = source.layout();
        std::string out;
        for (BlockKind kind : {BlockKind::PageHeader, BlockKind::PageFooter}) {
            std::string body;
            for (const Block& block : layout.blocks) {
                if (block.kind != kind) continue;
                std::vector<office::StyledRun> runs = office::paragraph_runs(block.lines);
                for (office::StyledRun& run : runs) run.style.link.clear();
                if (runs.empty()) continue;
                float width = layout.page.width;
                const char* align = std::fabs(block.box.center_x() - width / 2) < 0.05f * width ? "\\qc"
                                    : block.box.x0 > width / 2                                 ? "\\qr"
                                                                                               : "";
                body += std::string("\\pard\\plain") + align + " ";
                page_field_ = source.number();
                append_runs(body, runs, layout.page, false);
                page_field_ = 0;
                body += "\\par ";
            }
            if (!body.empty()) out += std::string("{") + (kind == BlockKind::PageHeader ? "\\header " : "\\footer ") + body + "}\n";
        }
        return out;
    }

    void write_code(std::string& out, const Block& block) {
        std::string text = code_text(block);
        if (text.find_first_not_of(" \n") == std::string::npos) return;
        office::StyledRun run;
        run.text = text;
        for (const Line& line : block.lines)
            if (!line.spans.empty()) {
                run.style = office::style_of(line.spans.front());
                break;
            }
        run.style.link.clear();
        run.style.monospace = true;
        begin_paragraph(out, "\\keep\\sa120");
        append_run(out, run, false);
        append_notes(out);
        out += "\\par\n";
    }

    void write_contents_entry(std::string& out, const Block& block, const PageLayout& layout, const Rect& area) {
        std::vector<office::StyledRun> runs = office::paragraph_runs(block.lines);
        if (runs.empty() && block.page_label.empty()) return;
        int level = std::clamp(block.list_level, 0, 8);
        long tab = std::max(720L, twips(area.width()));
        begin_paragraph(out, "\\li" + std::to_string(220 * level) + "\\sa60\\tqr\\tldot\\tx" + std::to_string(tab));
        office::StyledRun label;
        label.text = "\t" + block.page_label;
        if (!runs.empty()) label.style = runs.back().style;
        for (office::StyledRun& run : runs) run.style.link.clear();
        label.style.link.clear();
        runs.push_back(label);
        size_t index = static_cast<size_t>(block.target_page);
        bool linked = block.target_page >= 0 && index < selected_.size() && selected_[index];
        if (linked)
            out += "{\\field{\\*\\fldinst{HYPERLINK \\\\l \"page" + std::to_string(block.target_page + 1) +
                   "\"}}{\\fldrslt{";
        append_runs(out, runs, layout.page, false);
        if (linked) out += "}}}";
        append_notes(out);
        out += "\\par\n";
    }

    // ------------------------------------------------------------ notes

    // The page's notes by block (text blocks only), and those near no text
    // block last.
    std::vector<std::vector<office::PageNote>> block_notes(PageSource& source) {
        const std::vector<Block>& blocks = source.layout().blocks;
        std::vector<std::vector<office::PageNote>> by_block(blocks.size() + 1);
        if (!context_.options.contain_annotation) return by_block;
        std::vector<office::PageNote> notes = office::page_notes(source.document(), source.page());
        if (notes.empty()) return by_block;
        std::vector<size_t> text_blocks;
        std::vector<Rect> boxes;
        for (size_t i = 0; i < blocks.size(); ++i)
            if (blocks[i].kind == BlockKind::Paragraph || blocks[i].kind == BlockKind::Heading ||
                blocks[i].kind == BlockKind::ListItem) {
                text_blocks.push_back(i);
                boxes.push_back(blocks[i].box);
            }
        std::vector<int> anchors = office::nearest_boxes(notes, boxes);
        for (size_t i = 0; i < notes.size(); ++i) {
            size_t at = anchors[i] < 0 ? blocks.size() : text_blocks[static_cast<size_t>(anchors[i])];
            by_block[at].push_back(std::move(notes[i]));
        }
        return by_block;
    }

    // RTF annotations at the end of the paragraph being written.
    void append_notes(std::string& out) {
        for (const office::PageNote& note : notes_) {
            std::string author = office::trimmed(note.author);
            if (author.empty()) author = "PDF";
            out += "{\\*\\atnid " + rtf_text(author.substr(0, 1)) + "}{\\*\\atnauthor " + rtf_text(author) +
                   "}\\chatn{\\*\\annotation\\pard\\plain ";
            append_rtf_text(out, note.text);
            out += "}";
        }
        notes_.clear();
    }

    // ------------------------------------------------------------- text

    void begin_paragraph(std::string& out, const std::string& words) {
        out += "\\pard\\plain";
        if (break_pending_) {
            out += "\\pagebb";
            break_pending_ = false;
        }
        out += words;
        out += ' ';
        out += bookmark_pending_;
        bookmark_pending_.clear();
    }

    std::string link_target(const std::string& uri, const PageModel& page) const {
        for (const LinkItem& link : page.links) {
            if (link.uri != uri || link.target_page < 0) continue;
            size_t index = static_cast<size_t>(link.target_page);
            if (index < selected_.size() && selected_[index])
                return "\\\\l \"page" + std::to_string(link.target_page + 1) + "\"";
            return {};
        }
        if (!html::is_safe_link(uri)) return {};
        std::string escaped;
        for (char c : uri) {
            if (c == '"' || c == '\\' || c == '{' || c == '}') continue;
            escaped += c;
        }
        return "\"" + rtf_text(escaped) + "\"";
    }

    void append_run(std::string& out, const office::StyledRun& run, bool heading) {
        const office::RunStyle& style = run.style;
        const office::OfficeFont& font = mapped_font(style);
        office::TextScripts scripts = office::scripts_of(run.text);
        int index;
        if (scripts.east_asian && font_override_.empty() && !font.east_asian) {
            office::OfficeFont east = office::named_font(office::east_asian_family(font, scripts));
            east.east_asian = true;
            index = font_index(east);
        } else {
            index = font_index(font);
        }
        out += "{";
        if (scripts.right_to_left) out += "\\rtlch";
        out += "\\f" + std::to_string(index);
        out += "\\fs" + std::to_string(office::half_points(style.size > 0 ? style.size : 11));
        bool bold = style.bold || font.bold;
        if (bold)
            out += "\\b";
        else if (heading)
            out += "\\b0";
        if (style.italic || font.italic) out += "\\i";
        // No page backgrounds here: text light on a dark one takes the
        // automatic colour.
        if (style.color != 0 && !office::unreadable_on(style.color, background_))
            out += "\\cf" + std::to_string(color_index(style.color));
        out += ' ';
        if (page_field_ > 0) {
            append_with_page_field(out, run.text);
        } else {
            append_rtf_text(out, run.text);
        }
        out += "}";
    }

    // Text whose standalone page number becomes a PAGE field.
    void append_with_page_field(std::string& out, const std::string& text) const {
        std::string number = std::to_string(page_field_);
        auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
        size_t start = 0;
        for (size_t at = text.find(number); at != std::string::npos; at = text.find(number, at + number.size())) {
            size_t end = at + number.size();
            if ((at > 0 && is_digit(text[at - 1])) || (end < text.size() && is_digit(text[end]))) continue;
            append_rtf_text(out, text.substr(start, at - start));
            out += "{\\field{\\*\\fldinst PAGE }{\\fldrslt " + number + "}}";
            start = end;
        }
        append_rtf_text(out, text.substr(start));
    }

    void append_runs(std::string& out, const std::vector<office::StyledRun>& runs, const PageModel& page,
                     bool heading) {
        size_t i = 0;
        while (i < runs.size()) {
            const std::string& uri = runs[i].style.link;
            size_t end = i + 1;
            while (end < runs.size() && runs[end].style.link == uri) ++end;
            std::string target = uri.empty() ? std::string() : link_target(uri, page);
            if (!target.empty()) out += "{\\field{\\*\\fldinst{HYPERLINK " + target + "}}{\\fldrslt{\\cs10\\ul ";
            for (size_t k = i; k < end; ++k) append_run(out, runs[k], heading);
            if (!target.empty()) out += "}}}";
            i = end;
        }
    }

    static const char* alignment(const Block& block, const Rect& area) {
        if (block.lines.empty() || area.width() <= 0) return "";
        bool centred = true;
        for (const Line& line : block.lines)
            if (std::fabs(line.box.center_x() - area.center_x()) > 0.04f * area.width() ||
                line.box.width() > 0.85f * area.width())
                centred = false;
        if (centred && block.lines.size() == 1 && std::fabs(block.lines[0].box.x0 - area.x0) < 0.1f * area.width())
            centred = false;
        if (centred) return "\\qc";
        if (block.lines.size() >= 3) {
            float end = block.box.x1;
            bool full = std::all_of(block.lines.begin(), block.lines.end() - 1,
                                    [&](const Line& line) { return end - line.box.x1 <= 3.0f; });
            if (full && block.lines.back().box.x1 < end - 3.0f) return "\\qj";
        }
        return "";
    }

    void write_text_block(std::string& out, PageSource& source, const Block& block, const Rect& area) {
        if (context_.options.formula_to_image &&
            std::any_of(block.lines.begin(), block.lines.end(), is_formula_line)) {
            size_t start = 0;
            while (start < block.lines.size()) {
                bool formula = is_formula_line(block.lines[start]);
                size_t end = start + 1;
                while (end < block.lines.size() && is_formula_line(block.lines[end]) == formula) ++end;
                Block part = block;
                part.lines.assign(block.lines.begin() + static_cast<long>(start),
                                  block.lines.begin() + static_cast<long>(end));
                part.box = {};
                for (const Line& line : part.lines) part.box = part.box.united(line.box);
                if (!formula || !write_formula(out, source, part.box)) write_paragraph(out, part, source.layout(), area);
                start = end;
            }
            return;
        }
        write_paragraph(out, block, source.layout(), area);
    }

    void write_paragraph(std::string& out, const Block& block, const PageLayout& layout, const Rect& area) {
        std::vector<office::StyledRun> runs = office::paragraph_runs(block.lines);
        if (runs.empty()) return;
        bool heading = block.kind == BlockKind::Heading;
        std::string words;
        if (heading) {
            int level = std::clamp(block.heading_level, 1, 6);
            words += "\\s" + std::to_string(level) + "\\outlinelevel" + std::to_string(level - 1) + "\\keepn\\sb240";
        }
        words += "\\sa120";
        words += alignment(block, area);
        if (rtl_paragraph(runs)) words += "\\rtlpar";
        begin_paragraph(out, words);
        append_runs(out, runs, layout.page, heading);
        append_notes(out);
        out += "\\par\n";
    }

    static bool rtl_paragraph(const std::vector<office::StyledRun>& runs) {
        size_t rtl = 0, total = 0;
        for (const office::StyledRun& run : runs) {
            size_t pos = 0;
            while (pos < run.text.size()) {
                char32_t c = next_code_point(run.text, pos);
                if (c <= ' ') continue;
                ++total;
                if (office::is_right_to_left(c)) ++rtl;
            }
        }
        return total > 0 && 2 * rtl > total;
    }

    void write_list_item(std::string& out, const Block& block, const PageLayout& layout) {
        std::vector<office::StyledRun> runs = office::paragraph_runs(block.lines);
        int level = std::clamp(block.list_level, 0, 8);
        office::ListNumbering numbering = office::list_numbering(block.marker, block.ordered);
        if (numbering.format == office::NumberFormat::Bullet && block.marker.empty())
            numbering.bullet = office::default_bullet(level);
        std::string kind = numbering.kind();
        bool in_sequence = numbering.format == office::NumberFormat::Bullet || numbering.start == outer_next_;
        if (!list_open_ || (level == 0 && (kind != outer_kind_ || !in_sequence))) {
            lists_.emplace_back(9);
            level_seen_.emplace_back(9, false);
            list_open_ = true;
            outer_kind_.clear();
        }
        size_t list = lists_.size() - 1;
        if (!level_seen_[list][static_cast<size_t>(level)]) {
            lists_[list][static_cast<size_t>(level)] = numbering;
            level_seen_[list][static_cast<size_t>(level)] = true;
        }
        if (level == 0) {
            outer_kind_ = kind;
            outer_next_ = numbering.start + 1;
        }
        long indent = 720 + 360 * level;
        std::string words = "\\ls" + std::to_string(list + 1) + "\\ilvl" + std::to_string(level) + "\\fi-360\\li" +
                            std::to_string(indent) + "\\sa60";
        if (rtl_paragraph(runs)) words += "\\rtlpar";
        begin_paragraph(out, words);
        out += "{\\listtext\\pard\\plain ";
        append_rtf_text(out, printed_marker(block));
        out += "\\tab}";
        append_runs(out, runs, layout.page, false);
        append_notes(out);
        out += "\\par\n";
    }

    void write_table(std::string& out, const Table& table, const PageLayout& layout, const Rect& area) {
        if (table.rows <= 0 || table.columns <= 0 || table.column_edges.size() != static_cast<size_t>(table.columns) + 1)
            return;
        if (break_pending_ || !bookmark_pending_.empty()) {
            begin_paragraph(out, "\\sa0");
            out += "\\par\n";
        }
        size_t columns = static_cast<size_t>(table.columns);
        float total = table.column_edges.back() - table.column_edges.front();
        float scale = area.width() > 0 && total > area.width() ? area.width() / total : 1.0f;
        std::vector<long> right_edges(columns);
        for (size_t c = 0; c < columns; ++c)
            right_edges[c] = std::max(static_cast<long>(c + 1), twips((table.column_edges[c + 1] - table.column_edges[0]) * scale));
        for (size_t c = 1; c < columns; ++c) right_edges[c] = std::max(right_edges[c], right_edges[c - 1] + 1);

        // Cells by grid position.
        size_t rows = static_cast<size_t>(table.rows);
        std::vector<int> grid(rows * columns, -1);
        for (size_t i = 0; i < table.cells.size(); ++i) {
            const TableCell& cell = table.cells[i];
            for (int r = cell.row; r < cell.row + std::max(cell.row_span, 1); ++r)
                for (int c = cell.column; c < cell.column + std::max(cell.column_span, 1); ++c)
                    if (r >= 0 && c >= 0 && static_cast<size_t>(r) < rows && static_cast<size_t>(c) < columns &&
                        grid[static_cast<size_t>(r) * columns + static_cast<size_t>(c)] < 0)
                        grid[static_cast<size_t>(r) * columns + static_cast<size_t>(c)] = static_cast<int>(i);
        }
        office::TableLooks looks = office::table_looks(table, layout.page);
        for (size_t r = 0; r < rows; ++r) {
            std::string row_words = "\\trowd\\trgaph40\\trleft0";
            // Rows at least as tall as on the page (a positive \trrh).
            if (table.row_edges.size() == rows + 1) {
                long height = twips(table.row_edges[r + 1] - table.row_edges[r]);
                if (height > 0) row_words += "\\trrh" + std::to_string(height);
            }
            std::string cells;
            size_t c = 0;
            while (c < columns) {
                int index = grid[r * columns + c];
                const TableCell* cell = index >= 0 ? &table.cells[static_cast<size_t>(index)] : nullptr;
                size_t span = 1;
                bool continued = false;
                if (cell != nullptr) {
                    size_t end = static_cast<size_t>(std::max(cell->column, 0) + std::max(cell->column_span, 1));
                    span = std::max<size_t>(1, std::min(end, columns) - c);
                    continued = cell->row < static_cast<int>(r);
                }
                const office::CellLook no_look;
                const office::CellLook& look = cell != nullptr ? looks.cells[static_cast<size_t>(index)] : no_look;
                if (cell != nullptr) {
                    // A merged cell's top is its first row's, its bottom its last row's.
                    bool last_row = static_cast<int>(r) + 1 >= cell->row + std::max(cell->row_span, 1);
                    if (!continued) row_words += cell_border("\\clbrdrt", look.top);
                    row_words += cell_border("\\clbrdrl", look.left);
                    if (last_row) row_words += cell_border("\\clbrdrb", look.bottom);
                    row_words += cell_border("\\clbrdrr", look.right);
                    if (look.filled) row_words += "\\clcbpat" + std::to_string(color_index(look.fill));
                    if (look.down == office::CellAlign::Centre) row_words += "\\clvertalc";
                    if (look.down == office::CellAlign::End) row_words += "\\clvertalb";
                }
                if (cell != nullptr && cell->row_span > 1) row_words += continued ? "\\clvmrg" : "\\clvmgf";
                row_words += "\\cellx" + std::to_string(right_edges[c + span - 1]);
                cells += "\\pard\\plain\\intbl";
                if (look.across == office::CellAlign::Centre) cells += "\\qc";
                if (look.across == office::CellAlign::End) cells += "\\qr";
                cells += ' ';
                if (cell != nullptr && !continued) {
                    std::vector<std::vector<Line>> paragraphs = office::cell_paragraphs(cell->lines, cell->box);
                    background_ = look.filled ? look.fill : 0xFFFFFF;
                    for (size_t p = 0; p < paragraphs.size(); ++p) {
                        if (p > 0) cells += "\\par ";
                        append_runs(cells, office::paragraph_runs(paragraphs[p]), layout.page, false);
                    }
                    background_ = 0xFFFFFF;
                }
                cells += "\\cell\n";
                c += span;
            }
            out += row_words + "\n" + cells + "\\row\n";
        }
        out += "\\pard\\plain\n";
    }

    // A cell's side: a single rule of its width (in twips, as RTF takes
    // them: at most 75) and colour, or nothing.
    std::string cell_border(const char* side, const office::CellRule& rule) {
        if (!rule.drawn) return {};
        long width = std::clamp(twips(rule.width), 2L, 75L);
        return std::string(side) + "\\brdrs\\brdrw" + std::to_string(width) + "\\brdrcf" +
               std::to_string(color_index(rule.color));
    }

    void append_picture(std::string& out, const std::string& data, const char* extension, int pixel_width,
                        int pixel_height, float width, float height) {
        bool jpeg = std::string_view(extension) == "jpg";
        out += std::string("{\\pict") + (jpeg ? "\\jpegblip" : "\\pngblip") + "\\picw" + std::to_string(pixel_width) +
               "\\pich" + std::to_string(pixel_height) + "\\picwgoal" + std::to_string(std::max(1L, twips(width))) +
               "\\pichgoal" + std::to_string(std::max(1L, twips(height))) + "\n";
        static const char kDigits[] = "0123456789abcdef";
        std::string line;
        for (size_t i = 0; i < data.size(); ++i) {
            unsigned char byte = static_cast<unsigned char>(data[i]);
            line += kDigits[byte >> 4];
            line += kDigits[byte & 15];
            if (line.size() >= 128) {
                out += line;
                out += '\n';
                line.clear();
            }
        }
        out += line;
        out += "}";
    }

    void write_image(std::string& out, const Block& block, const PageLayout& layout, const Rect& area) {
        if (!context_.options.contain_image || block.image < 0 ||
            static_cast<size_t>(block.image) >= layout.page.images.size())
            return;
        const ImageItem& item = layout.page.images[static_cast<size_t>(block.image)];
        ImageExporter::Encoded encoded = ImageExporter::encode(item.image.context(), item.image.get());
        if (encoded.data.empty()) {
            log_warning("page %d: image %d cannot be decoded and is left out", layout.page.index + 1, block.image + 1);
            return;
        }
        float width = std::max(1.0f, item.box.width()), height = std::max(1.0f, item.box.height());
        float limit = std::max(area.width(), layout.page.width * 0.5f);
        if (width > limit) {
            height *= limit / width;
            width = limit;
        }
        begin_paragraph(out, "\\sa120");
        append_picture(out, encoded.data, encoded.extension, std::max(1, item.pixel_width),
                       std::max(1, item.pixel_height), width, height);
        out += "\\par\n";
    }

    bool write_formula(std::string& out, PageSource& source, const Rect& box) {
        Rect region{box.x0 - kFormulaMargin, box.y0 - kFormulaMargin, box.x1 + kFormulaMargin, box.y1 + kFormulaMargin};
        return write_region_picture(out, source, region);
    }

    // The part `region` of the page rendered into a picture paragraph.
    bool write_region_picture(std::string& out, PageSource& source, const Rect& region) {
        list_open_ = false;
        std::string png = render_formula_png(source.document(), source.page(), region);
        if (png.empty()) return false;
        Rect clipped = region.intersected(source.page().bounds());
        float zoom = formula_zoom(clipped);
        begin_paragraph(out, "\\sa120");
        append_picture(out, png, "png", std::max(1, static_cast<int>(clipped.width() * zoom)),
                       std::max(1, static_cast<int>(clipped.height() * zoom)), clipped.width(), clipped.height());
        out += "\\par\n";
        return true;
    }

    WriterContext& context_;
    std::string path_;
    OutputStream& body_;
    std::vector<bool> selected_;
    std::string font_override_;
    std::vector<office::OfficeFont> fonts_;
    std::map<std::string, int> font_indices_;
    std::map<std::pair<std::string, bool>, office::OfficeFont> mapped_;
    std::vector<uint32_t> colors_;
    std::map<uint32_t, int> color_indices_;
    std::vector<std::vector<office::ListNumbering>> lists_;
    std::vector<std::vector<bool>> level_seen_;
    bool list_open_ = false;
    std::string outer_kind_;
    long outer_next_ = 1;
    RtfSection section_;
    std::vector<office::PageNote> notes_;  // for the paragraph being written
    int page_field_ = 0;                   // in a running head: the page number to write as a field
    uint32_t background_ = 0xFFFFFF;       // what the text being written is set on
    std::string section_key_;              // the running heads in the section's header and footer
    std::string previous_key_;             // those of the page before
    bool heads_in_header_ = false;         // this page's running heads are in the header and footer
    int pages_ = 0;
    bool break_pending_ = false;
    std::string bookmark_pending_;
};

class RtfWriter : public Writer {
public:
    explicit RtfWriter(WriterContext& context) : context_(context) {}

    LayoutRequest layout_request() const override {
        LayoutRequest request;
        request.model.images = context_.options.contain_image;
        request.model.annotations = context_.options.contain_annotation;
        request.model.vectors = true;
        request.model.links = context_.options.contain_annotation;
        request.analysis.detect_tables = true;
        request.analysis.include_images = context_.options.contain_image;
        return request;
    }

    void begin() override {
        if (!context_.options.output_document_per_page)
            document_ = std::make_unique<RtfDocument>(context_, context_.files.output_path(), selection(-1));
    }

    void write_page(PageSource& page) override {
        if (document_ != nullptr) {
            document_->add_page(page);
            return;
        }
        RtfDocument single(context_, context_.files.page_path(page.number(), ".rtf"), selection(page.index()));
        single.add_page(page);
        single.finish();
    }

    void finish() override {
        if (document_ != nullptr) document_->finish();
    }

private:
    // The pages in the file being written: all selected ones, or one.
    std::vector<bool> selection(int only) const {
        std::vector<bool> selected(static_cast<size_t>(std::max(context_.document.page_count(), 0)), false);
        for (int page : context_.pages)
            if (page >= 0 && static_cast<size_t>(page) < selected.size() && (only < 0 || page == only))
                selected[static_cast<size_t>(page)] = true;
        return selected;
    }

    WriterContext& context_;
    std::unique_ptr<RtfDocument> document_;
};

}  // namespace

std::unique_ptr<Writer> make_rtf_writer(WriterContext& context) {
    PageLayoutMode mode = context.options.page_layout_mode;
    if (mode != PageLayoutMode::FLOW && mode != PageLayoutMode::BOX) fail(FOLI_ERR_INVALID_ARG, "unknown page layout mode");
    return std::make_unique<RtfWriter>(context);
}

}  // namespace foli
