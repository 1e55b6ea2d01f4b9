// Entries of a table of contents: a title, a leader of dots and the page
// number it is on ("2.3 Generating regular sequences . . . . . . 9"), or a
// title linked to a page of the document and ending in its number.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "model/page_model.h"

namespace foli {

struct ContentsLine {
    size_t title_bytes = 0;  // the title: the text's first bytes, before the leader
    std::string page_label;  // as printed: "9", "xii"
};

// The parts of `text` when it reads as a contents entry. With `linked`
// (the line links into the document) the leader may be missing.
std::optional<ContentsLine> find_contents_line(const std::string& text, bool linked);

// Whether `text` ends in a leader of at least three dots ("Preface . . . .").
bool ends_with_leader(const std::string& text);

// Whether `text` starts with a leader of at least three dots (". . . 12").
bool starts_with_leader(const std::string& text);

// Whether `text` is a page number as contents pages print them ("9", "xii").
bool is_page_label(const std::string& text);

// Keeps the first `bytes` bytes of the line's text, dropping spans that
// become empty and narrowing the line's box to what is left.
void keep_leading_text(Line& line, size_t bytes);

}  // namespace foli
