#include "writers/ofd/ofd_xml.h"

#include <cmath>
#include <cstdio>

#include "writers/html_text.h"

namespace foli::ofd {

void append_number(std::string& out, double value) {
    if (!std::isfinite(value)) value = 0;
    // Far beyond any page: clamped so the text stays a plain number.
    value = std::fmax(-1.0e9, std::fmin(1.0e9, value));
    long long thousandths = std::llround(value * 1000.0);
    if (thousandths < 0) {
        out += '-';
        thousandths = -thousandths;
    }
    out += std::to_string(thousandths / 1000);
    int fraction = static_cast<int>(thousandths % 1000);
    if (fraction == 0) return;
    char digits[5];
    std::snprintf(digits, sizeof digits, ".%03d", fraction);
    std::string_view text(digits);
    while (text.back() == '0') text.remove_suffix(1);
    out += text;
}

void append_attribute(std::string& out, std::string_view name, std::string_view value) {
    out += ' ';
    out += name;
    out += "=\"";
    html::append_escaped(out, value);
    out += '"';
}

void append_number_attribute(std::string& out, std::string_view name, double value) {
    out += ' ';
    out += name;
    out += "=\"";
    append_number(out, value);
    out += '"';
}

void append_id_attribute(std::string& out, std::string_view name, uint32_t value) {
    out += ' ';
    out += name;
    out += "=\"";
    out += std::to_string(value);
    out += '"';
}

void append_text(std::string& out, std::string_view text) { html::append_escaped(out, text); }

void append_box(std::string& out, double x, double y, double width, double height) {
    append_number(out, x);
    out += ' ';
    append_number(out, y);
    out += ' ';
    append_number(out, width);
    out += ' ';
    append_number(out, height);
}

void append_color(std::string& out, std::string_view element, uint32_t rgb, float alpha) {
    out += "<ofd:";
    out += element;
    out += " Value=\"";
    out += std::to_string((rgb >> 16) & 0xFF);
    out += ' ';
    out += std::to_string((rgb >> 8) & 0xFF);
    out += ' ';
    out += std::to_string(rgb & 0xFF);
    out += '"';
    if (alpha < 1) out += " Alpha=\"" + std::to_string(std::lround(std::fmax(0.0f, alpha) * 255)) + "\"";
    out += "/>";
}

}  // namespace foli::ofd
