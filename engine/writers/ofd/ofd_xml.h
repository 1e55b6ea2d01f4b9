// Writing OFD's XML parts: millimetres with micrometre precision and no
// locale, escaped text and attributes, the namespace every part declares.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace foli::ofd {

inline constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
inline constexpr std::string_view kNamespace = "xmlns:ofd=\"http://www.ofdspec.org/2016\"";

inline constexpr double kMillimetresPerPoint = 25.4 / 72.0;
inline double millimetres(double points) { return points * kMillimetresPerPoint; }

// A number with at most three decimals, trailing zeros dropped ("12.5",
// "0", "-3.175"); NaN and infinities count as 0.
void append_number(std::string& out, double value);

// ` name="value"`, the value escaped or a number.
void append_attribute(std::string& out, std::string_view name, std::string_view value);
void append_number_attribute(std::string& out, std::string_view name, double value);
void append_id_attribute(std::string& out, std::string_view name, uint32_t value);

// Text content or an attribute value, escaped; characters XML does not
// allow are dropped.
void append_text(std::string& out, std::string_view text);

// An ST_Box ("x y w h").
void append_box(std::string& out, double x, double y, double width, double height);

// `<ofd:Name Value="r g b"[ Alpha="a"]/>` for a 0xRRGGBB colour.
void append_color(std::string& out, std::string_view element, uint32_t rgb, float alpha);

}  // namespace foli::ofd
