#include "load/font_program.h"

#include <cstring>

#include "load/truetype_builder.h"

namespace foli {
namespace {

bool starts_with(std::string_view data, std::string_view prefix) {
    return data.size() >= prefix.size() && data.substr(0, prefix.size()) == prefix;
}

bool contains_word(const std::string& name, const char* word) { return name.find(word) != std::string::npos; }

std::string without_subset_prefix(const char* name) {
    const char* plus = std::strchr(name, '+');
    // Subset fonts are named "ABCDEF+RealName".
    if (plus != nullptr && plus - name == 6) return plus + 1;
    return name;
}

// "TimesNewRomanPS-BoldItalicMT" → "TimesNewRoman", "Arial,Bold" → "Arial".
std::string family_of(const std::string& name) {
    std::string family = name.substr(0, name.find_first_of("-,"));
    for (const char* suffix : {"PSMT", "MT", "PS"}) {
        size_t length = std::strlen(suffix);
        if (family.size() > length && family.compare(family.size() - length, length, suffix) == 0) {
            family.resize(family.size() - length);
            break;
        }
    }
    return family.empty() ? name : family;
}

}  // namespace

FontFormat detect_font_format(std::string_view program) {
    if (program.size() < 4) return FontFormat::Unknown;
    if (starts_with(program, std::string_view("\0\1\0\0", 4)) || starts_with(program, "true")) return FontFormat::TrueType;
    if (starts_with(program, "OTTO")) return FontFormat::OpenType;
    if (starts_with(program, "%!PS-AdobeFont") || starts_with(program, "%!FontType1") ||
        (static_cast<unsigned char>(program[0]) == 0x80 && program[1] == 1))
        return FontFormat::Type1;
    // A CFF header: major version 1, then its own size (4 or more).
    if (program[0] == 1 && program[1] == 0 && static_cast<unsigned char>(program[2]) >= 4) return FontFormat::Cff;
    return FontFormat::Unknown;
}

std::string_view font_program(fz_context* ctx, fz_font* font) {
    if (font == nullptr || font->buffer == nullptr) return {};
    unsigned char* data = nullptr;
    size_t size = fz_buffer_storage(ctx, font->buffer, &data);
    return {reinterpret_cast<const char*>(data), size};
}

FontDescription describe_font(fz_context* ctx, fz_font* font) {
    FontDescription description;
    if (font == nullptr) return description;
    description.name = without_subset_prefix(fz_font_name(ctx, font));
    description.family = family_of(description.name);
    const std::string& name = description.name;
    description.bold = fz_font_is_bold(ctx, font) || contains_word(name, "Bold") || contains_word(name, "Black") ||
                       contains_word(name, "Heavy") || contains_word(name, "Semibold") || contains_word(name, "Demi");
    description.italic = fz_font_is_italic(ctx, font) || contains_word(name, "Italic") || contains_word(name, "Oblique");
    description.serif = fz_font_is_serif(ctx, font);
    description.monospace = fz_font_is_monospaced(ctx, font);
    if (fz_font_t3_procs(ctx, font) != nullptr) {
        description.format = FontFormat::Type3;
        return description;
    }
    description.format = detect_font_format(font_program(ctx, font));
    // MuPDF's built-in fonts, which stand in for fonts a document only
    // names, live in buffers over the library's own data.
    description.embedded = font->buffer != nullptr && !font->buffer->shared;
    return description;
}

std::optional<FontFile> font_file(fz_context* ctx, fz_font* font, const GlyphUse& used) {
    FontDescription description = describe_font(ctx, font);
    if (!description.embedded) return std::nullopt;
    std::string_view program = font_program(ctx, font);
    switch (description.format) {
    case FontFormat::TrueType: return FontFile{std::string(program), ".ttf", false};
    case FontFormat::OpenType: return FontFile{std::string(program), ".otf", false};
    case FontFormat::Type3: return std::nullopt;
    case FontFormat::Cff:
    case FontFormat::Type1:
    case FontFormat::Unknown: break;
    }
    TrueTypeNames names{description.family, description.name, description.bold, description.italic,
                        description.monospace};
    std::string rebuilt = build_truetype(program, used, names);
    if (rebuilt.empty()) return std::nullopt;
    return FontFile{std::move(rebuilt), ".ttf", true};
}

}  // namespace foli

namespace foli {

bool font_file_possible(fz_context* ctx, fz_font* font) {
    FontDescription description = describe_font(ctx, font);
    if (!description.embedded) return false;
    switch (description.format) {
    case FontFormat::TrueType:
    case FontFormat::OpenType: return true;
    case FontFormat::Type3: return false;
    case FontFormat::Cff:
    case FontFormat::Type1:
    case FontFormat::Unknown: break;
    }
    return readable_outline_font(font_program(ctx, font));
}

}  // namespace foli
