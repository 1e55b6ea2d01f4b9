#include "writers/word/word_text.h"

#include "analysis/utf8.h"
#include "writers/office/units.h"
#include "writers/office/xml.h"

namespace foli::word {
namespace {

using office::append_attribute;

size_t visible_characters(const std::string& text) {
    size_t count = 0;
    for (char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80 && c != ' ') ++count;
    return count;
}

}  // namespace

std::string page_bookmark(int page_number) { return "page" + std::to_string(page_number); }

void append_text(std::string& out, const std::string& text) {
    size_t start = 0;
    auto flush = [&](size_t end) {
        if (end <= start) return;
        out += "<w:t xml:space=\"preserve\">";
        office::append_xml(out, std::string_view(text).substr(start, end - start));
        out += "</w:t>";
    };
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\t' && text[i] != '\n') continue;
        flush(i);
        out += text[i] == '\t' ? "<w:tab/>" : "<w:br/>";
        start = i + 1;
    }
    flush(text.size());
}

RunWriter::RunWriter(WordPackage& package, const LinkResolver& links, std::string font_override)
    : package_(package), links_(links), font_override_(std::move(font_override)) {}

const office::OfficeFont& RunWriter::font_for(const office::RunStyle& style) {
    auto key = std::make_pair(font_override_.empty() ? style.font : std::string(), style.monospace);
    auto known = fonts_.find(key);
    if (known != fonts_.end()) return known->second;
    office::OfficeFont font =
        font_override_.empty() ? office::map_pdf_font(style.font, style.monospace) : office::named_font(font_override_);
    if (!font_override_.empty()) font.bold = font.italic = false;
    package_.use_font(font);
    return fonts_.emplace(key, std::move(font)).first->second;
}

bool RunWriter::mostly_right_to_left(const std::vector<office::StyledRun>& runs) {
    size_t rtl = 0, total = 0;
    for (const office::StyledRun& run : runs) {
        size_t pos = 0;
        while (pos < run.text.size()) {
            char32_t c = next_code_point(run.text, pos);
            if (c == ' ' || c < 0x30) continue;
            ++total;
            if (office::is_right_to_left(c)) ++rtl;
        }
    }
    return total > 0 && 2 * rtl > total;
}

void RunWriter::append_run(std::string& out, const office::StyledRun& run, const Options& options, bool link) {
    const office::RunStyle& style = run.style;
    const office::OfficeFont& font = font_for(style);
    office::TextScripts scripts = office::scripts_of(run.text);
    bool bold = style.bold || font.bold;
    bool italic = style.italic || font.italic;
    package_.count_text(font.family, style.size, visible_characters(run.text));

    out += "<w:r><w:rPr>";
    if (link && !options.in_frame) out += "<w:rStyle w:val=\"Hyperlink\"/>";
    out += "<w:rFonts";
    append_attribute(out, "w:ascii", font.family);
    append_attribute(out, "w:hAnsi", font.family);
    if (scripts.east_asian) {
        std::string east = font_override_.empty() ? office::east_asian_family(font, scripts) : font.family;
        append_attribute(out, "w:eastAsia", east);
        if (east != font.family) {
            office::OfficeFont east_font = office::named_font(east);
            east_font.east_asian = true;
            package_.use_font(east_font);
        }
        out += " w:hint=\"eastAsia\"";
    }
    append_attribute(out, "w:cs", font.family);
    out += "/>";
    if (bold) {
        out += "<w:b/><w:bCs/>";
    } else if (options.heading) {
        out += "<w:b w:val=\"0\"/><w:bCs w:val=\"0\"/>";
    }
    if (italic) out += "<w:i/><w:iCs/>";
    // FLOW keeps no page backgrounds: text that was light on a dark one
    // takes the automatic colour there. BOX keeps them in its picture.
    bool unreadable = !options.in_frame && office::unreadable_on(style.color, options.background);
    if (style.color != 0 && !unreadable) out += "<w:color w:val=\"" + office::hex_color(style.color) + "\"/>";
    std::string size = std::to_string(office::half_points((style.size > 0 ? style.size : 11) * options.scale));
    out += "<w:sz w:val=\"" + size + "\"/><w:szCs w:val=\"" + size + "\"/>";
    if (scripts.right_to_left) out += "<w:rtl/>";
    out += "</w:rPr>";
    if (options.page_field <= 0) {
        append_text(out, run.text);
        out += "</w:r>";
        return;
    }
    // The page number of a running head: a field, so that every page of
    // the section shows its own.
    size_t properties = out.rfind("<w:r><w:rPr>");
    std::string rpr = out.substr(properties + 5);
    std::string number = std::to_string(options.page_field);
    auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
    size_t start = 0;
    size_t at = run.text.find(number);
    while (at != std::string::npos) {
        size_t end = at + number.size();
        bool alone = (at == 0 || !is_digit(run.text[at - 1])) && (end == run.text.size() || !is_digit(run.text[end]));
        if (alone) {
            append_text(out, run.text.substr(start, at - start));
            out += "</w:r><w:fldSimple w:instr=\" PAGE \"><w:r>" + rpr + "<w:t>" + number + "</w:t></w:r></w:fldSimple><w:r>" + rpr;
            start = end;
        }
        at = run.text.find(number, end);
    }
    append_text(out, run.text.substr(start));
    out += "</w:r>";
}

void RunWriter::append(std::string& out, const std::vector<office::StyledRun>& runs, const PageModel& page,
                       const Options& options) {
    size_t i = 0;
    while (i < runs.size()) {
        const std::string& uri = runs[i].style.link;
        LinkTarget target = uri.empty() ? LinkTarget{} : links_.resolve(uri, page);
        size_t end = i + 1;
        while (end < runs.size() && runs[end].style.link == uri) ++end;
        bool linked = !target.external.empty() || !target.anchor.empty();
        if (linked) {
            out += "<w:hyperlink";
            if (!target.external.empty())
                append_attribute(out, "r:id", package_.hyperlink(target.external));
            else
                append_attribute(out, "w:anchor", target.anchor);
            out += " w:history=\"1\">";
        }
        for (size_t k = i; k < end; ++k) append_run(out, runs[k], options, linked);
        if (linked) out += "</w:hyperlink>";
        i = end;
    }
}

}  // namespace foli::word
