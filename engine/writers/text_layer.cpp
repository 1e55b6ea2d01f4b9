#include "writers/text_layer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analysis/utf8.h"
#include "ocr/page_merge.h"

namespace foli {
namespace {

// ------------------------------------------------------------ font program

class FontBytes {
public:
    void u16(unsigned value) {
        bytes.push_back(static_cast<unsigned char>(value >> 8));
        bytes.push_back(static_cast<unsigned char>(value));
    }
    void u32(uint32_t value) {
        u16(value >> 16);
        u16(value & 0xFFFF);
    }
    void i16(int value) { u16(static_cast<unsigned>(value) & 0xFFFF); }
    void zeros(size_t count) { bytes.insert(bytes.end(), count, 0); }
    void tag(const char* name) { bytes.insert(bytes.end(), name, name + 4); }
    std::vector<unsigned char> bytes;
};

uint32_t table_checksum(const std::vector<unsigned char>& data) {
    uint32_t sum = 0;
    for (size_t i = 0; i < data.size(); i += 4) {
        uint32_t word = 0;
        for (size_t j = 0; j < 4; ++j) word = (word << 8) | (i + j < data.size() ? data[i + j] : 0);
        sum += word;
    }
    return sum;
}

constexpr int kUnitsPerEm = 1000;
constexpr int kGlyphs = 2;

std::vector<unsigned char> head_table() {
    FontBytes t;
    t.u32(0x00010000);  // version
    t.u32(0x00010000);  // font revision
    t.u32(0);           // checksum adjustment, filled in at the end
    t.u32(0x5F0F3CF5);  // magic
    t.u16(0x000B);      // flags: baseline at 0, integer scaling
    t.u16(kUnitsPerEm);
    t.zeros(16);        // created and modified
    t.i16(0);
    t.i16(kLayerDescent);
    t.i16(kLayerAdvance);
    t.i16(kLayerAscent);
    t.u16(0);  // mac style
    t.u16(8);  // smallest readable size
    t.i16(2);  // font direction hint
    t.i16(0);  // short loca offsets
    t.i16(0);  // glyph data format
    return t.bytes;
}

std::vector<unsigned char> hhea_table() {
    FontBytes t;
    t.u32(0x00010000);
    t.i16(kLayerAscent);
    t.i16(kLayerDescent);
    t.i16(0);  // line gap
    t.u16(kLayerAdvance);
    t.i16(0);  // min left side bearing
    t.i16(0);  // min right side bearing
    t.i16(kLayerAdvance);
    t.i16(1);  // caret slope
    t.i16(0);
    t.i16(0);
    t.zeros(8);
    t.i16(0);  // metric data format
    t.u16(kGlyphs);
    return t.bytes;
}

std::vector<unsigned char> maxp_table() {
    FontBytes t;
    t.u32(0x00010000);
    t.u16(kGlyphs);
    t.u16(0);  // points
    t.u16(0);  // contours
    t.u16(0);
    t.u16(0);
    t.u16(1);  // zones
    t.zeros(16);
    return t.bytes;
}

std::vector<unsigned char> os2_table() {
    FontBytes t;
    t.u16(1);  // version
    t.i16(kLayerAdvance);
    t.u16(400);  // weight
    t.u16(5);    // width
    t.u16(0);    // embedding: installable
    for (int i = 0; i < 10; ++i) t.i16(0);  // sub- and superscript, strikeout metrics
    t.i16(0);    // family class
    t.zeros(10); // panose
    t.zeros(16); // unicode ranges
    t.tag("FOLI");
    t.u16(0x40);  // regular
    t.u16(0x20);  // first char
    t.u16(0xFFFF);
    t.i16(kLayerAscent);
    t.i16(kLayerDescent);
    t.i16(0);
    t.u16(kLayerAscent);
    t.u16(-kLayerDescent);
    t.zeros(8);  // code page ranges
    return t.bytes;
}

std::vector<unsigned char> hmtx_table() {
    FontBytes t;
    for (int glyph = 0; glyph < kGlyphs; ++glyph) {
        t.u16(kLayerAdvance);
        t.i16(0);
    }
    return t.bytes;
}

std::vector<unsigned char> cmap_table() {
    // Format 4 with only the closing segment: no character maps to a glyph
    // through the program; the PDF font maps character ids itself.
    FontBytes t;
    t.u16(0);
    t.u16(1);
    t.u16(3);  // Windows
    t.u16(1);  // Unicode BMP
    t.u32(12);
    t.u16(4);
    t.u16(24);  // length
    t.u16(0);
    t.u16(2);  // seg count x 2
    t.u16(2);
    t.u16(0);
    t.u16(0);
    t.u16(0xFFFF);  // end code
    t.u16(0);
    t.u16(0xFFFF);  // start code
    t.i16(1);       // delta
    t.u16(0);       // range offset
    return t.bytes;
}

std::vector<unsigned char> loca_table() {
    FontBytes t;
    for (int i = 0; i <= kGlyphs; ++i) t.u16(0);  // every glyph empty
    return t.bytes;
}

std::vector<unsigned char> name_table() {
    FontBytes t;
    t.u16(0);
    t.u16(0);  // no names
    t.u16(6);
    return t.bytes;
}

std::vector<unsigned char> post_table() {
    FontBytes t;
    t.u32(0x00030000);  // no glyph names
    t.zeros(28);
    return t.bytes;
}

}  // namespace

std::vector<unsigned char> glyphless_font_program() {
    struct Table {
        const char* tag;
        std::vector<unsigned char> data;
    };
    std::vector<Table> tables = {
        {"OS/2", os2_table()}, {"cmap", cmap_table()}, {"glyf", std::vector<unsigned char>(4, 0)},
        {"head", head_table()}, {"hhea", hhea_table()}, {"hmtx", hmtx_table()},
        {"loca", loca_table()}, {"maxp", maxp_table()}, {"name", name_table()},
        {"post", post_table()},
    };
    const unsigned count = static_cast<unsigned>(tables.size());
    FontBytes font;
    font.u32(0x00010000);
    font.u16(count);
    unsigned power = 1, log2 = 0;
    while (power * 2 <= count) {
        power *= 2;
        ++log2;
    }
    font.u16(power * 16);
    font.u16(log2);
    font.u16(count * 16 - power * 16);
    uint32_t offset = 12 + 16 * count;
    size_t head_offset = 0;
    for (const Table& table : tables) {
        font.tag(table.tag);
        font.u32(table_checksum(table.data));
        font.u32(offset);
        font.u32(static_cast<uint32_t>(table.data.size()));
        if (std::string(table.tag) == "head") head_offset = offset;
        offset += static_cast<uint32_t>((table.data.size() + 3) & ~size_t(3));
    }
    for (const Table& table : tables) {
        font.bytes.insert(font.bytes.end(), table.data.begin(), table.data.end());
        font.zeros((4 - table.data.size() % 4) % 4);
    }
    uint32_t adjustment = 0xB1B0AFBA - table_checksum(font.bytes);
    for (int i = 0; i < 4; ++i) font.bytes[head_offset + 8 + i] = static_cast<unsigned char>(adjustment >> (24 - 8 * i));
    return font.bytes;
}

uint16_t LayerCharacters::id(char32_t c) {
    auto found = ids_.find(c);
    if (found != ids_.end()) return found->second;
    if (full()) return 0;
    order_.push_back(c);
    uint16_t id = static_cast<uint16_t>(order_.size());
    ids_.emplace(c, id);
    return id;
}

uint16_t LayerCharacters::find(char32_t c) const {
    auto found = ids_.find(c);
    return found == ids_.end() ? 0 : found->second;
}

void LayerCharacters::add(const ocr::OcrPage& read) {
    for (const ocr::OcrBlock& block : read.blocks)
        for (const ocr::OcrLine& line : block.lines)
            for (const ocr::OcrWord& word : line.words)
                for (size_t pos = 0; pos < word.text.size();) id(next_code_point(word.text, pos));
}

std::string LayerCharacters::to_unicode_cmap() const {
    std::string cmap =
        "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
        "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
        "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    char entry[64];
    for (size_t start = 0; start < order_.size(); start += 100) {
        size_t end = std::min(order_.size(), start + 100);
        std::snprintf(entry, sizeof entry, "%zu beginbfchar\n", end - start);
        cmap += entry;
        for (size_t i = start; i < end; ++i) {
            char32_t c = order_[i];
            if (c >= 0x10000) {
                unsigned v = static_cast<unsigned>(c) - 0x10000;
                std::snprintf(entry, sizeof entry, "<%04zX> <%04X%04X>\n", i + 1, 0xD800 + (v >> 10), 0xDC00 + (v & 0x3FF));
            } else {
                std::snprintf(entry, sizeof entry, "<%04zX> <%04X>\n", i + 1, static_cast<unsigned>(c));
            }
            cmap += entry;
        }
        cmap += "endbfchar\n";
    }
    cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    return cmap;
}

namespace {

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", std::fabs(value) < 5e-4 ? 0.0 : value);
    // Trailing zeros cost bytes on every word.
    std::string s = text;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s.empty() || s == "-" ? "0" : s;
}

}  // namespace

std::string layer_font_name(const LayerFonts& fonts, int font) {
    return fonts.visible ? fonts.prefix + "_" + std::to_string(font) : fonts.prefix;
}

namespace {

// One word as Tj operations, and its natural width in em.
struct WordCodes {
    std::string operations;
    double width = 0;
};

WordCodes word_codes(const std::string& text, const LayerCharacters& characters, const LayerFonts& fonts) {
    WordCodes word;
    int current_font = -1;
    std::string codes;
    auto flush = [&] {
        if (!codes.empty()) word.operations += "<" + codes + "> Tj ";
        codes.clear();
    };
    for (size_t pos = 0; pos < text.size();) {
        uint16_t id = characters.find(next_code_point(text, pos));
        char hex[8];
        if (!fonts.visible) {
            std::snprintf(hex, sizeof hex, "%04X", id);
            codes += hex;
            word.width += kLayerAdvance / 1000.0;
            continue;
        }
        if (id == 0) continue;
        int font = (id - 1) / kOutlineFontSize;
        if (font != current_font) {
            flush();
            word.operations += "/" + layer_font_name(fonts, font) + " 1 Tf ";
            current_font = font;
        }
        std::snprintf(hex, sizeof hex, "%02X", (id - 1) % kOutlineFontSize);
        codes += hex;
        word.width += fonts.advances[id - 1] / 1000.0;
    }
    flush();
    return word;
}

}  // namespace

std::string text_layer_content(const ocr::OcrPage& read, const ocr::Affine& frame_to_user,
                               const LayerCharacters& characters, const LayerFonts& fonts) {
    const ocr::Affine& m = frame_to_user;
    // The page's own contents were opened with q: close them, then draw
    // the words in the recognition frame.
    std::string out = "Q\nq\n" + number(m.a) + " " + number(m.b) + " " + number(m.c) + " " + number(m.d) + " " +
                      number(m.e) + " " + number(m.f) + " cm\nBT\n";
    out += fonts.visible ? "0 Tr 0 0 0.8 rg\n" : "3 Tr /" + layer_font_name(fonts, 0) + " 1 Tf\n";
    for (const ocr::OcrBlock& block : read.blocks)
        for (const ocr::OcrLine& line : block.lines) {
            // Every word of a line on the line's height, so that the
            // words' boxes line up as the line does.
            float size = line.box.height();
            if (size <= 0) continue;
            float baseline = line.box.y1 + kLayerDescent / 1000.0f * size;
            for (size_t i = 0; i < line.words.size(); ++i) {
                const ocr::OcrWord& word = line.words[i];
                WordCodes codes = word_codes(word.text, characters, fonts);
                // Words written together reach to the next one, so that
                // text extraction puts no space between them.
                float width = word.box.width();
                if (i + 1 < line.words.size() && ocr::written_together(word.text, line.words[i + 1].text))
                    width = std::max(width, line.words[i + 1].box.x0 - word.box.x0);
                if (codes.width <= 0 || width <= 0) continue;
                out += number(100.0 * width / (codes.width * size)) + " Tz " + number(size) + " 0 0 " +
                       number(-size) + " " + number(word.box.x0) + " " + number(baseline) + " Tm " +
                       codes.operations + "\n";
            }
        }
    out += "ET\nQ\n";
    return out;
}

}  // namespace foli
