#include "ocr/page_image.h"

#include <leptonica/allheaders.h>

#include <cmath>

#include "core/errors.h"

namespace foli::ocr {
namespace {

constexpr double kPi = 3.14159265358979323846;
// Below this the skew changes no pixel rows that matter.
constexpr float kMinSkewDegrees = 0.1f;
// pixFindSkew's confidence below which the angle is a guess.
constexpr float kMinSkewConfidence = 3.0f;
// Skews this large are not scanning skew; they are left to the layout analysis.
constexpr float kMaxSkewDegrees = 10.0f;

PixPtr checked(Pix* pix, const char* what) {
    if (pix == nullptr) fail(FOLI_ERR_OUT_OF_MEMORY, what);
    return PixPtr(pix);
}

}  // namespace

void PixDeleter::operator()(Pix* pix) const { pixDestroy(&pix); }

int pix_width(const Pix* pix) { return static_cast<int>(pixGetWidth(pix)); }
int pix_height(const Pix* pix) { return static_cast<int>(pixGetHeight(pix)); }

PixPtr gray_pix_from_pixmap(fz_context* ctx, fz_pixmap* pixmap) {
    int width = fz_pixmap_width(ctx, pixmap), height = fz_pixmap_height(ctx, pixmap);
    if (fz_pixmap_components(ctx, pixmap) != 1 || fz_pixmap_alpha(ctx, pixmap) != 0)
        fail(FOLI_ERR_UNKNOWN, "the page render is not gray");
    PixPtr pix = checked(pixCreate(width, height, 8), "cannot make the page image");
    const unsigned char* samples = fz_pixmap_samples(ctx, pixmap);
    ptrdiff_t stride = fz_pixmap_stride(ctx, pixmap);
    l_uint32* data = pixGetData(pix.get());
    int words_per_line = pixGetWpl(pix.get());
    for (int y = 0; y < height; ++y) {
        const unsigned char* row = samples + y * stride;
        l_uint32* line = data + static_cast<ptrdiff_t>(y) * words_per_line;
        for (int x = 0; x < width; ++x) SET_DATA_BYTE(line, x, row[x]);
    }
    return pix;
}

PixPtr rotate_orthogonally(Pix* pix, int degrees, Affine& turn) {
    double w = pixGetWidth(pix), h = pixGetHeight(pix);
    int quads = ((degrees / 90) % 4 + 4) % 4;
    switch (quads) {
    case 1: turn = {0, 1, -1, 0, h, 0}; break;    // (x, y) -> (h - y, x)
    case 2: turn = {-1, 0, 0, -1, w, h}; break;   // (x, y) -> (w - x, h - y)
    case 3: turn = {0, -1, 1, 0, 0, w}; break;    // (x, y) -> (y, w - x)
    default: turn = {}; break;
    }
    return checked(quads == 0 ? pixCopy(nullptr, pix) : pixRotateOrth(pix, quads), "cannot turn the page image");
}

float find_skew(Pix* pix) {
    PixPtr binary(pixConvertTo1(pix, 160));
    if (!binary) return 0;
    l_float32 angle = 0, confidence = 0;
    if (pixFindSkew(binary.get(), &angle, &confidence) != 0) return 0;
    if (confidence < kMinSkewConfidence || std::fabs(angle) < kMinSkewDegrees || std::fabs(angle) > kMaxSkewDegrees)
        return 0;
    return angle;
}

PixPtr rotate_about_centre(Pix* pix, float degrees, Affine& turn) {
    double cx = pixGetWidth(pix) / 2.0, cy = pixGetHeight(pix) / 2.0;
    double radians = degrees * kPi / 180.0;
    turn = Affine::translate(-cx, -cy).then(Affine::rotate(radians)).then(Affine::translate(cx, cy));
    return checked(pixRotate(pix, static_cast<l_float32>(radians), L_ROTATE_AREA_MAP, L_BRING_IN_WHITE, 0, 0),
                   "cannot deskew the page image");
}

}  // namespace foli::ocr
