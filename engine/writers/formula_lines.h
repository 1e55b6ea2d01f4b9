// Formula lines: text set mostly in math fonts, which the formats that can
// hold pictures may show as a rendering of the page instead of as text
// (formula_to_image).
#pragma once

#include <string>

#include "load/document.h"
#include "model/page_model.h"

namespace foli {

bool is_math_font(const std::string& font);

// A line with at least half of its visible characters in math fonts.
bool is_formula_line(const Line& line);

// The zoom to render a formula's region at: 2 (144 dpi, legible), or less
// for a region that would need more than about four million pixels.
float formula_zoom(const Rect& region);

// The part `box` of the page rendered as PNG at formula_zoom, or "" when
// it is off the page or cannot be rendered.
std::string render_formula_png(const Document& document, const Page& page, const Rect& box);

// The margin in points kept around a formula's lines when it is rendered.
constexpr float kFormulaMargin = 2.0f;

}  // namespace foli
