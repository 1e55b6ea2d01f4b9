#include "writers/formula_lines.h"

#include <cmath>
#include <string_view>

#include "writers/image_export.h"

namespace foli {
namespace {

constexpr float kFormulaZoom = 2.0f;
// A formula image never needs more pixels than this; a huge font on a huge
// page would otherwise ask for gigabytes.
constexpr double kMaxFormulaPixels = 4.0 * 1024 * 1024;

size_t visible_code_points(std::string_view text) {
    size_t count = 0;
    for (char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80 && c != ' ' && c != '\t') ++count;
    return count;
}

}  // namespace

bool is_math_font(const std::string& font) {
    static const char* const kMarks[] = {"CMMI", "CMSY", "CMEX", "MSAM", "MSBM", "Math", "Symbol"};
    for (const char* mark : kMarks)
        if (font.find(mark) != std::string::npos) return true;
    return false;
}

bool is_formula_line(const Line& line) {
    size_t math = 0, total = 0;
    for (const Span& span : line.spans) {
        size_t count = visible_code_points(span.text);
        total += count;
        if (is_math_font(span.font)) math += count;
    }
    return math > 0 && 2 * math >= total;
}

float formula_zoom(const Rect& region) {
    double area = static_cast<double>(region.width()) * region.height() * kFormulaZoom * kFormulaZoom;
    if (area <= kMaxFormulaPixels) return kFormulaZoom;
    return static_cast<float>(kFormulaZoom * std::sqrt(kMaxFormulaPixels / area));
}

std::string render_formula_png(const Document& document, const Page& page, const Rect& box) {
    Rect clip = box.intersected(page.bounds());
    if (clip.empty()) return {};
    fz_context* ctx = document.ctx();
    fz_pixmap* pixmap = nullptr;
    fz_rect area{clip.x0, clip.y0, clip.x1, clip.y1};
    if (foli_mu_render_region(ctx, page.get(), area, formula_zoom(clip), &pixmap) != FOLI_MU_OK) return {};
    PixmapHandle pixmap_owner(ctx, pixmap);
    return ImageExporter::encode_pixmap_png(pixmap, 72.0f * formula_zoom(clip));
}

}  // namespace foli
