// Units and colours as the office formats write them. The page model
// measures in PDF points; WordprocessingML counts twentieths of a point
// (twips) and half-points for font sizes, DrawingML counts English Metric
// Units (914400 per inch, 12700 per point), RTF counts twips too.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>

namespace foli::office {

constexpr long kTwipsPerPoint = 20;
constexpr long kEmuPerPoint = 12700;

// The page sizes word processors take: a tenth of an inch to 22 inches a
// side, in points.
constexpr float kMinPagePoints = 7.2f;
constexpr float kMaxPagePoints = 1584.0f;

// A page side as a word processor can set it: the PDF's, within those
// limits (US Letter where the PDF gives none).
inline float page_side(float points, float fallback) {
    if (!std::isfinite(points) || points <= 0) return fallback;
    return std::fmin(kMaxPagePoints, std::fmax(kMinPagePoints, points));
}

// A finite value rounded to a whole number of `per_point` units; NaN and
// infinities (a broken page box) count as zero.
inline long scaled(float points, long per_point) {
    if (!std::isfinite(points)) return 0;
    double value = static_cast<double>(points) * static_cast<double>(per_point);
    // Far beyond any page: clamped so the result stays a sane integer.
    value = std::fmax(-2.0e9, std::fmin(2.0e9, value));
    return std::lround(value);
}

inline long twips(float points) { return scaled(points, kTwipsPerPoint); }
inline long emu(float points) { return scaled(points, kEmuPerPoint); }
// Font sizes: half-points, at least 1 (Word refuses 0).
inline long half_points(float points) {
    long value = scaled(points, 2);
    return value < 1 ? 1 : value;
}

// "RRGGBB" in upper case, as w:color and RTF colour tables want it.
inline std::string hex_color(uint32_t rgb) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out(6, '0');
    for (int i = 0; i < 6; ++i) out[static_cast<size_t>(i)] = kDigits[(rgb >> (20 - 4 * i)) & 15];
    return out;
}

inline int red(uint32_t rgb) { return static_cast<int>((rgb >> 16) & 0xFF); }
inline int green(uint32_t rgb) { return static_cast<int>((rgb >> 8) & 0xFF); }
inline int blue(uint32_t rgb) { return static_cast<int>(rgb & 0xFF); }

// Relative brightness, 0 (black) to 1 (white).
inline float luminance(uint32_t rgb) {
    return (0.2126f * static_cast<float>(red(rgb)) + 0.7152f * static_cast<float>(green(rgb)) +
            0.0722f * static_cast<float>(blue(rgb))) / 255.0f;
}

// Text no one could read on its background: white (or nearly) on a light
// one, as text printed on a dark panel is when the panel is not kept.
inline bool unreadable_on(uint32_t text, uint32_t background) {
    return luminance(text) >= 0.95f && luminance(background) >= 0.8f;
}

}  // namespace foli::office
