// List markers: bullets and numbering at the start of a line.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "model/page_model.h"

namespace foli {

struct ListMarker {
    std::string text;     // as printed: "•", "1.", "(iv)"
    bool ordered = false; // numbering rather than a bullet
    size_t length = 0;    // bytes taken by the marker and the spaces after it
};

// The marker a list item starts with, when `text` is a marker followed by
// a space and more text.
std::optional<ListMarker> find_list_marker(const std::string& text);

// Whether `text` is a marker and nothing else (spaces aside).
bool is_bare_list_marker(const std::string& text);

// Removes the first `bytes` bytes of the line's text, dropping spans that
// become empty and narrowing the line's box to what is left.
void remove_leading_text(Line& line, size_t bytes);

// Nesting depth of each item in a run of list items from its indentation:
// an item further right than the one before opens a level, an item
// further left closes levels down to its own position.
std::vector<int> list_levels(const std::vector<float>& indent_x, float tolerance);

}  // namespace foli
