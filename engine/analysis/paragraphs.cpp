#include "analysis/paragraphs.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <iterator>
#include <optional>

#include "analysis/contents.h"
#include "analysis/headings.h"
#include "analysis/lists.h"
#include "analysis/utf8.h"

namespace foli {
namespace {

// The first two lines of a paragraph are at most this far apart (in ems
// of whitespace between them); later lines keep the pitch of the first two.
constexpr float kFirstLineGap = 0.6f;

// Lines of code may stand this many of their own line pitches apart (a
// blank line between two parts of a listing).
constexpr float kCodeGapPitches = 2.6f;

// Page numbers of a contents page end this close to one another (points).
constexpr float kLabelAlign = 2.0f;

bool ends_sentence(const std::string& text) {
    size_t end = text.find_last_not_of(' ');
    if (end == std::string::npos) return false;
    char32_t last = last_code_point(text.substr(0, end + 1));
    return last == '.' || last == '!' || last == '?' || last == ':' || last == 0x3002 || last == 0xFF01 ||
           last == 0xFF1F;
}

// A paragraph or list item while its lines are being gathered.
struct Draft {
    std::vector<Line> lines;
    Rect box;
    Rect last;              // the most recent fragment
    float last_size = 0;
    bool last_monospace = false;
    bool horizontal = true;
    bool all_bold = true;
    bool all_monospace = true;
    int chars = 0;
    int rows = 0;           // lines of text, counting fragments side by side once
    float pitch = 0;        // distance between the baselines of its lines, once known
    float text_left = 0;    // left edge of its text (after a list marker)
    float marker_left = 0;  // left edge of its list marker
    std::optional<ListMarker> marker;
};

Draft start_draft(Fragment& fragment, std::optional<ListMarker> marker) {
    Draft draft;
    draft.marker_left = fragment.box().x0;
    if (marker) remove_leading_text(fragment.line, marker->length);
    draft.marker = std::move(marker);
    draft.box = fragment.box();
    draft.last = fragment.box();
    draft.last_size = fragment.size;
    draft.last_monospace = fragment.monospace;
    draft.horizontal = fragment.line.horizontal;
    draft.all_bold = fragment.bold;
    draft.all_monospace = fragment.monospace;
    draft.chars = fragment.chars;
    draft.rows = 1;
    draft.text_left = fragment.box().x0;
    draft.lines.push_back(std::move(fragment.line));
    return draft;
}

void add_to_draft(Draft& draft, Fragment& fragment) {
    const Rect& box = fragment.box();
    if (!on_same_row(draft.last, box)) {
        ++draft.rows;
        if (draft.pitch == 0) draft.pitch = box.y1 - draft.last.y1;
    }
    draft.box = draft.box.united(box);
    draft.last = box;
    draft.last_size = fragment.size;
    draft.last_monospace = fragment.monospace;
    draft.all_bold = draft.all_bold && fragment.bold;
    draft.all_monospace = draft.all_monospace && fragment.monospace;
    draft.chars += fragment.chars;
    if (!draft.marker) draft.text_left = std::min(draft.text_left, box.x0);
    draft.lines.push_back(std::move(fragment.line));
}

// Whether the last line of `draft` was broken only because the first word
// of `next` did not fit after it (rather than ending its paragraph): the
// right edge is the farthest either reaches, and the line does not end a
// sentence.
bool ran_full(const Draft& draft, const Fragment& next) {
    if (ends_sentence(draft.lines.back().text())) return false;
    const std::string text = next.line.text();
    size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos || next.chars == 0) return false;
    size_t end = text.find(' ', start);
    int word_chars = visible_chars(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    float word_width = next.box().width() * static_cast<float>(word_chars) / static_cast<float>(next.chars);
    float right = std::max(draft.box.x1, next.box().x1);
    // Half an em of slack: the word's width is only estimated.
    return draft.last.x1 + 0.25f * next.size + word_width > right - 0.5f * next.size;
}

// A listing goes on over lines of any length and indentation, and over a
// blank line, as long as its lines stay in its column.
bool continues_code(const Draft& draft, const Fragment& next) {
    const Rect& previous = draft.last;
    const Rect& box = next.box();
    const float em = std::max(draft.last_size, next.size);
    if (box.x0 < draft.box.x0 - 2 * em) return false;
    float pitch = draft.pitch > 0 ? draft.pitch : 1.25f * em;
    return box.y1 - previous.y1 <= kCodeGapPitches * pitch;
}

// Whether `next` carries on the paragraph in `draft`. A new paragraph
// starts at a list marker, above or beside the previous line (another
// column), at a change of size, between code (monospaced) and prose, after
// a bold run of lines, at a wider gap than the paragraph's own line pitch,
// at an indented first line, and after a short line that ends a sentence.
bool continues(const Draft& draft, const Fragment& next, bool next_is_item) {
    if (!draft.horizontal || !next.line.horizontal || next_is_item) return false;
    const Rect& previous = draft.last;
    const Rect& box = next.box();
    const float em = std::max(draft.last_size, next.size);
    if (on_same_row(previous, box)) return box.x0 >= previous.x1 - 0.5f * em;
    if (box.center_y() <= previous.y1) return false;
    if (std::fabs(next.size - draft.last_size) > 0.1f * em) return false;
    if (draft.last_monospace != next.monospace) return false;
    if (draft.all_monospace && !draft.marker) return continues_code(draft, next);
    if (box.x1 <= draft.box.x0 || box.x0 >= draft.box.x1) return false;
    if (draft.all_bold && !next.bold) return false;
    if (draft.pitch > 0) {
        if (box.y1 - previous.y1 > 1.3f * draft.pitch + 0.5f) return false;
    } else if (box.y0 - previous.y1 > kFirstLineGap * em) {
        return false;
    }
    if (draft.marker) {
        if (box.x0 >= draft.text_left - 0.5f * em && box.x0 <= draft.text_left + 2 * em) return true;
        // A numbered paragraph whose lines wrap back to the edge of the
        // column, at or left of its number: the line before runs full.
        return box.x0 <= draft.marker_left + 0.5f * em && ran_full(draft, next);
    }
    bool centred = std::fabs(box.center_x() - previous.center_x()) < 0.5f * em;
    if (!centred && box.x0 > draft.text_left + 0.8f * em) return false;
    bool short_line = previous.x1 < draft.box.x1 - 0.2f * draft.box.width();
    if (draft.rows >= 2 && short_line && ends_sentence(draft.lines.back().text())) return false;
    return true;
}

// Whether `next`, which starts like a list item ("(i) of this AD ..."),
// is the next line of the paragraph in `draft` instead: it starts at the
// paragraph's left edge, right below a line that runs to the paragraph's
// right edge without ending a sentence.
bool wraps_onto(const Draft& draft, const Fragment& next) {
    if (draft.marker || draft.all_monospace || !draft.horizontal) return false;
    const Rect& previous = draft.last;
    const Rect& box = next.box();
    const float em = std::max(draft.last_size, next.size);
    if (on_same_row(previous, box) || box.center_y() <= previous.y1) return false;
    if (std::fabs(next.size - draft.last_size) > 0.1f * em || box.y0 - previous.y1 > kFirstLineGap * em) return false;
    if (box.x0 > draft.text_left + 0.5f * em) return false;
    return ran_full(draft, next);
}

bool has_letter(const std::vector<Line>& lines) {
    for (const Line& line : lines)
        for (const Span& span : line.spans)
            for (char c : span.text)
                if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || static_cast<unsigned char>(c) >= 0xC0)
                    return true;
    return false;
}

// Whether `text` starts like a caption: "Figure 2-1:", "Fig. 3", "Table 4.2".
bool is_caption(const std::string& text) {
    static const char* const kWords[] = {"figure", "fig.", "table", "listing", "plate", "chart", "exhibit",
                                         "tableau", "abbildung", "abb.", "tabelle", "tabla", "figura"};
    size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos) return false;
    for (const char* word : kWords) {
        size_t n = std::char_traits<char>::length(word);
        if (text.size() < start + n + 2) continue;
        bool same = true;
        for (size_t i = 0; i < n && same; ++i)
            same = std::tolower(static_cast<unsigned char>(text[start + i])) == word[i];
        if (!same) continue;
        size_t next = start + n;
        if (text[next] == ' ') ++next;
        if (next < text.size() && std::isdigit(static_cast<unsigned char>(text[next]))) return true;
    }
    return false;
}

// Whether the lines start with a form's field: a label ending in a colon,
// set in a style of its own, then the value ("Agency: Bureau of ...").
bool is_form_field(const std::vector<Line>& lines) {
    const Span* label = nullptr;
    for (const Line& line : lines)
        for (const Span& span : line.spans) {
            if (label != nullptr)
                return std::fabs(span.size - label->size) > 0.5f || span.bold != label->bold;
            size_t end = span.text.find_last_not_of(' ');
            if (end == std::string::npos) continue;
            if (span.text[end] != ':') return false;
            label = &span;
        }
    return false;
}

// Whether `text` is a section number and a title in capitals, as papers
// set their section headings, often in small capitals ("III. IMAGE DATA",
// "2 RELATED WORK"): a Roman or Arabic number, then a short title without
// a lowercase letter that does not end a sentence.
bool is_caps_section_title(const std::string& text) {
    size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos || text.size() - start > 80 || ends_sentence(text)) return false;
    size_t end = text.find(' ', start);
    if (end == std::string::npos) return false;
    std::string number = text.substr(start, end - start);
    if (!number.empty() && number.back() == '.') number.pop_back();
    bool numeric = !number.empty() && std::all_of(number.begin(), number.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) || c == '.';
    });
    bool roman = !number.empty() && number.size() <= 5 && std::all_of(number.begin(), number.end(), [](char c) {
        return c == 'I' || c == 'V' || c == 'X';
    });
    if (!numeric && !roman) return false;
    int capitals = 0;
    for (size_t i = end; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (std::islower(c)) return false;
        if (std::isupper(c)) ++capitals;
    }
    return capitals >= 4;
}

// Headings are short and have words; code, page numbers, lone symbols,
// captions and form fields are never headings.
bool looks_like_heading(const Draft& draft, float body_size) {
    if (!draft.horizontal || body_size <= 0 || draft.all_monospace) return false;
    if (!has_letter(draft.lines) || is_caption(draft.lines.front().text()) || is_form_field(draft.lines))
        return false;
    float size = dominant_size(draft.lines);
    if (draft.rows == 1 && draft.lines.size() == 1 && size >= 0.75f * body_size &&
        (is_caps_section_title(draft.lines.front().text()) || is_lettered_italic_title(draft.lines.front())))
        return true;
    // A sentence or two set large is a paragraph (a lead, a note), not a title.
    if (is_sized_heading(size, body_size))
        return draft.rows <= 3 && draft.chars <= 150 &&
               !(ends_sentence(draft.lines.back().text()) && (draft.rows >= 2 || draft.chars > 60));
    // A short bold line at body size is a heading; a bold paragraph is not.
    return draft.all_bold && draft.rows == 1 && draft.chars <= 80 && size >= 0.95f * body_size &&
           !ends_sentence(draft.lines.back().text());
}

Block finish_draft(Draft& draft, float body_size) {
    Block block;
    block.box = draft.box;
    if (draft.marker) {
        block.kind = BlockKind::ListItem;
        block.marker = draft.marker->text;
        block.ordered = draft.marker->ordered;
    } else if (draft.all_monospace && draft.horizontal) {
        block.kind = BlockKind::Code;
    } else if (looks_like_heading(draft, body_size)) {
        block.kind = BlockKind::Heading;
    }
    block.lines = std::move(draft.lines);
    return block;
}

// Levels of consecutive list items (or contents entries) from the
// indentation of their text, which stays aligned where numbers of
// different widths do not ("9." and "10." set flush right).
void set_list_levels(std::vector<Block>& blocks, size_t first, const std::vector<float>& text_x, float em) {
    size_t i = 0;
    while (i < text_x.size()) {
        BlockKind kind = blocks[first + i].kind;
        if (kind != BlockKind::ListItem && kind != BlockKind::ContentsEntry) {
            ++i;
            continue;
        }
        size_t end = i;
        std::vector<float> run;
        while (end < text_x.size() && blocks[first + end].kind == kind) run.push_back(text_x[end++]);
        std::vector<int> levels = list_levels(run, std::max(3.0f, 0.5f * em));
        for (size_t k = 0; k < levels.size(); ++k) blocks[first + i + k].list_level = levels[k];
        i = end;
    }
}

bool links_inside(const Line& line) {
    for (const Span& span : line.spans)
        if (!span.link.empty() && span.link.front() == '#') return true;
    return false;
}

// A line of a table of contents, without its leader and page number.
std::optional<Block> contents_entry(Fragment& fragment) {
    if (!fragment.line.horizontal || fragment.monospace) return std::nullopt;
    std::optional<ContentsLine> parts = find_contents_line(fragment.line.text(), links_inside(fragment.line));
    if (!parts) return std::nullopt;
    Block block;
    block.kind = BlockKind::ContentsEntry;
    block.page_label = parts->page_label;
    // The link may cover only the page number: the title keeps it.
    std::string link;
    for (const Span& span : fragment.line.spans)
        if (link.empty()) link = span.link;
    keep_leading_text(fragment.line, parts->title_bytes);
    if (!link.empty())
        for (Span& span : fragment.line.spans)
            if (span.link.empty()) span.link = link;
    block.box = fragment.box();
    block.lines.push_back(std::move(fragment.line));
    return block;
}

// Lines of a contents page without leaders ("Chapter 2 Graphics   11"),
// which the paragraph pass may have joined: when every row of `block` is
// a title and, apart from it, a page number whose right edge lines up
// with those of the page's contents entries, the rows become entries.
// Empty when the block is something else.
std::vector<Block> entries_without_leader(const Block& block, const std::vector<float>& label_right, float em) {
    std::vector<Block> entries;
    if ((block.kind != BlockKind::Paragraph && block.kind != BlockKind::Heading) || block.lines.size() < 2)
        return entries;
    size_t start = 0;
    while (start < block.lines.size()) {
        size_t end = start + 1;
        while (end < block.lines.size() && on_same_row(block.lines[start].box, block.lines[end].box)) ++end;
        const Line& last = block.lines[end - 1];
        std::string label = last.text();
        label.erase(label.find_last_not_of(' ') + 1);
        label.erase(0, label.find_first_not_of(' '));
        bool aligned = std::any_of(label_right.begin(), label_right.end(),
                                   [&](float x) { return std::fabs(x - last.box.x1) <= kLabelAlign; });
        if (end - start < 2 || !is_page_label(label) || last.box.x0 - block.lines[end - 2].box.x1 < 2 * em ||
            !aligned)
            return {};
        Block entry;
        entry.kind = BlockKind::ContentsEntry;
        entry.page_label = label;
        for (size_t i = start; i + 1 < end; ++i) {
            entry.box = entry.box.united(block.lines[i].box);
            entry.lines.push_back(block.lines[i]);
        }
        entries.push_back(std::move(entry));
        start = end;
    }
    return entries;
}

}  // namespace

bool is_lettered_italic_title(const Line& line) {
    const std::string text = line.text();
    size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos || text.size() - start > 60 || ends_sentence(text)) return false;
    if (text.size() < start + 4 || !std::isupper(static_cast<unsigned char>(text[start])) || text[start + 1] != '.' ||
        text[start + 2] != ' ')
        return false;
    for (const Span& span : line.spans)
        if (!span.italic && span.text.find_first_not_of(' ') != std::string::npos) return false;
    return true;
}

void build_text_blocks(std::vector<Fragment>& run, float body_size, std::vector<Block>& blocks) {
    const size_t first = blocks.size();
    std::vector<float> text_x;  // per block appended, where its text starts
    std::optional<Draft> draft;
    auto finish = [&] {
        text_x.push_back(draft->text_left);
        blocks.push_back(finish_draft(*draft, body_size));
    };
    std::vector<float> label_right;  // right edges of the page numbers of contents entries
    for (Fragment& fragment : run) {
        const float right = fragment.box().x1;
        if (std::optional<Block> entry = contents_entry(fragment)) {
            label_right.push_back(right);
            // The entry's section number, set apart at its left ("1.1   The R environment . . 2").
            if (draft && draft->rows == 1 && !draft->marker && draft->chars <= 12 &&
                on_same_row(draft->last, entry->box) && draft->last.x1 <= entry->box.x0) {
                Line joined;
                for (const Line& line : draft->lines) append_line(joined, line);
                append_line(joined, entry->lines.front());
                entry->lines.front() = std::move(joined);
                entry->box = entry->box.united(draft->box);
                draft.reset();
            }
            if (draft) finish();
            draft.reset();
            text_x.push_back(entry->box.x0);
            blocks.push_back(std::move(*entry));
            continue;
        }
        std::optional<ListMarker> marker;
        // Code has no list items: "- x" and "1. y" in a listing are code.
        if (fragment.line.horizontal && !fragment.monospace && !is_sized_heading(fragment.size, body_size))
            marker = find_list_marker(fragment.line.text());
        if (marker && draft && wraps_onto(*draft, fragment)) marker.reset();
        // A numbered section title is a heading, not a list item.
        if (marker && marker->ordered &&
            (is_caps_section_title(fragment.line.text()) || is_lettered_italic_title(fragment.line)))
            marker.reset();
        if (draft && continues(*draft, fragment, marker.has_value())) {
            add_to_draft(*draft, fragment);
            continue;
        }
        if (draft) finish();
        draft = start_draft(fragment, std::move(marker));
    }
    if (draft) finish();
    if (!label_right.empty()) {
        std::vector<Block> kept;
        std::vector<float> kept_x;
        for (size_t i = first; i < blocks.size(); ++i) {
            std::vector<Block> entries = entries_without_leader(blocks[i], label_right, body_size);
            if (entries.empty()) {
                kept.push_back(std::move(blocks[i]));
                kept_x.push_back(text_x[i - first]);
            }
            for (Block& entry : entries) {
                kept_x.push_back(entry.box.x0);
                kept.push_back(std::move(entry));
            }
        }
        blocks.resize(first);
        std::move(kept.begin(), kept.end(), std::back_inserter(blocks));
        text_x = std::move(kept_x);
    }
    set_list_levels(blocks, first, text_x, body_size);
}

}  // namespace foli
