// Axis-aligned rectangles in PDF points, origin at the top left of the
// page, y growing downwards.
#pragma once

#include <algorithm>

namespace foli {

struct Rect {
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0;

    float width() const { return x1 - x0; }
    float height() const { return y1 - y0; }
    float center_x() const { return (x0 + x1) / 2; }
    float center_y() const { return (y0 + y1) / 2; }
    bool empty() const { return x1 <= x0 || y1 <= y0; }

    Rect united(const Rect& other) const {
        if (empty()) return other;
        if (other.empty()) return *this;
        return {std::min(x0, other.x0), std::min(y0, other.y0), std::max(x1, other.x1), std::max(y1, other.y1)};
    }
    Rect intersected(const Rect& other) const {
        return {std::max(x0, other.x0), std::max(y0, other.y0), std::min(x1, other.x1), std::min(y1, other.y1)};
    }
    bool intersects(const Rect& other) const { return !intersected(other).empty(); }
    bool contains(float x, float y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
    float area() const { return empty() ? 0 : width() * height(); }
};

}  // namespace foli
