// Writes the images of a page as files into the document's resource folder
// (<dir>/<stem>_files/) for the writers that link to them.
#pragma once

#include <string>

#include "writers/writer.h"

namespace foli {

class ImageExporter {
public:
    explicit ImageExporter(WriterContext& context) : context_(context) {}

    // Writes the image and returns its path relative to the output's folder
    // ("<stem>_files/page3_img2.png"), or an empty string when the image
    // cannot be decoded (it is then left out, with a warning).
    std::string export_image(const ImageItem& item, int page_number, int image_number);

    // An image as a file holds it: the embedded JPEG bytes where they can
    // be copied as they are, else PNG. Empty data when it cannot be decoded.
    struct Encoded {
        std::string data;
        const char* extension = "png";  // "jpg" or "png", without the dot
    };
    static Encoded encode(fz_context* ctx, fz_image* image);

    // Encodes any image as PNG; empty on failure.
    static std::string encode_png(fz_context* ctx, fz_image* image);
    // Encodes an RGB or gray pixmap without alpha as PNG, recording `dpi`;
    // empty on failure.
    static std::string encode_pixmap_png(const fz_pixmap* pixmap, float dpi);

private:
    WriterContext& context_;
};

}  // namespace foli
