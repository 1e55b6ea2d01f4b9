// Escaping of plain text for Markdown: a backslash goes only before the
// characters that would otherwise change the meaning of the text, so that
// ordinary prose stays readable.
#pragma once

#include <string>
#include <string_view>

namespace foli {

struct MarkdownEscape {
    bool line_start = false;  // the text begins a line: guard list, heading and quote syntax
    bool table_cell = false;  // the text sits in a pipe table: guard '|'
};

// Appends `text` to `out` with the escapes it needs.
void append_markdown_escaped(std::string_view text, const MarkdownEscape& where, std::string& out);

// Appends `code` as an inline code span, fenced with enough backticks.
void append_markdown_code(std::string_view code, bool table_cell, std::string& out);

// Appends a link or image destination, in angle brackets when it holds
// characters that would end a bare destination.
void append_markdown_destination(std::string_view destination, std::string& out);

}  // namespace foli
