// Display width of UTF-8 text in a fixed-pitch view: how many terminal
// columns it takes, for aligning table columns in plain text.
#pragma once

#include <string_view>

namespace foli {

// Columns one code point takes: 2 for East Asian wide and fullwidth
// characters, 0 for combining marks and zero-width characters, else 1.
int code_point_width(char32_t c);

// Sum of the code point widths; a byte that does not start valid UTF-8
// counts as one column.
int display_width(std::string_view utf8);

}  // namespace foli
