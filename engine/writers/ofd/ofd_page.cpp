#include "writers/ofd/ofd_page.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

#include "core/errors.h"
#include "analysis/utf8.h"
#include "core/log.h"
#include "ocr/page_merge.h"
#include "writers/ofd/ofd_xml.h"

namespace foli::ofd {
namespace {

// Regions that only a rendering can show are rendered at this resolution,
// with at most kMaxRasterPixels pixels.
constexpr float kRasterDpi = 150;
constexpr double kMaxRasterPixels = 16.0 * 1024 * 1024;

// How far (in ems) a glyph may sit from where the previous glyph's
// advance ends and still continue the same run: a larger gap is a word
// space the PDF left out, a step back or a change of baseline starts over.
constexpr double kRunGap = 0.1;
constexpr double kRunStepBack = 0.35;
constexpr double kRunBaselineShift = 0.15;

// The part of the em square a glyph's outline fills, for bounding boxes.
constexpr double kEmBottom = -0.3;
constexpr double kEmTop = 1.05;

// An image covering this share of a scanned page is its scan picture.
constexpr double kScanImageShare = 0.8;
// Recognised lines reach from the ascenders to the descenders; the
// baseline sits this share of the line's height above its bottom.
constexpr double kRecognisedDescent = 0.2;

struct Box {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool set = false;

    void add(double x, double y) {
        if (!set) {
            x0 = x1 = x;
            y0 = y1 = y;
            set = true;
            return;
        }
        x0 = std::min(x0, x);
        y0 = std::min(y0, y);
        x1 = std::max(x1, x);
        y1 = std::max(y1, y);
    }
    void grow(double margin) {
        x0 -= margin;
        y0 -= margin;
        x1 += margin;
        y1 += margin;
    }
    bool usable() const { return set && std::isfinite(x0) && std::isfinite(y0) && std::isfinite(x1) && std::isfinite(y1); }
    double width() const { return std::max(x1 - x0, 0.01); }
    double height() const { return std::max(y1 - y0, 0.01); }
    bool intersects(const Box& other) const { return x0 < other.x1 && other.x0 < x1 && y0 < other.y1 && other.y0 < y1; }
    bool contains(const Box& other) const {
        return x0 <= other.x0 && y0 <= other.y0 && x1 >= other.x1 && y1 >= other.y1;
    }
};

// A clip, in page millimetres.
struct ClipShape {
    std::vector<unsigned char> ops;
    std::vector<double> coords;
    bool even_odd = false;
    Box box;
    bool rectangle = false;  // exactly its box
};

int coords_of(unsigned char op) { return op == FOLI_PATH_CURVE ? 6 : op == FOLI_PATH_CLOSE ? 0 : 2; }

void append_path_data(std::string& out, const unsigned char* ops, int op_count, const double* coords, double dx,
                      double dy) {
    out += "<ofd:AbbreviatedData>";
    size_t k = 0;
    for (int i = 0; i < op_count; ++i) {
        if (i > 0) out += ' ';
        switch (ops[i]) {
        case FOLI_PATH_MOVE: out += 'M'; break;
        case FOLI_PATH_LINE: out += 'L'; break;
        case FOLI_PATH_CURVE: out += 'B'; break;
        default: out += 'C'; break;
        }
        for (int j = 0; j < coords_of(ops[i]); j += 2, k += 2) {
            out += ' ';
            append_number(out, coords[k] - dx);
            out += ' ';
            append_number(out, coords[k + 1] - dy);
        }
    }
    out += "</ofd:AbbreviatedData>";
}

// Whether the clip's path is one axis-aligned rectangle.
bool is_rectangle(const ClipShape& clip) {
    const auto& ops = clip.ops;
    size_t lines = 0;
    for (size_t i = 1; i < ops.size(); ++i) {
        if (ops[i] == FOLI_PATH_LINE)
            ++lines;
        else if (!(ops[i] == FOLI_PATH_CLOSE && i + 1 == ops.size()))
            return false;
    }
    if (ops.empty() || ops[0] != FOLI_PATH_MOVE || lines < 3 || lines > 4) return false;
    const double tolerance = 0.01;
    for (size_t i = 0; i < clip.coords.size(); i += 2) {
        double x = clip.coords[i], y = clip.coords[i + 1];
        bool on_x = std::fabs(x - clip.box.x0) < tolerance || std::fabs(x - clip.box.x1) < tolerance;
        bool on_y = std::fabs(y - clip.box.y0) < tolerance || std::fabs(y - clip.box.y1) < tolerance;
        if (!on_x || !on_y) return false;
    }
    return true;
}

// Characters a TextCode can hold: anything XML allows and a reader can
// show; the rest (and glyphs with no known character) read as U+FFFD, so
// that every glyph keeps one place in DeltaX.
char32_t text_character(int ucs) {
    if (ucs == '\t' || ucs == '\n' || ucs == '\r') return ' ';
    bool valid = ucs >= 0x20 && ucs <= 0x10FFFF && !(ucs >= 0x7F && ucs <= 0x9F) && !(ucs >= 0xD800 && ucs <= 0xDFFF) &&
                 !(ucs >= 0xFDD0 && ucs <= 0xFDEF) && (ucs & 0xFFFE) != 0xFFFE;
    return valid ? static_cast<char32_t>(ucs) : 0xFFFD;
}

// A glyph standing for "fi", "ffl" and the like reads as the ligature's
// own character, which searches fold back to its letters: one character
// per glyph keeps the text object whole. 0 when there is none.
char32_t ligature_character(const std::vector<char32_t>& chars) {
    static const std::pair<std::u32string_view, char32_t> ligatures[] = {
        {U"ff", 0xFB00}, {U"fi", 0xFB01}, {U"fl", 0xFB02}, {U"ffi", 0xFB03}, {U"ffl", 0xFB04}, {U"st", 0xFB06}};
    std::u32string_view text(chars.data(), chars.size());
    for (const auto& [letters, ligature] : ligatures)
        if (text == letters) return ligature;
    return 0;
}

// White space as a reader's XML parser may strip it from the ends of text.
bool is_white(char32_t c) {
    return c == ' ' || (c >= 0x09 && c <= 0x0D) || (c >= 0x1C && c <= 0x1F) || c == 0x85 || c == 0xA0 ||
           c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// DeltaX and DeltaY lists, with runs of three or more equal steps written
// as "g count step".
std::string delta_list(const std::vector<double>& steps) {
    std::vector<std::string> tokens;
    for (double step : steps) {
        std::string token;
        append_number(token, step);
        tokens.push_back(std::move(token));
    }
    std::string out;
    for (size_t i = 0; i < tokens.size();) {
        size_t run = 1;
        while (i + run < tokens.size() && tokens[i + run] == tokens[i]) ++run;
        if (!out.empty()) out += ' ';
        if (run >= 3) {
            out += "g " + std::to_string(run) + ' ' + tokens[i];
            i += run;
        } else {
            out += tokens[i];
            ++i;
        }
    }
    return out;
}

const char* cap_name(int cap) { return cap == FZ_LINECAP_ROUND ? "Round" : cap == FZ_LINECAP_SQUARE ? "Square" : nullptr; }
const char* join_name(int join) {
    return join == FZ_LINEJOIN_ROUND ? "Round" : join == FZ_LINEJOIN_BEVEL ? "Bevel" : nullptr;
}

// One glyph of a text run and the characters it stands for.
struct Code {
    std::vector<char32_t> chars;
    int gid = 0;
    float x = 0, y = 0;  // origin, device space
    float advance = 0;   // ems
};

class PageBuilder {
public:
    PageBuilder(const Page& page, const PageDrawing& drawing, Resources& resources, UnitIds& ids,
                const PageOptions& options)
        : page_(page), drawing_(drawing), resources_(resources), ids_(ids), options_(options) {
        const Rect& bounds = page.bounds();
        origin_x_ = bounds.x0;
        origin_y_ = bounds.y0;
        page_box_.add(0, 0);
        page_box_.add(millimetres(bounds.width()), millimetres(bounds.height()));
    }

    std::string build(const std::vector<PageLink>& links, const ocr::OcrPage* recognised) {
        uint32_t layer = ids_.next();
        out_ = kDeclaration;
        out_ += "<ofd:Page ";
        out_ += kNamespace;
        out_ += "><ofd:Area><ofd:PhysicalBox>";
        append_box(out_, 0, 0, page_box_.x1, page_box_.y1);
        out_ += "</ofd:PhysicalBox></ofd:Area><ofd:Content><ofd:Layer";
        append_id_attribute(out_, "ID", layer);
        out_ += " Type=\"Body\">";
        for (const foli_draw_item& item : drawing_) add_item(item);
        flush_text();
        if (recognised != nullptr) add_recognised(*recognised);
        out_ += "</ofd:Layer></ofd:Content>";
        add_links(links);
        out_ += "</ofd:Page>\n";
        return std::move(out_);
    }

private:
    double x_mm(double x) const { return millimetres(x - origin_x_); }
    double y_mm(double y) const { return millimetres(y - origin_y_); }

    void add_item(const foli_draw_item& item) {
        if (item.kind != FOLI_DRAW_TEXT) flush_text();
        switch (item.kind) {
        case FOLI_DRAW_PATH: add_path(item); break;
        case FOLI_DRAW_TEXT: add_text(item); break;
        case FOLI_DRAW_IMAGE: add_image(item); break;
        case FOLI_DRAW_RASTER: add_raster(item); break;
        case FOLI_DRAW_CLIP: push_clip(item); break;
        case FOLI_DRAW_POP_CLIP:
            if (!clips_.empty()) clips_.pop_back();
            break;
        default: break;
        }
    }

    // ------------------------------------------------------------ clips

    void push_clip(const foli_draw_item& item) {
        ClipShape clip;
        clip.even_odd = item.even_odd != 0;
        const unsigned char* ops = drawing_.path_ops(item);
        const float* coords = drawing_.path_coords(item);
        size_t k = 0;
        for (int i = 0; i < item.path_ops; ++i) {
            clip.ops.push_back(ops[i]);
            for (int j = 0; j < coords_of(ops[i]); j += 2, k += 2) {
                double x = x_mm(coords[k]), y = y_mm(coords[k + 1]);
                clip.coords.push_back(x);
                clip.coords.push_back(y);
                clip.box.add(x, y);
            }
        }
        clip.rectangle = is_rectangle(clip);
        clips_.push_back(std::move(clip));
    }

    // The clips an object inside `box` needs, or false when they hide it.
    bool clips_for(const Box& box, std::vector<const ClipShape*>& needed) const {
        for (const ClipShape& clip : clips_) {
            if (!clip.box.usable() || !clip.box.intersects(box)) return false;
            if (clip.rectangle && clip.box.contains(box)) continue;
            needed.push_back(&clip);
        }
        return true;
    }

    void append_clips(const std::vector<const ClipShape*>& clips, const Box& box) {
        if (clips.empty()) return;
        out_ += "<ofd:Clips>";
        for (const ClipShape* clip : clips) {
            out_ += "<ofd:Clip><ofd:Area><ofd:Path Boundary=\"";
            append_box(out_, 0, 0, box.width(), box.height());
            out_ += '"';
            if (clip->even_odd) out_ += " Rule=\"Even-Odd\"";
            out_ += '>';
            append_path_data(out_, clip->ops.data(), static_cast<int>(clip->ops.size()), clip->coords.data(), box.x0,
                             box.y0);
            out_ += "</ofd:Path></ofd:Area></ofd:Clip>";
        }
        out_ += "</ofd:Clips>";
    }

    // `<ofd:Tag ID=".." Boundary=".."`, left open for more attributes.
    void open_object(const char* tag, const Box& box) {
        out_ += "<ofd:";
        out_ += tag;
        append_id_attribute(out_, "ID", ids_.next());
        out_ += " Boundary=\"";
        append_box(out_, box.x0, box.y0, box.width(), box.height());
        out_ += '"';
    }

    // ------------------------------------------------------------ paths

    void add_path(const foli_draw_item& item) {
        const unsigned char* ops = drawing_.path_ops(item);
        const float* coords = drawing_.path_coords(item);
        std::vector<double> page_coords;
        Box box;
        int segments = 0;
        size_t k = 0;
        for (int i = 0; i < item.path_ops; ++i) {
            if (ops[i] == FOLI_PATH_LINE || ops[i] == FOLI_PATH_CURVE || ops[i] == FOLI_PATH_CLOSE) ++segments;
            for (int j = 0; j < coords_of(ops[i]); j += 2, k += 2) {
                double x = x_mm(coords[k]), y = y_mm(coords[k + 1]);
                page_coords.push_back(x);
                page_coords.push_back(y);
                box.add(x, y);
            }
        }
        if (segments == 0 || !box.usable()) return;
        double line_width = item.stroke ? millimetres(item.line_width) : 0;
        box.grow(item.stroke ? line_width * (item.line_join == FZ_LINEJOIN_MITER ? 2.0 : 0.75) : 0.01);
        std::vector<const ClipShape*> clips;
        if (!clips_for(box, clips)) return;

        open_object("PathObject", box);
        if (item.stroke) {
            append_number_attribute(out_, "LineWidth", line_width);
            if (const char* cap = cap_name(item.line_cap)) append_attribute(out_, "Cap", cap);
            if (const char* join = join_name(item.line_join)) append_attribute(out_, "Join", join);
            if (item.line_join == FZ_LINEJOIN_MITER) append_number_attribute(out_, "MiterLimit", item.miter_limit);
            if (item.dash_count > 0) {
                const float* dashes = drawing_.dashes(item);
                std::string pattern;
                for (int i = 0; i < item.dash_count; ++i) {
                    if (i > 0) pattern += ' ';
                    append_number(pattern, millimetres(dashes[i]));
                }
                append_attribute(out_, "DashPattern", pattern);
                if (item.dash_phase != 0) append_number_attribute(out_, "DashOffset", millimetres(item.dash_phase));
            }
        } else {
            out_ += " Stroke=\"false\"";
        }
        if (item.fill) {
            out_ += " Fill=\"true\"";
            if (item.even_odd) out_ += " Rule=\"Even-Odd\"";
        }
        out_ += '>';
        append_clips(clips, box);
        if (item.stroke && (item.stroke_rgb != 0 || item.stroke_alpha < 1))
            append_color(out_, "StrokeColor", item.stroke_rgb, item.stroke_alpha);
        if (item.fill) append_color(out_, "FillColor", item.fill_rgb, item.fill_alpha);
        append_path_data(out_, ops, item.path_ops, page_coords.data(), box.x0, box.y0);
        out_ += "</ofd:PathObject>";
    }

    // ------------------------------------------------------------- text

    // Text items continue the run of the item before when they share its
    // font, matrix and paint (a PDF often shows one word in several
    // pieces); anything else drawn in between ends the run.
    static bool same_text_style(const foli_draw_item& a, const foli_draw_item& b) {
        auto near = [](float x, float y) { return std::fabs(x - y) <= 1e-4f * std::max(1.0f, std::fabs(x)); };
        const fz_matrix &m = a.glyph_matrix, &n = b.glyph_matrix;
        return a.font == b.font && a.wmode == b.wmode && a.fill == b.fill && a.stroke == b.stroke &&
               a.fill_rgb == b.fill_rgb && a.stroke_rgb == b.stroke_rgb && a.fill_alpha == b.fill_alpha &&
               a.stroke_alpha == b.stroke_alpha && a.line_width == b.line_width && near(m.a, n.a) &&
               near(m.b, n.b) && near(m.c, n.c) && near(m.d, n.d);
    }

    void add_text(const foli_draw_item& item) {
        const fz_matrix& m = item.glyph_matrix;
        double size = std::hypot(m.c, m.d);
        double det = static_cast<double>(m.a) * m.d - static_cast<double>(m.b) * m.c;
        if (!(size > 1e-3) || !(std::fabs(det) > 1e-9) || !std::isfinite(det)) {
            flush_text();
            return;
        }
        if (text_item_ == nullptr || !same_text_style(*text_item_, item)) {
            flush_text();
            text_item_ = &item;
            text_font_ = &resources_.font(drawing_.font(item.font));
            text_size_ = size;
            text_det_ = det;
        }
        const foli_draw_glyph* glyphs = drawing_.glyphs(item);
        for (int i = 0; i < item.glyph_count; ++i) {
            const foli_draw_glyph& glyph = glyphs[i];
            if (glyph.gid < 0) {
                // The further characters of a ligature.
                if (!run_.empty()) run_.back().chars.push_back(text_character(glyph.ucs));
                continue;
            }
            if (!std::isfinite(glyph.x) || !std::isfinite(glyph.y) || off_page(glyph, size)) {
                emit_text(*text_item_, *text_font_, text_size_, run_);
                continue;
            }
            if (!run_.empty() && starts_new_run(*text_item_, text_det_, run_.back(), glyph))
                emit_text(*text_item_, *text_font_, text_size_, run_);
            run_.push_back({{text_character(glyph.ucs)}, glyph.gid, glyph.x, glyph.y, glyph.advance});
        }
    }

    void flush_text() {
        if (text_item_ != nullptr) emit_text(*text_item_, *text_font_, text_size_, run_);
        text_item_ = nullptr;
    }

    bool off_page(const foli_draw_glyph& glyph, double size) const {
        double reach = millimetres(size);
        double x = x_mm(glyph.x), y = y_mm(glyph.y);
        return x < page_box_.x0 - reach || y < page_box_.y0 - reach || x > page_box_.x1 + reach ||
               y > page_box_.y1 + reach;
    }

    // Whether `next` does not continue the run where `last` ends.
    static bool starts_new_run(const foli_draw_item& item, double det, const Code& last, const foli_draw_glyph& next) {
        const fz_matrix& m = item.glyph_matrix;
        double ax = item.wmode ? 0.0 : last.advance, ay = item.wmode ? -last.advance : 0.0;
        double dx = next.x - (last.x + m.a * ax + m.c * ay);
        double dy = next.y - (last.y + m.b * ax + m.d * ay);
        // The step in ems: the inverse of the glyph matrix applied to it.
        double u = (m.d * dx - m.c * dy) / det;
        double v = (-m.b * dx + m.a * dy) / det;
        double along = item.wmode ? -v : u, across = item.wmode ? u : v;
        return along > kRunGap || along < -kRunStepBack || std::fabs(across) > kRunBaselineShift;
    }

    void emit_text(const foli_draw_item& item, FontResource& font, double size, std::vector<Code>& run) {
        // Spaces at either end draw nothing, and a reader may strip them.
        size_t first = 0, last = run.size();
        auto blank = [](const Code& code) {
            return std::all_of(code.chars.begin(), code.chars.end(), is_white);
        };
        while (first < last && blank(run[first])) ++first;
        while (last > first && blank(run[last - 1])) --last;
        for (size_t i = first; i < last; ++i)
            if (char32_t ligature = run[i].chars.size() > 1 ? ligature_character(run[i].chars) : 0)
                run[i].chars.assign(1, ligature);
        // With glyph ids, a glyph standing for several characters gets an
        // object of its own: one CGTransform per object is what readers
        // handle best.
        size_t start = first;
        for (size_t i = first; i < last && font.has_file; ++i) {
            if (run[i].chars.size() == 1) continue;
            if (i > start) write_text_object(item, font, size, run.data() + start, i - start);
            write_text_object(item, font, size, run.data() + i, 1);
            start = i + 1;
        }
        if (start < last) write_text_object(item, font, size, run.data() + start, last - start);
        run.clear();
    }

    // Text takes one clip: readers of text objects handle no more. Clips
    // that are all rectangles meet in one; otherwise the tightest stays.
    static std::vector<const ClipShape*> one_clip(const std::vector<const ClipShape*>& clips, ClipShape& merged) {
        if (clips.size() <= 1) return clips;
        bool rectangles = std::all_of(clips.begin(), clips.end(), [](const ClipShape* c) { return c->rectangle; });
        if (rectangles) {
            Box meet = clips[0]->box;
            for (const ClipShape* clip : clips) {
                meet.x0 = std::max(meet.x0, clip->box.x0);
                meet.y0 = std::max(meet.y0, clip->box.y0);
                meet.x1 = std::min(meet.x1, clip->box.x1);
                meet.y1 = std::min(meet.y1, clip->box.y1);
            }
            merged = ClipShape();
            merged.ops = {FOLI_PATH_MOVE, FOLI_PATH_LINE, FOLI_PATH_LINE, FOLI_PATH_LINE, FOLI_PATH_CLOSE};
            merged.coords = {meet.x0, meet.y0, meet.x1, meet.y0, meet.x1, meet.y1, meet.x0, meet.y1};
            merged.box = meet;
            merged.rectangle = true;
            return {&merged};
        }
        const ClipShape* tightest = clips[0];
        for (const ClipShape* clip : clips)
            if (clip->box.width() * clip->box.height() < tightest->box.width() * tightest->box.height()) tightest = clip;
        return {tightest};
    }

    void write_text_object(const foli_draw_item& item, FontResource& font, double size, const Code* codes,
                           size_t count) {
        const fz_matrix& m = item.glyph_matrix;
        // The glyph matrix in OFD's terms: Size times a y-down linear map.
        double la = m.a / size, lb = m.b / size, lc = -m.c / size, ld = -m.d / size;
        bool upright = std::fabs(la - 1) < 1e-3 && std::fabs(ld - 1) < 1e-3 && std::fabs(lb) < 1e-3 &&
                       std::fabs(lc) < 1e-3;

        Box box;
        for (size_t i = 0; i < count; ++i) {
            const Code& code = codes[i];
            double advance = std::max(code.advance, 0.3f);
            // Horizontal glyphs stand on their origin; vertical ones hang
            // from it, centred.
            double u_range[2] = {0.0, advance}, v_range[2] = {kEmBottom, kEmTop};
            if (item.wmode) {
                u_range[0] = -0.6, u_range[1] = 0.6;
                v_range[0] = -advance - 0.1, v_range[1] = 0.2;
            }
            for (double u : u_range)
                for (double v : v_range) box.add(x_mm(code.x + m.a * u + m.c * v), y_mm(code.y + m.b * u + m.d * v));
        }
        if (!box.usable()) return;
        box.grow(0.2 + (item.stroke ? millimetres(item.line_width) : 0));
        std::vector<const ClipShape*> clips;
        bool shown = (item.fill || item.stroke) && !options_.invisible_text;
        if (!clips_for(box, clips)) {
            shown = false;
            clips.clear();
        }
        if (!shown) clips.clear();
        ClipShape merged;
        clips = one_clip(clips, merged);

        // Positions in the object's own space: relative to the boundary,
        // and through the inverse of the CTM where there is one.
        double det = la * ld - lb * lc;
        double first_x = x_mm(codes[0].x), first_y = y_mm(codes[0].y);
        auto position = [&](const Code& code) {
            double px = x_mm(code.x), py = y_mm(code.y);
            if (upright) return std::pair<double, double>(px - box.x0, py - box.y0);
            double dx = px - first_x, dy = py - first_y;
            return std::pair<double, double>((ld * dx - lc * dy) / det, (-lb * dx + la * dy) / det);
        };

        std::string text;
        std::vector<double> delta_x, delta_y;
        bool any_delta_y = false;
        std::pair<double, double> previous = position(codes[0]);
        for (size_t i = 0; i < count; ++i) {
            std::pair<double, double> here = position(codes[i]);
            for (size_t c = 0; c < codes[i].chars.size(); ++c) {
                append_utf8(text, codes[i].chars[c]);
                if (i == 0 && c == 0) continue;
                delta_x.push_back(here.first - previous.first);
                double dy = here.second - previous.second;
                delta_y.push_back(dy);
                any_delta_y |= std::fabs(dy) >= 0.0005;
                previous = here;
            }
            if (font.has_file) font.used.emplace(codes[i].gid, codes[i].chars[0]);
        }

        // A copy drawn over text already written adds nothing to read.
        std::array<double, 3> start_at{x_mm(codes[0].x), y_mm(codes[0].y), millimetres(size)};
        std::vector<std::array<double, 3>>& copies = written_text_[{font.id, text}];
        for (const auto& other : copies)
            if (std::fabs(other[2] - start_at[2]) < 0.01 * start_at[2] && std::fabs(other[0] - start_at[0]) < 0.3 * start_at[2] &&
                std::fabs(other[1] - start_at[1]) < 0.3 * start_at[2])
                return;
        copies.push_back(start_at);

        open_object("TextObject", box);
        append_id_attribute(out_, "Font", font.id);
        append_number_attribute(out_, "Size", millimetres(size));
        if (!upright) {
            out_ += " CTM=\"";
            for (double value : {la, lb, lc, ld, first_x - box.x0, first_y - box.y0}) {
                append_number(out_, value);
                out_ += ' ';
            }
            out_.back() = '"';
        }
        if (!shown) {
            out_ += " Fill=\"false\"";
        } else {
            if (!item.fill) out_ += " Fill=\"false\"";
            if (item.stroke) {
                out_ += " Stroke=\"true\"";
                append_number_attribute(out_, "LineWidth", millimetres(item.line_width));
            }
        }
        out_ += '>';
        append_clips(clips, box);
        if (shown && item.fill && (item.fill_rgb != 0 || item.fill_alpha < 1))
            append_color(out_, "FillColor", item.fill_rgb, item.fill_alpha);
        if (shown && item.stroke && (item.stroke_rgb != 0 || item.stroke_alpha < 1))
            append_color(out_, "StrokeColor", item.stroke_rgb, item.stroke_alpha);
        if (font.has_file) append_glyph_ids(codes, count);
        std::pair<double, double> start = position(codes[0]);
        out_ += "<ofd:TextCode";
        append_number_attribute(out_, "X", start.first);
        append_number_attribute(out_, "Y", start.second);
        if (!delta_x.empty()) append_attribute(out_, "DeltaX", delta_list(delta_x));
        if (any_delta_y) append_attribute(out_, "DeltaY", delta_list(delta_y));
        out_ += '>';
        append_text(out_, text);
        out_ += "</ofd:TextCode></ofd:TextObject>";
    }

    // CGTransform: runs of one glyph per character, and each glyph that
    // stands for several characters (a ligature) on its own.
    void append_glyph_ids(const Code* codes, size_t count) {
        size_t position = 0, run_start = 0;
        std::string run_glyphs;
        size_t run_length = 0;
        auto flush = [&] {
            if (run_length == 0) return;
            out_ += "<ofd:CGTransform CodePosition=\"" + std::to_string(run_start) + "\" CodeCount=\"" +
                    std::to_string(run_length) + "\" GlyphCount=\"" + std::to_string(run_length) +
                    "\"><ofd:Glyphs>" + run_glyphs + "</ofd:Glyphs></ofd:CGTransform>";
            run_glyphs.clear();
            run_length = 0;
        };
        for (size_t i = 0; i < count; ++i) {
            const Code& code = codes[i];
            if (code.chars.size() == 1) {
                if (run_length == 0) run_start = position;
                if (!run_glyphs.empty()) run_glyphs += ' ';
                run_glyphs += std::to_string(code.gid);
                ++run_length;
            } else {
                flush();
                out_ += "<ofd:CGTransform CodePosition=\"" + std::to_string(position) + "\" CodeCount=\"" +
                        std::to_string(code.chars.size()) + "\" GlyphCount=\"1\"><ofd:Glyphs>" +
                        std::to_string(code.gid) + "</ofd:Glyphs></ofd:CGTransform>";
            }
            position += code.chars.size();
        }
        flush();
    }

    // ----------------------------------------------------------- images

    void write_image_object(uint32_t resource, const fz_matrix& matrix, const fz_rect& area, float alpha) {
        Box box;
        box.add(x_mm(area.x0), y_mm(area.y0));
        box.add(x_mm(area.x1), y_mm(area.y1));
        if (!box.usable() || resource == 0) return;
        std::vector<const ClipShape*> clips;
        if (!clips_for(box, clips)) return;
        open_object("ImageObject", box);
        out_ += " CTM=\"";
        double k = kMillimetresPerPoint;
        for (double value : {matrix.a * k, matrix.b * k, matrix.c * k, matrix.d * k, x_mm(matrix.e) - box.x0,
                             y_mm(matrix.f) - box.y0}) {
            append_number(out_, value);
            out_ += ' ';
        }
        out_.back() = '"';
        append_id_attribute(out_, "ResourceID", resource);
        if (alpha < 1) append_id_attribute(out_, "Alpha", static_cast<uint32_t>(std::lround(std::fmax(alpha, 0.0f) * 255)));
        if (clips.empty()) {
            out_ += "/>";
            return;
        }
        out_ += '>';
        append_clips(clips, box);
        out_ += "</ofd:ImageObject>";
    }

    void add_image(const foli_draw_item& item) {
        if (item.pixmap == nullptr && !options_.images) return;
        if (fz_is_empty_rect(item.area)) return;
        if (options_.drop_scan_image && covers_page(item.area)) return;
        std::vector<const ClipShape*> clips;
        Box box;
        box.add(x_mm(item.area.x0), y_mm(item.area.y0));
        box.add(x_mm(item.area.x1), y_mm(item.area.y1));
        if (!box.usable() || !clips_for(box, clips)) return;  // hidden: not worth decoding
        write_image_object(resources_.image(item, page_.index() + 1), item.image_matrix, item.area, item.alpha);
    }

    void add_raster(const foli_draw_item& item) {
        fz_rect area = fz_intersect_rect(item.area, fz_make_rect(page_.bounds().x0, page_.bounds().y0,
                                                                 page_.bounds().x1, page_.bounds().y1));
        if (fz_is_empty_rect(area)) return;
        float zoom = kRasterDpi / 72;
        double pixels = static_cast<double>(area.x1 - area.x0) * (area.y1 - area.y0) * zoom * zoom;
        if (pixels > kMaxRasterPixels) zoom *= static_cast<float>(std::sqrt(kMaxRasterPixels / pixels));
        fz_pixmap* pixmap = nullptr;
        foli_mu_status status = foli_mu_render_region(drawing_.ctx(), page_.get(), area, zoom, &pixmap);
        PixmapHandle owner(drawing_.ctx(), pixmap);
        if (status == FOLI_MU_MEMORY) fail(FOLI_ERR_OUT_OF_MEMORY, "out of memory rendering a page region");
        if (status != FOLI_MU_OK || pixmap == nullptr) return;
        // The rendering covers whole pixels: place it where they fall.
        fz_rect covered = fz_make_rect(pixmap->x / zoom, pixmap->y / zoom, (pixmap->x + pixmap->w) / zoom,
                                       (pixmap->y + pixmap->h) / zoom);
        fz_matrix matrix = fz_make_matrix(covered.x1 - covered.x0, 0, 0, covered.y1 - covered.y0, covered.x0, covered.y0);
        write_image_object(resources_.pixels(pixmap, zoom * 72), matrix, covered, 1);
    }

    bool covers_page(const fz_rect& area) const {
        const Rect& page = page_.bounds();
        fz_rect inside = fz_intersect_rect(area, fz_make_rect(page.x0, page.y0, page.x1, page.y1));
        if (fz_is_empty_rect(inside)) return false;
        double covered = static_cast<double>(inside.x1 - inside.x0) * (inside.y1 - inside.y0);
        return covered >= kScanImageShare * page.width() * page.height();
    }

    // ------------------------------------------------- recognised text

    void add_recognised(const ocr::OcrPage& read) {
        // Frame pixels to page millimetres. Its linear part is a turn (the
        // page read upright, deskewed) times one scale: objects take the
        // turn as their CTM and measure in millimetres.
        ocr::Affine to_mm = read.frame_to_page.then(
            {kMillimetresPerPoint, 0, 0, kMillimetresPerPoint, -origin_x_ * kMillimetresPerPoint,
             -origin_y_ * kMillimetresPerPoint});
        double scale = std::sqrt(std::fabs(to_mm.a * to_mm.d - to_mm.b * to_mm.c));
        if (!(scale > 0) || !std::isfinite(scale)) return;
        bool shown = options_.drop_scan_image && !options_.invisible_text;
        for (const ocr::OcrBlock& block : read.blocks)
            for (const ocr::OcrLine& line : block.lines)
                for (size_t i = 0; i < line.words.size(); ++i) {
                    const ocr::OcrWord& word = line.words[i];
                    // Words written together reach to the next one, so that
                    // readers put no space between them.
                    double width = word.box.width();
                    if (i + 1 < line.words.size() && ocr::written_together(word.text, line.words[i + 1].text))
                        width = std::max<double>(width, line.words[i + 1].box.x0 - word.box.x0);
                    write_recognised_word(word.text, word.box.x0, width, line.box, to_mm, scale, shown);
                }
    }

    void write_recognised_word(const std::string& text, double x0, double width, const Rect& line,
                               const ocr::Affine& to_mm, double scale, bool shown) {
        std::vector<char32_t> chars;
        for (size_t pos = 0; pos < text.size();) chars.push_back(next_code_point(text, pos));
        double height = line.height();
        if (chars.empty() || !(width > 0) || !(height > 0)) return;
        double baseline = line.y1 - kRecognisedDescent * height;

        Box box;
        for (double x : {x0, x0 + width})
            for (double y : {static_cast<double>(line.y0), static_cast<double>(line.y1)}) box.add(to_mm.x(x, y), to_mm.y(x, y));
        if (!box.usable()) return;
        box.grow(0.2);
        double la = to_mm.a / scale, lb = to_mm.b / scale, lc = to_mm.c / scale, ld = to_mm.d / scale;
        bool upright = std::fabs(la - 1) < 1e-3 && std::fabs(ld - 1) < 1e-3 && std::fabs(lb) < 1e-3 &&
                       std::fabs(lc) < 1e-3;
        double origin_x = to_mm.x(x0, baseline) - box.x0, origin_y = to_mm.y(x0, baseline) - box.y0;

        bool cjk = std::any_of(chars.begin(), chars.end(), is_cjk_code_point);
        FontResource& font = resources_.named_font(cjk ? "SimSun" : "Arial");
        open_object("TextObject", box);
        append_id_attribute(out_, "Font", font.id);
        append_number_attribute(out_, "Size", height * scale);
        if (!upright) {
            out_ += " CTM=\"";
            for (double value : {la, lb, lc, ld, origin_x, origin_y}) {
                append_number(out_, value);
                out_ += ' ';
            }
            out_.back() = '"';
        }
        if (!shown) out_ += " Fill=\"false\"";
        out_ += "><ofd:TextCode";
        append_number_attribute(out_, "X", upright ? origin_x : 0);
        append_number_attribute(out_, "Y", upright ? origin_y : 0);
        if (chars.size() > 1)
            append_attribute(out_, "DeltaX", delta_list(std::vector<double>(chars.size() - 1, width * scale / chars.size())));
        out_ += '>';
        std::string utf8;
        for (char32_t c : chars) append_utf8(utf8, c);
        append_text(out_, utf8);
        out_ += "</ofd:TextCode></ofd:TextObject>";
    }

    // ------------------------------------------------------------ links

    void add_links(const std::vector<PageLink>& links) {
        bool open = false;
        for (const PageLink& link : links) {
            if (link.uri.empty() && link.target_page == 0) continue;
            Box box;
            box.add(x_mm(link.box.x0), y_mm(link.box.y0));
            box.add(x_mm(link.box.x1), y_mm(link.box.y1));
            if (!box.usable()) continue;
            if (!open) out_ += "<ofd:Actions>";
            open = true;
            out_ += "<ofd:Action Event=\"CLICK\"><ofd:Region><ofd:Area Start=\"";
            append_number(out_, box.x0);
            out_ += ' ';
            append_number(out_, box.y0);
            out_ += "\">";
            for (std::pair<double, double> corner : {std::pair{box.x1, box.y0}, {box.x1, box.y1}, {box.x0, box.y1}}) {
                out_ += "<ofd:Line Point1=\"";
                append_number(out_, corner.first);
                out_ += ' ';
                append_number(out_, corner.second);
                out_ += "\"/>";
            }
            out_ += "<ofd:Close/></ofd:Area></ofd:Region>";
            if (link.target_page != 0) {
                out_ += "<ofd:Goto><ofd:Dest Type=\"Fit\"";
                append_id_attribute(out_, "PageID", link.target_page);
                out_ += "/></ofd:Goto>";
            } else {
                out_ += "<ofd:URI";
                append_attribute(out_, "URI", link.uri);
                out_ += "/>";
            }
            out_ += "</ofd:Action>";
        }
        if (open) out_ += "</ofd:Actions>";
    }

    const Page& page_;
    const PageDrawing& drawing_;
    Resources& resources_;
    UnitIds& ids_;
    const PageOptions& options_;
    double origin_x_ = 0, origin_y_ = 0;
    Box page_box_;
    std::vector<ClipShape> clips_;
    std::string out_;

    // The text run being gathered, and the style it is drawn in.
    const foli_draw_item* text_item_ = nullptr;
    FontResource* text_font_ = nullptr;
    double text_size_ = 0, text_det_ = 0;
    std::vector<Code> run_;

    // Text already written, by font and text: where it starts (mm) and its
    // size, to leave out copies drawn over it (fake bold, shadows).
    std::map<std::pair<uint32_t, std::string>, std::vector<std::array<double, 3>>> written_text_;
};

}  // namespace

std::string page_content(const Page& page, const PageDrawing& drawing, Resources& resources, UnitIds& ids,
                         const PageOptions& options, const std::vector<PageLink>& links,
                         const ocr::OcrPage* recognised) {
    return PageBuilder(page, drawing, resources, ids, options).build(links, recognised);
}

}  // namespace foli::ofd
