// What recognition found on one page, in the frame it was read in: the
// page rendered, turned upright and deskewed, measured in pixels with y
// downwards. frame_to_page takes frame positions back to the page.
#pragma once

#include <string>
#include <vector>

#include "model/page_model.h"

namespace foli::ocr {

// x' = a x + c y + e, y' = b x + d y + f (the PDF and MuPDF convention).
struct Affine {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;

    static Affine scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
    static Affine translate(double x, double y) { return {1, 0, 0, 1, x, y}; }
    // Clockwise by `radians` on a y-down surface, about the origin.
    static Affine rotate(double radians);

    double x(double px, double py) const { return a * px + c * py + e; }
    double y(double px, double py) const { return b * px + d * py + f; }
    // This transform, then `next`.
    Affine then(const Affine& next) const;
    Affine inverse() const;
    // The smallest upright rectangle holding the image of `box`.
    Rect map(const Rect& box) const;
};

struct OcrWord {
    std::string text;  // UTF-8, without spaces
    Rect box;          // frame pixels
    float confidence = 0;  // 0..100
};

struct OcrLine {
    std::vector<OcrWord> words;  // left to right as read
    Rect box;                    // frame pixels
};

// A block of text as Tesseract's layout analysis found it (with layout
// analysis off, the whole page is one block).
struct OcrBlock {
    std::vector<OcrLine> lines;  // top to bottom as read
};

struct OcrPage {
    std::vector<OcrBlock> blocks;  // in reading order
    Affine frame_to_page;          // frame pixels to page points (y down)
    float pixels_per_point = 1;    // the frame's resolution
    int rotation = 0;              // degrees clockwise the content was turned to read upright
    float skew = 0;                // degrees the frame was turned by to deskew
    std::string models;            // the trained data that read it ("eng+chi_sim")
    bool scan = false;             // the page is a scan: a picture covers it and it has next to no text

    bool empty() const {
        for (const OcrBlock& block : blocks)
            if (!block.lines.empty()) return false;
        return true;
    }
};

}  // namespace foli::ocr
