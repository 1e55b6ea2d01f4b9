// Text fragments: the lines of the page model with the measures the
// analysis asks about again and again (dominant size, weight, length),
// computed once. Fragments on one row that belong together (a bullet and
// its text, words MuPDF split at a wide gap) are merged here.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "model/page_model.h"

namespace foli {

struct Fragment {
    Line line;
    float size = 0;     // the font size of most of the characters
    bool bold = false;  // most of the characters are bold, and not only a lead-in before plain text
    bool monospace = false;  // every character is in a monospaced font (code, not prose with a path in it)
    int chars = 0;      // characters other than spaces

    const Rect& box() const { return line.box; }
};

// Counts characters per font size to find the size most text is set in.
class SizeTally {
public:
    void add(float size, int chars);
    void add(const Line& line);
    float dominant() const;  // 0 when nothing was counted

private:
    std::vector<std::pair<long, int>> chars_by_size_;  // size in tenths of a point
};

// Characters other than spaces.
int visible_chars(const std::string& text);

// The size most characters of the lines are set in.
float dominant_size(const std::vector<Line>& lines);

Fragment make_fragment(Line line);

// One fragment per non-empty line of the page, in content-stream order.
std::vector<Fragment> collect_fragments(const PageModel& page);

// The size most of the page's characters are set in; 0 for a page without text.
float dominant_font_size(const std::vector<Fragment>& fragments);

// Whether two boxes share enough height to sit on one row of text.
bool on_same_row(const Rect& a, const Rect& b);

// Groups horizontal fragments into rows (top to bottom), each row ordered
// left to right. Returns indices into `fragments`; `use` selects which
// fragments take part.
std::vector<std::vector<int>> group_rows(const std::vector<Fragment>& fragments, const std::vector<bool>& use);

// Joins fragments of one row separated by no more than a word gap, and a
// list marker with the text beside it.
std::vector<Fragment> merge_row_fragments(std::vector<Fragment> fragments);

// Joins the fragments of each row (indices, left to right) into its first
// fragment and marks the others in `used`.
void join_rows(std::vector<Fragment>& fragments, const std::vector<std::vector<int>>& rows, std::vector<bool>& used);

// Joins `right` onto the end of `left`, with a space between them (or
// `spaces` spaces, for the gap inside a line of code).
void append_line(Line& left, const Line& right, int spaces = 1);

}  // namespace foli
