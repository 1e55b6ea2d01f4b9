#include "ocr/page_merge.h"

#include <algorithm>
#include <cmath>

#include "analysis/utf8.h"

namespace foli::ocr {
namespace {

// Images covering this share of the page make it a scan, if it has no
// more than kScanTextChars characters of its own (a scanner's page number
// or stamp, say).
constexpr float kScanCoverage = 0.5f;
constexpr int kScanTextChars = 40;
// An image covering this share of the page is the page's scan picture.
constexpr float kPageImageShare = 0.8f;
// A recognised word this much covered by a span (of the smaller of the
// two areas) is that span's text.
constexpr float kOverlapShare = 0.3f;
// Line heights to font sizes: a line box reaches from the ascender to the
// descender, a little less than the font's size.
constexpr float kLineHeightPerSize = 0.93f;


struct TextCount {
    int valid = 0;
    int invalid = 0;
};

TextCount count_text(const std::string& text) {
    TextCount count;
    for (size_t pos = 0; pos < text.size();) {
        char32_t c = next_code_point(text, pos);
        if (is_invalid_character(c))
            ++count.invalid;
        else if (!is_space_code_point(c))
            ++count.valid;
    }
    return count;
}

float covered_share(const PageModel& page) {
    Rect whole{0, 0, page.width, page.height};
    if (whole.area() <= 0) return 0;
    float covered = 0;
    for (const ImageItem& image : page.images) covered += image.box.intersected(whole).area();
    return std::min(1.0f, covered / whole.area());
}

float overlap_share(const Rect& a, const Rect& b) {
    float smaller = std::min(a.area(), b.area());
    if (smaller <= 0) return 0;
    return a.intersected(b).area() / smaller;
}

Rect padded(const Rect& box, float by) { return {box.x0 - by, box.y0 - by, box.x1 + by, box.y1 + by}; }

struct NativeSpan {
    Rect box;
    bool invalid;
};

std::vector<NativeSpan> native_spans(const PageModel& page) {
    std::vector<NativeSpan> spans;
    for (const TextBlock& block : page.text_blocks)
        for (const Line& line : block.lines)
            for (const Span& span : line.spans) {
                TextCount count = count_text(span.text);
                if (count.valid + count.invalid > 0) spans.push_back({span.box, count.invalid > 0});
            }
    return spans;
}

enum class WordFate { Drop, Replaces, Adds };

WordFate fate_of(const Rect& word, const std::vector<NativeSpan>& spans, Reading reading) {
    bool over_invalid = false;
    for (const NativeSpan& span : spans) {
        if (overlap_share(word, span.box) < kOverlapShare) continue;
        if (!span.invalid) return WordFate::Drop;
        over_invalid = true;
    }
    if (over_invalid) return WordFate::Replaces;
    return reading == Reading::Page ? WordFate::Adds : WordFate::Drop;
}

void remove_invalid_spans(PageModel& page) {
    for (TextBlock& block : page.text_blocks) {
        for (Line& line : block.lines) {
            auto& spans = line.spans;
            spans.erase(std::remove_if(spans.begin(), spans.end(),
                                       [](const Span& span) { return count_text(span.text).invalid > 0; }),
                        spans.end());
            line.box = {};
            for (const Span& span : spans) line.box = line.box.united(span.box);
        }
        auto& lines = block.lines;
        lines.erase(std::remove_if(lines.begin(), lines.end(), [](const Line& l) { return l.spans.empty(); }),
                    lines.end());
    }
    auto& blocks = page.text_blocks;
    blocks.erase(std::remove_if(blocks.begin(), blocks.end(), [](const TextBlock& b) { return b.lines.empty(); }),
                 blocks.end());
}

Line model_line(const OcrLine& line, const OcrPage& read) {
    Line out;
    out.box = read.frame_to_page.map(line.box);
    out.horizontal = read.rotation % 180 == 0;
    float size = line.box.height() / read.pixels_per_point / kLineHeightPerSize;
    for (size_t i = 0; i < line.words.size(); ++i) {
        const OcrWord& word = line.words[i];
        Span span;
        span.text = word.text;
        if (i + 1 < line.words.size() && !written_together(word.text, line.words[i + 1].text)) span.text += ' ';
        span.size = std::round(size * 2) / 2;  // half points: OCR cannot measure finer
        span.box = read.frame_to_page.map(word.box);
        out.spans.push_back(std::move(span));
    }
    return out;
}

bool is_scan_image(const ImageItem& image, const PageModel& page) {
    Rect whole{0, 0, page.width, page.height};
    return whole.area() > 0 && image.box.intersected(whole).area() >= kPageImageShare * whole.area();
}

}  // namespace

bool written_together(const std::string& before, const std::string& after) {
    // Ideographs and kana are written without spaces (hangul is not).
    auto joins = [](char32_t c) { return is_cjk_code_point(c) && !(c >= 0xAC00 && c <= 0xD7AF); };
    size_t pos = 0;
    return !before.empty() && !after.empty() && joins(last_code_point(before)) && joins(next_code_point(after, pos));
}

bool is_invalid_character(char32_t c) {
    if (c == 0xFFFD) return true;
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return true;
    if (c >= 0x7F && c <= 0x9F) return true;
    if ((c >= 0xE000 && c <= 0xF8FF) || (c >= 0xF0000 && c <= 0x10FFFF)) return true;  // private use
    if ((c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE) return true;           // non-characters
    return false;
}

PageNeed decide_reading(const PageModel& page, OCROption option) {
    PageNeed need;
    TextCount total;
    for (const NativeSpan& span : native_spans(page))
        if (span.invalid) need.regions.push_back(padded(span.box, 0.25f * span.box.height()));
    for (const TextBlock& block : page.text_blocks)
        for (const Line& line : block.lines) {
            TextCount count = count_text(line.text());
            total.valid += count.valid;
            total.invalid += count.invalid;
        }
    need.scan = covered_share(page) >= kScanCoverage && total.valid <= kScanTextChars;
    bool scans = option == OCROption::SCAN_PAGE || option == OCROption::INVALID_CHARACTER_AND_SCAN_PAGE;
    bool invalid = option == OCROption::INVALID_CHARACTER || option == OCROption::INVALID_CHARACTER_AND_SCAN_PAGE;
    if (option == OCROption::ALL || (scans && need.scan))
        need.reading = Reading::Page;
    else if (invalid && !need.regions.empty())
        need.reading = Reading::Regions;
    return need;
}

MergeResult merge_recognised(PageModel& page, OcrPage& read, const PageNeed& need, bool keep_scan_image) {
    MergeResult result;
    std::vector<NativeSpan> spans = native_spans(page);
    for (OcrBlock& block : read.blocks) {
        for (OcrLine& line : block.lines) {
            auto& words = line.words;
            words.erase(std::remove_if(words.begin(), words.end(),
                                       [&](const OcrWord& word) {
                                           Rect box = read.frame_to_page.map(word.box);
                                           return fate_of(box, spans, need.reading) == WordFate::Drop;
                                       }),
                        words.end());
            result.words_added += static_cast<int>(words.size());
        }
        auto& lines = block.lines;
        lines.erase(std::remove_if(lines.begin(), lines.end(), [](const OcrLine& l) { return l.words.empty(); }),
                    lines.end());
    }
    auto& blocks = read.blocks;
    blocks.erase(std::remove_if(blocks.begin(), blocks.end(), [](const OcrBlock& b) { return b.lines.empty(); }),
                 blocks.end());

    remove_invalid_spans(page);
    result.only_recognised_text = page.text_blocks.empty() && !read.blocks.empty();
    for (const OcrBlock& block : read.blocks) {
        TextBlock text;
        for (const OcrLine& line : block.lines) {
            text.lines.push_back(model_line(line, read));
            text.box = text.box.united(text.lines.back().box);
        }
        page.text_blocks.push_back(std::move(text));
    }
    if (need.scan && !keep_scan_image) {
        auto& images = page.images;
        images.erase(std::remove_if(images.begin(), images.end(),
                                    [&](const ImageItem& image) { return is_scan_image(image, page); }),
                     images.end());
    }
    return result;
}

}  // namespace foli::ocr
