#include "ocr/recognition.h"

#include <algorithm>
#include <cmath>

namespace foli::ocr {

Affine Affine::rotate(double radians) {
    double cos = std::cos(radians), sin = std::sin(radians);
    // (1, 0) turns towards +y, which is clockwise when y points down.
    return {cos, sin, -sin, cos, 0, 0};
}

Affine Affine::then(const Affine& n) const {
    return {a * n.a + b * n.c, a * n.b + b * n.d, c * n.a + d * n.c,
            c * n.b + d * n.d, e * n.a + f * n.c + n.e, e * n.b + f * n.d + n.f};
}

Affine Affine::inverse() const {
    double det = a * d - b * c;
    if (det == 0) return {};
    double ia = d / det, ib = -b / det, ic = -c / det, id = a / det;
    return {ia, ib, ic, id, -(e * ia + f * ic), -(e * ib + f * id)};
}

Rect Affine::map(const Rect& box) const {
    const double xs[4] = {box.x0, box.x1, box.x1, box.x0};
    const double ys[4] = {box.y0, box.y0, box.y1, box.y1};
    double x0 = x(xs[0], ys[0]), x1 = x0, y0 = y(xs[0], ys[0]), y1 = y0;
    for (int i = 1; i < 4; ++i) {
        double px = x(xs[i], ys[i]), py = y(xs[i], ys[i]);
        x0 = std::min(x0, px);
        x1 = std::max(x1, px);
        y0 = std::min(y0, py);
        y1 = std::max(y1, py);
    }
    return {static_cast<float>(x0), static_cast<float>(y0), static_cast<float>(x1), static_cast<float>(y1)};
}

}  // namespace foli::ocr
