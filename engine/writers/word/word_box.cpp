// BOX: each page as it looks. The page's graphics (vector art, shading,
// pictures) are rendered once, without the text, into a picture behind
// the page; every text line sits on it in a frame at the line's place, so
// the text stays real text that can be searched and edited.
#include <algorithm>
#include <cmath>

#include "core/log.h"
#include "writers/image_codecs.h"
#include "writers/image_export.h"
#include "writers/office/units.h"
#include "writers/word/word_pages.h"

namespace foli::word {
namespace {

using office::emu;
using office::twips;

// 150 dpi: sharp enough for rules and shading behind text, small enough
// for long documents.
constexpr float kBackgroundZoom = 150.0f / 72.0f;
// A huge page is rendered at a lower resolution instead of past this.
constexpr double kMaxBackgroundPixels = 16.0 * 1024 * 1024;
constexpr int kJpegQuality = 85;
// Frames are made wider than the line by this share, so that a substitute
// font a little wider than the PDF's does not wrap the line.
constexpr float kFrameSlack = 0.15f;

bool all_white(const fz_pixmap* pixmap) {
    for (int y = 0; y < pixmap->h; ++y) {
        const unsigned char* row = pixmap->samples + static_cast<ptrdiff_t>(y) * pixmap->stride;
        for (int x = 0; x < pixmap->w * pixmap->n; ++x)
            if (row[x] != 0xFF) return false;
    }
    return true;
}

int append_bytes(void* user, const void* data, size_t size) noexcept {
    try {
        static_cast<std::string*>(user)->append(static_cast<const char*>(data), size);
        return 1;
    } catch (...) {
        return 0;
    }
}

std::string encode_jpeg(const fz_pixmap* pixmap, float dpi) {
    foli_raster raster{pixmap->w, pixmap->h, pixmap->n, pixmap->stride, pixmap->samples, 0, dpi};
    std::string jpeg;
    foli_codec_sink sink{append_bytes, &jpeg};
    if (foli_encode_jpeg(&raster, kJpegQuality, &sink) != FOLI_CODEC_OK) return {};
    return jpeg;
}

// The lines of the page in the order of the analysed blocks; each line
// once, list markers included (they are lines of the page model).
std::vector<const Line*> page_lines(const PageModel& page) {
    std::vector<const Line*> lines;
    for (const TextBlock& block : page.text_blocks)
        for (const Line& line : block.lines)
            if (line.text().find_first_not_of(" \t") != std::string::npos) lines.push_back(&line);
    return lines;
}

}  // namespace

float box_scale(const PageModel& page) {
    float largest = std::max(page.width, page.height);
    if (!std::isfinite(largest) || largest <= office::kMaxPagePoints) return 1.0f;
    return office::kMaxPagePoints / largest;
}

std::string page_background_picture(WordPackage& package, const std::string& relationship, float width,
                                    float height) {
    int id = package.next_drawing_id();
    std::string cx = std::to_string(emu(width)), cy = std::to_string(emu(height));
    std::string name = "Page " + std::to_string(id);
    return "<w:r><w:drawing><wp:anchor distT=\"0\" distB=\"0\" distL=\"0\" distR=\"0\" simplePos=\"0\" "
           "relativeHeight=\"0\" behindDoc=\"1\" locked=\"1\" layoutInCell=\"1\" allowOverlap=\"1\">"
           "<wp:simplePos x=\"0\" y=\"0\"/><wp:positionH relativeFrom=\"page\"><wp:posOffset>0</wp:posOffset>"
           "</wp:positionH><wp:positionV relativeFrom=\"page\"><wp:posOffset>0</wp:posOffset></wp:positionV>"
           "<wp:extent cx=\"" + cx + "\" cy=\"" + cy +
           "\"/><wp:effectExtent l=\"0\" t=\"0\" r=\"0\" b=\"0\"/><wp:wrapNone/><wp:docPr id=\"" +
           std::to_string(id) + "\" name=\"" + name +
           "\"/><wp:cNvGraphicFramePr/><a:graphic><a:graphicData "
           "uri=\"http://schemas.openxmlformats.org/drawingml/2006/picture\"><pic:pic><pic:nvPicPr><pic:cNvPr id=\"" +
           std::to_string(id) + "\" name=\"" + name + "\"/><pic:cNvPicPr/></pic:nvPicPr><pic:blipFill><a:blip r:embed=\"" +
           relationship + "\"/><a:stretch><a:fillRect/></a:stretch></pic:blipFill><pic:spPr><a:xfrm><a:off x=\"0\" "
           "y=\"0\"/><a:ext cx=\"" + cx + "\" cy=\"" + cy +
           "\"/></a:xfrm><a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></pic:spPr></pic:pic></a:graphicData>"
           "</a:graphic></wp:anchor></w:drawing></w:r>";
}

BoxWriter::BoxWriter(WordPackage& package, RunWriter& runs, const Options& options)
    : package_(package), runs_(runs), options_(options) {}

// The page's graphics as a picture, or "" for a page with none.
std::string BoxWriter::background(PageSource& source) {
    fz_context* ctx = source.document().ctx();
    fz_pixmap* pixmap = nullptr;
    const Rect& bounds = source.page().bounds();
    double area = std::max(1.0, static_cast<double>(bounds.width()) * bounds.height());
    float zoom = static_cast<float>(std::min<double>(kBackgroundZoom, std::sqrt(kMaxBackgroundPixels / area)));
    foli_mu_status status = foli_mu_render_page_graphics(ctx, source.page().get(), zoom,
                                                         options_.contain_image, options_.contain_annotation, &pixmap);
    if (status != FOLI_MU_OK) {
        log_warning("page %d: its graphics cannot be rendered and are left out", source.number());
        return {};
    }
    PixmapHandle owner(ctx, pixmap);
    if (pixmap == nullptr || all_white(pixmap)) return {};
    // Photographs compress better as JPEG, line art as PNG.
    bool photographic = options_.contain_image && !source.layout().page.images.empty();
    float dpi = 72.0f * zoom;
    std::string data = photographic ? encode_jpeg(pixmap, dpi) : ImageExporter::encode_pixmap_png(pixmap, dpi);
    if (data.empty()) return {};
    return package_.add_image(data, photographic ? "jpg" : "png");
}

void BoxWriter::write_page(std::string& out, PageSource& source, bool break_before) {
    const PageLayout& layout = source.layout();
    const PageModel& page = layout.page;

    // The page's first paragraph: the break, the bookmark and the picture
    // behind the page. It takes almost no room; the frames are placed on
    // the page wherever this paragraph is.
    out += "<w:p><w:pPr>";
    if (break_before) out += "<w:pageBreakBefore/>";
    out += "<w:spacing w:before=\"0\" w:after=\"0\" w:line=\"20\" w:lineRule=\"exact\"/></w:pPr>";
    out += page_bookmark_xml(package_, source.number());
    float scale = box_scale(page);
    std::string picture = background(source);
    if (!picture.empty()) out += page_background_picture(package_, picture, page.width * scale, page.height * scale);
    out += "</w:p>";

    std::vector<const Line*> lines = page_lines(page);
    std::vector<Rect> boxes;
    for (const Line* line : lines) boxes.push_back(line->box);
    std::vector<std::vector<int>> comments;
    if (options_.contain_annotation) comments = page_comments(package_, source, boxes);

    for (size_t index = 0; index < lines.size(); ++index) {
        const Line* line = lines[index];
        std::vector<office::StyledRun> runs = office::line_runs(*line);
        if (runs.empty()) continue;
        const std::vector<int> no_comments;
        const std::vector<int>& line_comments = index < comments.size() ? comments[index] : no_comments;
        const Rect box{line->box.x0 * scale, line->box.y0 * scale, line->box.x1 * scale, line->box.y1 * scale};
        bool rtl = RunWriter::mostly_right_to_left(runs);
        float slack = box.width() * kFrameSlack + 6.0f * scale;
        float x = rtl ? std::max(0.0f, box.x0 - slack) : box.x0;
        float width = std::min(box.width() + slack, std::max(page.width * scale - x, box.width()));
        float height = std::max(box.height(), 1.0f);
        std::string h = std::to_string(std::max(1L, twips(height)));
        out += "<w:p><w:pPr><w:framePr w:w=\"" + std::to_string(std::max(1L, twips(width))) + "\" w:h=\"" + h +
               "\" w:hRule=\"exact\" w:wrap=\"around\" w:hAnchor=\"page\" w:vAnchor=\"page\" w:x=\"" +
               std::to_string(twips(x)) + "\" w:y=\"" + std::to_string(twips(box.y0)) + "\"/>";
        if (rtl) out += "<w:bidi/>";
        out += "<w:spacing w:before=\"0\" w:after=\"0\" w:line=\"" + h + "\" w:lineRule=\"exact\"/>";
        if (rtl) out += "<w:jc w:val=\"right\"/>";
        out += "</w:pPr>";
        out += comment_starts(line_comments);
        RunWriter::Options options;
        options.in_frame = true;
        options.scale = scale;
        runs_.append(out, runs, page, options);
        out += comment_ends(line_comments);
        out += "</w:p>";
    }
    // Readers that turn framed paragraphs into frames anchor them to the
    // paragraph that follows: this one keeps them on their page.
    out += "<w:p><w:pPr><w:spacing w:before=\"0\" w:after=\"0\" w:line=\"20\" w:lineRule=\"exact\"/></w:pPr>";
    if (!comments.empty()) out += comment_starts(comments.back()) + comment_ends(comments.back());
    out += "</w:p>";
}

}  // namespace foli::word
