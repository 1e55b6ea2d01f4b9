// code_text: a Code block's lines as preformatted text. Positions come from
// the line boxes: the width of a character is the lines' width over their
// characters (the font is monospaced), each line is indented by its offset
// from the block's left edge in characters, pieces of one row are spaced
// out to where they are drawn, and a gap of more than one and a half line
// pitches between two lines is kept as a blank line.
#include <algorithm>
#include <cmath>

#include "analysis/fragments.h"
#include "analysis/layout.h"
#include "analysis/utf8.h"

namespace foli {
namespace {

constexpr float kBlankLinePitches = 1.6f;
constexpr int kMaxIndent = 200;

// Characters drawn, counting spaces: monospaced text advances by one cell
// per character, spaces included.
int cells(const std::string& text) { return count_code_points(text); }

float character_width(const std::vector<Line>& lines) {
    std::vector<float> widths;
    for (const Line& line : lines) {
        std::string text = line.text();
        size_t start = text.find_first_not_of(' '), end = text.find_last_not_of(' ');
        if (start == std::string::npos) continue;
        int count = cells(text.substr(start, end + 1 - start));
        if (count >= 2 && line.box.width() > 0) widths.push_back(line.box.width() / static_cast<float>(count));
    }
    if (widths.empty()) {
        float size = dominant_size(lines);
        return size > 0 ? 0.6f * size : 6.0f;
    }
    std::nth_element(widths.begin(), widths.begin() + static_cast<long>(widths.size() / 2), widths.end());
    return widths[widths.size() / 2];
}

}  // namespace

std::string code_text(const Block& block) {
    if (block.lines.empty()) return {};
    const float width = std::max(character_width(block.lines), 0.5f);
    float left = block.lines.front().box.x0;
    for (const Line& line : block.lines) left = std::min(left, line.box.x0);
    float pitch = 0;
    for (size_t i = 1; i < block.lines.size() && pitch == 0; ++i)
        if (!on_same_row(block.lines[i - 1].box, block.lines[i].box))
            pitch = block.lines[i].box.y1 - block.lines[i - 1].box.y1;

    std::string out, row;
    const Line* row_first = nullptr;
    auto place = [&](const Line& line) {
        int column = std::clamp(static_cast<int>(std::lround((line.box.x0 - left) / width)), 0, kMaxIndent);
        int at = cells(row);
        if (!row.empty()) column = std::max(column, at + 1);
        row.append(static_cast<size_t>(std::max(column - at, 0)), ' ');
        // The box begins at the first character drawn, so spaces drawn
        // before it are already counted in the indent.
        std::string text = line.text();
        text.erase(text.find_last_not_of(' ') + 1);
        text.erase(0, text.find_first_not_of(' '));
        row += text;
    };
    for (size_t i = 0; i < block.lines.size(); ++i) {
        const Line& line = block.lines[i];
        if (row_first != nullptr && on_same_row(row_first->box, line.box)) {
            place(line);
            continue;
        }
        if (row_first != nullptr) {
            out += row;
            out += '\n';
            if (pitch > 0 && line.box.y1 - block.lines[i - 1].box.y1 > kBlankLinePitches * pitch) out += '\n';
        }
        row.clear();
        row_first = &line;
        place(line);
    }
    out += row;
    return out;
}

}  // namespace foli
