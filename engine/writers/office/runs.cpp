#include "writers/office/runs.h"

#include <algorithm>
#include <string_view>

namespace foli::office {
namespace {

bool is_blank(const std::string& text) { return text.find_first_not_of(" \t\n") == std::string::npos; }

std::string_view without_spaces(std::string_view text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") + 1 - first);
}

// How two lines meet: `trim` bytes leave the end of the first line (spaces,
// a hyphen), `between` goes between, and `lead` bytes (spaces) leave the
// start of the second. Read off paragraph_text's join, so that the runs
// read exactly like the plain text.
struct LineJoin {
    size_t trim = 0;
    std::string between = " ";
    size_t lead = 0;
};

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

class RunList {
public:
    void append(std::string text, const RunStyle& style) {
        if (text.empty()) return;
        if (!runs_.empty()) {
            StyledRun& last = runs_.back();
            // White space joins the run before it, unless that is a link:
            // the space after a link is no part of it.
            bool joins = last.style == style || (is_blank(text) && last.style.link.empty());
            if (joins) {
                last.text += text;
                return;
            }
        }
        runs_.push_back({std::move(text), style});
    }

    void trim_end(size_t bytes) {
        while (bytes > 0 && !runs_.empty()) {
            std::string& text = runs_.back().text;
            if (text.size() > bytes) {
                text.erase(text.size() - bytes);
                return;
            }
            bytes -= text.size();
            runs_.pop_back();
        }
    }

    std::vector<StyledRun> take() {
        while (!runs_.empty() && is_blank(runs_.back().text)) runs_.pop_back();
        while (!runs_.empty() && is_blank(runs_.front().text)) runs_.erase(runs_.begin());
        if (!runs_.empty()) {
            runs_.front().text.erase(0, runs_.front().text.find_first_not_of(" \t\n"));
            runs_.back().text.erase(runs_.back().text.find_last_not_of(" \t\n") + 1);
        }
        return std::move(runs_);
    }

    const RunStyle* last_style() const { return runs_.empty() ? nullptr : &runs_.back().style; }

private:
    std::vector<StyledRun> runs_;
};

}  // namespace

RunStyle style_of(const Span& span) {
    RunStyle style;
    style.font = span.font;
    style.size = span.size;
    style.bold = span.bold;
    style.italic = span.italic;
    style.monospace = span.monospace;
    style.color = span.color & 0xFFFFFF;
    style.link = span.link;
    return style;
}

std::vector<StyledRun> paragraph_runs(const std::vector<Line>& lines) {
    RunList runs;
    size_t lead = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        // Drop the leading bytes the join took from this line.
        size_t skip = lead;
        for (const Span& span : line.spans) {
            std::string text = span.text;
            size_t cut = std::min(skip, text.size());
            text.erase(0, cut);
            skip -= cut;
            runs.append(std::move(text), style_of(span));
        }
        lead = 0;
        if (i + 1 == lines.size()) break;
        LineJoin join = join_of(line, lines[i + 1]);
        runs.trim_end(join.trim);
        if (!join.between.empty()) {
            // The separator takes the style around it, a link's only when
            // the link goes on into the next line.
            RunStyle style = runs.last_style() != nullptr ? *runs.last_style() : RunStyle{};
            const Line& next = lines[i + 1];
            if (!next.spans.empty() && next.spans.front().link != style.link) style.link.clear();
            runs.append(join.between, style);
        }
        lead = join.lead;
    }
    return runs.take();
}

std::vector<std::vector<Line>> cell_paragraphs(const std::vector<Line>& lines, const Rect& cell) {
    std::vector<std::vector<Line>> paragraphs;
    float right = cell.x1;
    for (const Line& line : lines) right = std::max(right, line.box.x1);
    float width = std::max(cell.width(), 1.0f);
    bool open = false;
    for (const Line& line : lines) {
        if (!open) paragraphs.emplace_back();
        paragraphs.back().push_back(line);
        // A line that fills most of the cell and reaches into its last
        // fifth was full and wrapped.
        open = right - line.box.x1 < 0.2f * width && line.box.width() >= 0.6f * width;
    }
    return paragraphs;
}

std::string running_heads_key(const PageLayout& layout) {
    std::string key;
    for (const Block& block : layout.blocks) {
        if (in_flow(block)) continue;
        key += block.kind == BlockKind::PageHeader ? "H:" : "F:";
        for (const Line& line : block.lines)
            for (char c : line.text())
                if (!(c >= '0' && c <= '9') && c != ' ') key += c;
        key += '\n';
    }
    return key;
}

std::vector<StyledRun> line_runs(const Line& line) {
    RunList runs;
    for (const Span& span : line.spans) runs.append(span.text, style_of(span));
    return runs.take();
}

}  // namespace foli::office
