// Writing XML parts: character data and attribute values escaped as the
// HTML writer escapes them (its output is valid XML 1.0: it drops the
// control characters XML forbids and turns malformed UTF-8 into U+FFFD),
// and the declaration every part starts with.
#pragma once

#include <string>
#include <string_view>

#include "writers/html_text.h"

namespace foli::office {

inline constexpr std::string_view kXmlDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";

// Text or an attribute value, escaped.
inline void append_xml(std::string& out, std::string_view text) { html::append_escaped(out, text); }
inline std::string xml_escaped(std::string_view text) { return html::escaped(text); }

// ` name="value"`, with the value escaped.
inline void append_attribute(std::string& out, std::string_view name, std::string_view value) {
    out += ' ';
    out += name;
    out += "=\"";
    append_xml(out, value);
    out += '"';
}

inline void append_attribute(std::string& out, std::string_view name, long value) {
    out += ' ';
    out += name;
    out += "=\"";
    out += std::to_string(value);
    out += '"';
}

}  // namespace foli::office
