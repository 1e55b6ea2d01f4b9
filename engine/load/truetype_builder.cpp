#include "load/truetype_builder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

namespace foli {
namespace {

// ------------------------------------------------------------- FreeType

class FreeTypeFace {
public:
    explicit FreeTypeFace(std::string_view program) {
        if (FT_Init_FreeType(&library_) != 0) {
            library_ = nullptr;
            return;
        }
        if (FT_New_Memory_Face(library_, reinterpret_cast<const FT_Byte*>(program.data()),
                               static_cast<FT_Long>(program.size()), 0, &face_) != 0)
            face_ = nullptr;
    }
    ~FreeTypeFace() {
        if (face_ != nullptr) FT_Done_Face(face_);
        if (library_ != nullptr) FT_Done_FreeType(library_);
    }
    FreeTypeFace(const FreeTypeFace&) = delete;
    FreeTypeFace& operator=(const FreeTypeFace&) = delete;

    FT_Face get() const { return face_; }

private:
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
};

// ------------------------------------------------------------- outlines

struct Point {
    double x, y;
};

struct OutlinePoint {
    int x, y;
    bool on_curve;
};

using Contour = std::vector<OutlinePoint>;

// Approximates within this many font units.
constexpr double kTolerance = 0.25;
constexpr int kMaxPieces = 32;

Point lerp(Point a, Point b, double t) { return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t}; }

Point cubic_at(const std::array<Point, 4>& c, double t) {
    Point ab = lerp(c[0], c[1], t), bc = lerp(c[1], c[2], t), cd = lerp(c[2], c[3], t);
    return lerp(lerp(ab, bc, t), lerp(bc, cd, t), t);
}

Point cubic_slope(const std::array<Point, 4>& c, double t) {
    double u = 1 - t;
    return {3 * (u * u * (c[1].x - c[0].x) + 2 * u * t * (c[2].x - c[1].x) + t * t * (c[3].x - c[2].x)),
            3 * (u * u * (c[1].y - c[0].y) + 2 * u * t * (c[2].y - c[1].y) + t * t * (c[3].y - c[2].y))};
}

// How many quadratic pieces keep a cubic within kTolerance: one quadratic
// is off by at most sqrt(3)/36 * |P3 - 3 P2 + 3 P1 - P0|, n pieces by 1/n³
// of that.
int pieces_for(const std::array<Point, 4>& c) {
    double dx = c[3].x - 3 * c[2].x + 3 * c[1].x - c[0].x;
    double dy = c[3].y - 3 * c[2].y + 3 * c[1].y - c[0].y;
    double error = std::sqrt(3.0) / 36.0 * std::hypot(dx, dy);
    int pieces = static_cast<int>(std::ceil(std::cbrt(error / kTolerance)));
    return std::clamp(pieces, 1, kMaxPieces);
}

// Collects one glyph's contours from FreeType's outline walk. The
// callbacks are called from C: they report failure by result, never by
// exception.
class OutlineCollector {
public:
    static int move_to(const FT_Vector* to, void* user) {
        return static_cast<OutlineCollector*>(user)->guard([&](OutlineCollector& self) {
            self.contours.emplace_back();
            self.add({static_cast<double>(to->x), static_cast<double>(to->y)}, true);
        });
    }
    static int line_to(const FT_Vector* to, void* user) {
        return static_cast<OutlineCollector*>(user)->guard([&](OutlineCollector& self) {
            self.add({static_cast<double>(to->x), static_cast<double>(to->y)}, true);
        });
    }
    static int conic_to(const FT_Vector* control, const FT_Vector* to, void* user) {
        return static_cast<OutlineCollector*>(user)->guard([&](OutlineCollector& self) {
            self.add({static_cast<double>(control->x), static_cast<double>(control->y)}, false);
            self.add({static_cast<double>(to->x), static_cast<double>(to->y)}, true);
        });
    }
    static int cubic_to(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
        return static_cast<OutlineCollector*>(user)->guard([&](OutlineCollector& self) {
            std::array<Point, 4> c{self.current,
                                   {static_cast<double>(c1->x), static_cast<double>(c1->y)},
                                   {static_cast<double>(c2->x), static_cast<double>(c2->y)},
                                   {static_cast<double>(to->x), static_cast<double>(to->y)}};
            int pieces = pieces_for(c);
            for (int i = 0; i < pieces; ++i) {
                double t0 = static_cast<double>(i) / pieces, t1 = static_cast<double>(i + 1) / pieces;
                double third = (t1 - t0) / 3;
                Point p0 = cubic_at(c, t0), p3 = cubic_at(c, t1);
                Point d0 = cubic_slope(c, t0), d1 = cubic_slope(c, t1);
                Point q1{p0.x + d0.x * third, p0.y + d0.y * third};
                Point q2{p3.x - d1.x * third, p3.y - d1.y * third};
                // The quadratic closest to the piece: the mean of the two
                // control points each end's tangent gives.
                Point control{(3 * (q1.x + q2.x) - (p0.x + p3.x)) / 4, (3 * (q1.y + q2.y) - (p0.y + p3.y)) / 4};
                self.add(control, false);
                self.add(i + 1 == pieces ? c[3] : p3, true);
            }
        });
    }

    std::vector<Contour> contours;
    bool failed = false;

private:
    template <typename Step>
    int guard(Step step) noexcept {
        try {
            step(*this);
            return 0;
        } catch (...) {
            failed = true;
            return 1;
        }
    }

    void add(Point p, bool on_curve) {
        current = p;
        if (contours.empty()) contours.emplace_back();
        contours.back().push_back({static_cast<int>(std::lround(p.x)), static_cast<int>(std::lround(p.y)), on_curve});
    }

    Point current{0, 0};
};

// Drops repeated points and a closing point equal to the first, and turns
// the contour round: PostScript outlines wind the other way from TrueType.
Contour tidy(const Contour& source) {
    Contour out;
    for (const OutlinePoint& p : source) {
        if (!out.empty() && out.back().x == p.x && out.back().y == p.y && out.back().on_curve == p.on_curve) continue;
        out.push_back(p);
    }
    while (out.size() > 1 && out.back().x == out.front().x && out.back().y == out.front().y && out.back().on_curve &&
           out.front().on_curve)
        out.pop_back();
    std::reverse(out.begin(), out.end());
    return out;
}

struct Glyph {
    std::vector<Contour> contours;
    int advance = 0;
    int x_min = 0, y_min = 0, x_max = 0, y_max = 0;
    size_t points = 0;
};

Glyph load_glyph(FT_Face face, int gid) {
    Glyph glyph;
    if (FT_Load_Glyph(face, static_cast<FT_UInt>(gid), FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0)
        return glyph;
    glyph.advance = static_cast<int>(face->glyph->metrics.horiAdvance);
    if (face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) return glyph;
    static const FT_Outline_Funcs walker = {OutlineCollector::move_to, OutlineCollector::line_to,
                                            OutlineCollector::conic_to, OutlineCollector::cubic_to, 0, 0};
    OutlineCollector collector;
    if (FT_Outline_Decompose(&face->glyph->outline, &walker, &collector) != 0 || collector.failed) return glyph;
    bool first = true;
    for (const Contour& raw : collector.contours) {
        Contour contour = tidy(raw);
        if (contour.size() < 3) continue;
        for (const OutlinePoint& p : contour) {
            if (first) {
                glyph.x_min = glyph.x_max = p.x;
                glyph.y_min = glyph.y_max = p.y;
                first = false;
            }
            glyph.x_min = std::min(glyph.x_min, p.x);
            glyph.x_max = std::max(glyph.x_max, p.x);
            glyph.y_min = std::min(glyph.y_min, p.y);
            glyph.y_max = std::max(glyph.y_max, p.y);
        }
        glyph.points += contour.size();
        glyph.contours.push_back(std::move(contour));
    }
    // TrueType counts points and contours in 16 bits.
    if (glyph.points > 0xFFFF || glyph.contours.size() > 0x7FFF) {
        Glyph empty;
        empty.advance = glyph.advance;
        return empty;
    }
    return glyph;
}

// ------------------------------------------------------------ big-endian

class Bytes {
public:
    void u8(unsigned value) { data_.push_back(static_cast<char>(value & 0xFF)); }
    void u16(unsigned value) {
        u8(value >> 8);
        u8(value);
    }
    void s16(int value) { u16(static_cast<unsigned>(static_cast<uint16_t>(static_cast<int16_t>(value)))); }
    void u32(uint32_t value) {
        u16(value >> 16);
        u16(value & 0xFFFF);
    }
    void zeros(size_t count) { data_.append(count, '\0'); }
    void raw(std::string_view bytes) { data_.append(bytes); }
    void pad4() {
        while (data_.size() % 4 != 0) u8(0);
    }
    size_t size() const { return data_.size(); }
    std::string& str() { return data_; }

private:
    std::string data_;
};

int clamp16(long value) { return static_cast<int>(std::clamp<long>(value, -32768, 32767)); }

void encode_glyph(const Glyph& glyph, Bytes& out) {
    if (glyph.contours.empty()) return;
    out.s16(static_cast<int>(glyph.contours.size()));
    out.s16(clamp16(glyph.x_min));
    out.s16(clamp16(glyph.y_min));
    out.s16(clamp16(glyph.x_max));
    out.s16(clamp16(glyph.y_max));
    unsigned end = 0;
    for (const Contour& contour : glyph.contours) {
        end += static_cast<unsigned>(contour.size());
        out.u16(end - 1);
    }
    out.u16(0);  // no instructions
    // Flags, then the x deltas, then the y deltas: one byte per small
    // delta (its sign in the flag), none for a zero, two otherwise.
    Bytes xs, ys;
    int x = 0, y = 0;
    for (const Contour& contour : glyph.contours) {
        for (const OutlinePoint& p : contour) {
            unsigned flag = p.on_curve ? 0x01 : 0x00;
            int dx = p.x - x, dy = p.y - y;
            if (dx == 0) {
                flag |= 0x10;
            } else if (dx > -256 && dx < 256) {
                flag |= 0x02 | (dx > 0 ? 0x10 : 0);
                xs.u8(static_cast<unsigned>(std::abs(dx)));
            } else {
                xs.s16(clamp16(dx));
            }
            if (dy == 0) {
                flag |= 0x20;
            } else if (dy > -256 && dy < 256) {
                flag |= 0x04 | (dy > 0 ? 0x20 : 0);
                ys.u8(static_cast<unsigned>(std::abs(dy)));
            } else {
                ys.s16(clamp16(dy));
            }
            out.u8(flag);
            x = p.x;
            y = p.y;
        }
    }
    out.raw(xs.str());
    out.raw(ys.str());
    out.pad4();
}

// ------------------------------------------------------------------ cmap

// Format 4 for the Basic Multilingual Plane, format 12 for everything.
std::string build_cmap(const std::map<char32_t, int>& codes) {
    struct Run {
        char32_t first, last;
        int gid;
    };
    std::vector<Run> runs;
    for (const auto& [code, gid] : codes) {
        if (!runs.empty() && runs.back().last + 1 == code &&
            runs.back().gid + static_cast<int>(code - runs.back().first) == gid)
            runs.back().last = code;
        else
            runs.push_back({code, code, gid});
    }
    std::vector<Run> bmp;
    for (const Run& run : runs)
        if (run.first <= 0xFFFE) bmp.push_back({run.first, std::min<char32_t>(run.last, 0xFFFE), run.gid});
    bmp.push_back({0xFFFF, 0xFFFF, 0});

    Bytes format4;
    unsigned segments = static_cast<unsigned>(bmp.size());
    unsigned search = 1, selector = 0;
    while (search * 2 <= segments) {
        search *= 2;
        ++selector;
    }
    format4.u16(4);
    format4.u16(16 + 8 * segments);
    format4.u16(0);
    format4.u16(segments * 2);
    format4.u16(search * 2);
    format4.u16(selector);
    format4.u16((segments - search) * 2);
    for (const Run& run : bmp) format4.u16(run.last);
    format4.u16(0);
    for (const Run& run : bmp) format4.u16(run.first);
    for (const Run& run : bmp)
        format4.u16(run.first == 0xFFFF ? 1 : static_cast<unsigned>((run.gid - static_cast<int>(run.first)) & 0xFFFF));
    for (size_t i = 0; i < bmp.size(); ++i) format4.u16(0);

    Bytes format12;
    format12.u16(12);
    format12.u16(0);
    format12.u32(static_cast<uint32_t>(16 + 12 * runs.size()));
    format12.u32(0);
    format12.u32(static_cast<uint32_t>(runs.size()));
    for (const Run& run : runs) {
        format12.u32(run.first);
        format12.u32(run.last);
        format12.u32(static_cast<uint32_t>(run.gid));
    }

    Bytes cmap;
    cmap.u16(0);
    cmap.u16(2);
    cmap.u16(3);
    cmap.u16(1);
    cmap.u32(4 + 16);
    cmap.u16(3);
    cmap.u16(10);
    cmap.u32(static_cast<uint32_t>(4 + 16 + format4.size()));
    cmap.raw(format4.str());
    cmap.raw(format12.str());
    return std::move(cmap.str());
}

// ------------------------------------------------------------------ name

void append_utf16be(std::string& out, const std::string& utf8) {
    // The names are ASCII after sanitising; anything else becomes '?'.
    for (unsigned char c : utf8) {
        out.push_back('\0');
        out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
}

std::string postscript_safe(const std::string& name) {
    std::string out;
    for (unsigned char c : name)
        if (c > 32 && c < 127 && std::string_view("[](){}<>/%").find(static_cast<char>(c)) == std::string_view::npos)
            out.push_back(static_cast<char>(c));
    return out.empty() ? "Font" : out.substr(0, 63);
}

std::string printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) out.push_back(c >= 32 && c < 127 ? static_cast<char>(c) : '?');
    return out.empty() ? "Font" : out;
}

std::string build_name(const TrueTypeNames& names) {
    std::string family = printable(names.family);
    std::string style = names.bold ? (names.italic ? "Bold Italic" : "Bold") : (names.italic ? "Italic" : "Regular");
    std::string postscript = postscript_safe(names.postscript_name);
    const std::pair<int, std::string> records[] = {
        {1, family}, {2, style}, {3, postscript}, {4, family + " " + style}, {6, postscript}};
    std::string strings;
    Bytes table;
    table.u16(0);
    table.u16(static_cast<unsigned>(std::size(records)));
    table.u16(static_cast<unsigned>(6 + 12 * std::size(records)));
    for (const auto& [id, text] : records) {
        size_t offset = strings.size();
        append_utf16be(strings, text);
        table.u16(3);
        table.u16(1);
        table.u16(0x409);
        table.u16(static_cast<unsigned>(id));
        table.u16(static_cast<unsigned>(strings.size() - offset));
        table.u16(static_cast<unsigned>(offset));
    }
    table.raw(strings);
    return std::move(table.str());
}

// ----------------------------------------------------------------- sfnt

uint32_t checksum(std::string_view data) {
    uint32_t sum = 0;
    for (size_t i = 0; i < data.size(); i += 4) {
        uint32_t word = 0;
        for (size_t j = 0; j < 4; ++j)
            word = (word << 8) | (i + j < data.size() ? static_cast<unsigned char>(data[i + j]) : 0u);
        sum += word;
    }
    return sum;
}

std::string assemble_sfnt(std::map<std::string, std::string>& tables) {
    unsigned count = static_cast<unsigned>(tables.size());
    unsigned search = 1, selector = 0;
    while (search * 2 <= count) {
        search *= 2;
        ++selector;
    }
    Bytes file;
    file.u32(0x00010000);
    file.u16(count);
    file.u16(search * 16);
    file.u16(selector);
    file.u16(count * 16 - search * 16);
    uint32_t offset = 12 + 16 * count;
    for (const auto& [tag, data] : tables) {  // std::map keeps the tags sorted
        file.raw(tag);
        file.u32(checksum(data));
        file.u32(offset);
        file.u32(static_cast<uint32_t>(data.size()));
        offset += static_cast<uint32_t>((data.size() + 3) & ~size_t{3});
    }
    size_t head_offset = 0;
    for (const auto& [tag, data] : tables) {
        if (tag == "head") head_offset = file.size();
        file.raw(data);
        file.pad4();
    }
    uint32_t adjustment = 0xB1B0AFBAu - checksum(file.str());
    std::string& bytes = file.str();
    for (int i = 0; i < 4; ++i) bytes[head_offset + 8 + i] = static_cast<char>((adjustment >> (24 - 8 * i)) & 0xFF);
    return std::move(bytes);
}

}  // namespace

bool readable_outline_font(std::string_view program) {
    FreeTypeFace face(program);
    return face.get() != nullptr && FT_IS_SCALABLE(face.get()) && face.get()->num_glyphs > 0;
}

std::string build_truetype(std::string_view program, const GlyphUse& used, const TrueTypeNames& names) {
    FreeTypeFace face(program);
    if (face.get() == nullptr || !FT_IS_SCALABLE(face.get())) return {};
    FT_Face ft = face.get();

    int max_gid = 0;
    for (const auto& [gid, ucs] : used)
        if (gid > max_gid && gid <= 0xFFFE) max_gid = gid;
    int glyph_count = max_gid + 1;
    int units_per_em = ft->units_per_EM > 0 ? ft->units_per_EM : 1000;

    std::vector<Glyph> glyphs(static_cast<size_t>(glyph_count));
    glyphs[0] = load_glyph(ft, 0);
    for (const auto& [gid, ucs] : used)
        if (gid > 0 && gid < glyph_count) glyphs[static_cast<size_t>(gid)] = load_glyph(ft, gid);

    Bytes glyf, loca, hmtx;
    int x_min = 0, y_min = 0, x_max = 0, y_max = 0, max_advance = 0, min_lsb = 0, min_rsb = 0, max_extent = 0;
    unsigned max_points = 0, max_contours = 0;
    bool any_outline = false;
    long advance_sum = 0, advance_count = 0;
    for (const Glyph& glyph : glyphs) {
        loca.u32(static_cast<uint32_t>(glyf.size()));
        encode_glyph(glyph, glyf);
        hmtx.u16(static_cast<unsigned>(std::clamp(glyph.advance, 0, 0xFFFF)));
        hmtx.s16(clamp16(glyph.x_min));
        max_advance = std::max(max_advance, glyph.advance);
        if (glyph.advance > 0) {
            advance_sum += glyph.advance;
            ++advance_count;
        }
        if (glyph.contours.empty()) continue;
        if (!any_outline) {
            x_min = glyph.x_min, y_min = glyph.y_min, x_max = glyph.x_max, y_max = glyph.y_max;
            min_lsb = glyph.x_min, min_rsb = glyph.advance - glyph.x_max, max_extent = glyph.x_max;
            any_outline = true;
        }
        x_min = std::min(x_min, glyph.x_min);
        y_min = std::min(y_min, glyph.y_min);
        x_max = std::max(x_max, glyph.x_max);
        y_max = std::max(y_max, glyph.y_max);
        min_lsb = std::min(min_lsb, glyph.x_min);
        min_rsb = std::min(min_rsb, glyph.advance - glyph.x_max);
        max_extent = std::max(max_extent, glyph.x_max);
        max_points = std::max(max_points, static_cast<unsigned>(glyph.points));
        max_contours = std::max(max_contours, static_cast<unsigned>(glyph.contours.size()));
    }
    loca.u32(static_cast<uint32_t>(glyf.size()));
    if (!any_outline) return {};

    int ascender = ft->ascender != 0 ? ft->ascender : y_max;
    int descender = ft->descender != 0 ? ft->descender : y_min;
    if (descender > 0) descender = -descender;
    unsigned mac_style = (names.bold ? 1u : 0u) | (names.italic ? 2u : 0u);

    std::map<std::string, std::string> tables;

    Bytes head;
    head.u32(0x00010000);
    head.u32(0x00010000);
    head.u32(0);  // checkSumAdjustment, set once the file is complete
    head.u32(0x5F0F3CF5);
    head.u16(0x000B);
    head.u16(static_cast<unsigned>(units_per_em));
    head.zeros(16);  // created, modified
    head.s16(clamp16(x_min));
    head.s16(clamp16(y_min));
    head.s16(clamp16(x_max));
    head.s16(clamp16(y_max));
    head.u16(mac_style);
    head.u16(8);
    head.s16(2);
    head.s16(1);  // long offsets in loca
    head.s16(0);
    tables["head"] = std::move(head.str());

    Bytes hhea;
    hhea.u32(0x00010000);
    hhea.s16(clamp16(ascender));
    hhea.s16(clamp16(descender));
    hhea.s16(0);
    hhea.u16(static_cast<unsigned>(std::clamp(max_advance, 0, 0xFFFF)));
    hhea.s16(clamp16(min_lsb));
    hhea.s16(clamp16(min_rsb));
    hhea.s16(clamp16(max_extent));
    hhea.s16(1);
    hhea.s16(0);
    hhea.s16(0);
    hhea.zeros(8);
    hhea.s16(0);
    hhea.u16(static_cast<unsigned>(glyph_count));
    tables["hhea"] = std::move(hhea.str());

    Bytes maxp;
    maxp.u32(0x00010000);
    maxp.u16(static_cast<unsigned>(glyph_count));
    maxp.u16(max_points);
    maxp.u16(max_contours);
    maxp.u16(0);
    maxp.u16(0);
    maxp.u16(2);
    maxp.zeros(16);
    tables["maxp"] = std::move(maxp.str());

    std::map<char32_t, int> codes;
    for (const auto& [gid, ucs] : used) {
        bool valid = ucs > 0 && ucs <= 0x10FFFF && (ucs < 0xD800 || ucs > 0xDFFF) && ucs != 0xFFFD && ucs != 0xFFFF;
        if (valid && gid < glyph_count) codes.emplace(ucs, gid);  // the first glyph seen for a character
    }
    char32_t first_char = codes.empty() ? 0x20 : codes.begin()->first;
    char32_t last_char = codes.empty() ? 0x20 : codes.rbegin()->first;

    Bytes os2;
    os2.u16(4);
    os2.s16(clamp16(advance_count > 0 ? advance_sum / advance_count : units_per_em / 2));
    os2.u16(names.bold ? 700 : 400);
    os2.u16(5);
    os2.u16(0);  // installable embedding
    int sub = units_per_em * 65 / 100, sub_offset = units_per_em * 14 / 100;
    for (int offset : {0, 1}) {  // subscript, then superscript
        os2.s16(sub);
        os2.s16(sub);
        os2.s16(0);
        os2.s16(offset ? units_per_em * 48 / 100 : sub_offset);
    }
    os2.s16(units_per_em * 5 / 100);
    os2.s16(units_per_em * 26 / 100);
    os2.s16(0);
    os2.zeros(10);  // panose
    os2.zeros(16);  // unicode ranges
    os2.raw("    ");
    os2.u16(names.italic || names.bold ? ((names.italic ? 0x01u : 0u) | (names.bold ? 0x20u : 0u)) : 0x40u);
    os2.u16(static_cast<unsigned>(std::min<char32_t>(first_char, 0xFFFF)));
    os2.u16(static_cast<unsigned>(std::min<char32_t>(last_char, 0xFFFF)));
    os2.s16(clamp16(ascender));
    os2.s16(clamp16(descender));
    os2.s16(0);
    os2.u16(static_cast<unsigned>(std::clamp(std::max(ascender, y_max), 0, 0xFFFF)));
    os2.u16(static_cast<unsigned>(std::clamp(std::max(-descender, -y_min), 0, 0xFFFF)));
    os2.u32(1);  // Latin 1
    os2.u32(0);
    os2.s16(clamp16(ascender / 2));
    os2.s16(clamp16(ascender * 7 / 10));
    os2.u16(0);
    os2.u16(32);
    os2.u16(0);
    tables["OS/2"] = std::move(os2.str());

    Bytes post;
    post.u32(0x00030000);
    post.u32(names.italic ? static_cast<uint32_t>(-12 * 65536) : 0);
    post.s16(clamp16(-units_per_em / 10));
    post.s16(clamp16(units_per_em / 20));
    post.u32(names.monospace ? 1 : 0);
    post.zeros(16);
    tables["post"] = std::move(post.str());

    tables["cmap"] = build_cmap(codes);
    tables["name"] = build_name(names);
    tables["glyf"] = std::move(glyf.str());
    tables["loca"] = std::move(loca.str());
    tables["hmtx"] = std::move(hmtx.str());
    return assemble_sfnt(tables);
}

}  // namespace foli
