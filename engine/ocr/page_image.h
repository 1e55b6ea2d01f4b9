// The page image recognition reads: a render of the page as 8-bit gray,
// turned upright and deskewed with Leptonica. Every Leptonica image lives
// in a PixPtr.
#pragma once

#include <memory>

#include "load/mupdf_shim.h"
#include "ocr/recognition.h"

struct Pix;

namespace foli::ocr {

struct PixDeleter {
    void operator()(Pix* pix) const;
};
using PixPtr = std::unique_ptr<Pix, PixDeleter>;

// A copy of a gray pixmap without alpha (one byte per pixel).
PixPtr gray_pix_from_pixmap(fz_context* ctx, fz_pixmap* pixmap);

int pix_width(const Pix* pix);
int pix_height(const Pix* pix);

// Turns the image clockwise by `degrees` (0, 90, 180 or 270). `turn`
// becomes the transform from the old image's pixels to the new one's.
PixPtr rotate_orthogonally(Pix* pix, int degrees, Affine& turn);

// The angle in degrees the image must be turned clockwise by to deskew it;
// 0 when the text shows no clear skew or it is too small to matter.
float find_skew(Pix* pix);

// Turns the image clockwise by `degrees` about its centre, keeping its
// size and filling with white. `turn` becomes the pixel transform.
PixPtr rotate_about_centre(Pix* pix, float degrees, Affine& turn);

}  // namespace foli::ocr
