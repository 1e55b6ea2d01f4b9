#include "analysis/upright.h"

#include <algorithm>
#include <array>

#include "analysis/fragments.h"

namespace foli {
namespace {

constexpr float kDominantShare = 0.6f;

// Maps points of a page of the given size into the frame in which text of
// the given orientation reads left to right: turned back by `turn` quarter
// turns (counterclockwise), or flipped for mirrored text.
struct Mapping {
    TextOrientation orientation;
    float width, height;  // of the page before mapping

    void map(float x, float y, float& out_x, float& out_y) const {
        if (orientation.mirrored) {
            // Text flipped left to right runs leftwards; text flipped
            // upside down runs rightwards with its glyphs hanging down.
            out_x = orientation.turn == 2 ? width - x : x;
            out_y = orientation.turn == 2 ? y : height - y;
            return;
        }
        switch (orientation.turn) {
        case 1: out_x = y; out_y = width - x; return;
        case 2: out_x = width - x; out_y = height - y; return;
        case 3: out_x = height - y; out_y = x; return;
        default: out_x = x; out_y = y; return;
        }
    }

    Rect map(const Rect& box) const {
        if (box.empty()) return box;
        float ax, ay, bx, by;
        map(box.x0, box.y0, ax, ay);
        map(box.x1, box.y1, bx, by);
        return {std::min(ax, bx), std::min(ay, by), std::max(ax, bx), std::max(ay, by)};
    }

    // The orientation of a line once mapped.
    void map(Line& line) const {
        if (line.turn < 0) return;
        if (orientation.mirrored) {
            // A flip left to right reverses lines running across; a flip
            // upside down reverses lines running up or down.
            bool across = line.turn % 2 == 0;
            if (across == (orientation.turn == 2)) line.turn = (line.turn + 2) % 4;
            line.mirrored = !line.mirrored;
        } else {
            line.turn = (line.turn - orientation.turn + 4) % 4;
        }
    }
};

}  // namespace

TextOrientation dominant_orientation(const PageModel& page) {
    std::array<long, 8> chars{};  // by turn, then mirrored
    long all = 0;
    for (const TextBlock& block : page.text_blocks)
        for (const Line& line : block.lines) {
            long count = 0;
            for (const Span& span : line.spans) count += visible_chars(span.text);
            all += count;
            if (line.turn >= 0 && line.turn < 4) chars[static_cast<size_t>(line.turn * 2 + line.mirrored)] += count;
        }
    if (all == 0) return {};
    auto best = std::max_element(chars.begin(), chars.end());
    if (static_cast<float>(*best) < kDominantShare * static_cast<float>(all)) return {};
    TextOrientation orientation{static_cast<int>(best - chars.begin()) / 2, (best - chars.begin()) % 2 == 1};
    // Mirrored text at a quarter turn is left as it is.
    if (orientation.mirrored && orientation.turn % 2 == 1) return {};
    return orientation;
}

void turn_upright(PageModel& page) {
    const TextOrientation orientation = dominant_orientation(page);
    if (orientation.turn == 0 && !orientation.mirrored) return;
    const Mapping mapping{orientation, page.width, page.height};
    for (TextBlock& block : page.text_blocks) {
        block.box = mapping.map(block.box);
        for (Line& line : block.lines) {
            line.box = mapping.map(line.box);
            for (Span& span : line.spans) span.box = mapping.map(span.box);
            mapping.map(line);
            line.horizontal = line.turn == 0;
        }
    }
    for (ImageItem& image : page.images) image.box = mapping.map(image.box);
    for (VectorItem& vector : page.vectors) vector.box = mapping.map(vector.box);
    for (LinkItem& link : page.links) link.box = mapping.map(link.box);
    if (orientation.mirrored) {
        page.flipped = orientation.turn == 2 ? PageModel::Flip::LeftRight : PageModel::Flip::UpDown;
        return;
    }
    if (orientation.turn % 2 == 1) std::swap(page.width, page.height);
    page.quarter_turns = (page.quarter_turns + orientation.turn) % 4;
}

}  // namespace foli
