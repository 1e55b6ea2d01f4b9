#include "writers/image_export.h"

#include <cstdint>

#include "core/log.h"
#include "writers/image_codecs.h"
#include "load/jpeg_check.h"

namespace foli {
namespace {

// Larger images (a 300 dpi A4 scan has 8.7 million pixels) are exported
// subsampled, which bounds the memory one image can take.
constexpr int64_t kMaxExportPixels = int64_t{1} << 24;

// A baseline JPEG in RGB or gray with no soft mask can be copied as it is
// embedded, which is both faster and lossless, as long as it decodes whole:
// a damaged one is decoded as far as it goes and written as PNG instead.
const fz_buffer* passthrough_jpeg(fz_context* ctx, fz_image* image) {
    fz_compressed_buffer* compressed = fz_compressed_image_buffer(ctx, image);
    if (compressed == nullptr || compressed->params.type != FZ_IMAGE_JPEG || compressed->buffer == nullptr)
        return nullptr;
    if (image->mask != nullptr || image->imagemask || image->use_decode || image->use_colorkey || image->orientation > 1 ||
        image->colorspace == nullptr || image->bpc != 8)
        return nullptr;
    if (!fz_colorspace_is_rgb(ctx, image->colorspace) && !fz_colorspace_is_gray(ctx, image->colorspace))
        return nullptr;
    if (compressed->params.u.jpeg.color_transform == 0) return nullptr;
    if (!foli_jpeg_decodes_whole(compressed->buffer->data, compressed->buffer->len)) return nullptr;
    return compressed->buffer;
}

// A codec sink that appends to a string; the codec sees a failed write
// rather than an exception.
int append_to_string(void* user, const void* data, size_t size) noexcept {
    try {
        static_cast<std::string*>(user)->append(static_cast<const char*>(data), size);
        return 1;
    } catch (...) {
        return 0;
    }
}

}  // namespace

std::string ImageExporter::encode_pixmap_png(const fz_pixmap* pixmap, float dpi) {
    if (pixmap == nullptr || pixmap->alpha != 0 || (pixmap->n != 1 && pixmap->n != 3)) return {};
    foli_raster raster{pixmap->w, pixmap->h, pixmap->n, pixmap->stride, pixmap->samples, 0, dpi};
    std::string png;
    foli_codec_sink sink{append_to_string, &png};
    if (foli_encode_png(&raster, &sink) != FOLI_CODEC_OK) return {};
    return png;
}

std::string ImageExporter::encode_png(fz_context* ctx, fz_image* image) {
    fz_pixmap* pixmap = nullptr;
    if (foli_mu_decode_image(ctx, image, kMaxExportPixels, &pixmap) != FOLI_MU_OK) return {};
    PixmapHandle pixmap_owner(ctx, pixmap);
    return encode_pixmap_png(pixmap, image->xres > 0 ? static_cast<float>(image->xres) : 72.0f);
}

ImageExporter::Encoded ImageExporter::encode(fz_context* ctx, fz_image* image) {
    Encoded encoded;
    if (image == nullptr) return encoded;
    if (const fz_buffer* jpeg = passthrough_jpeg(ctx, image)) {
        encoded.data.assign(reinterpret_cast<const char*>(jpeg->data), jpeg->len);
        encoded.extension = "jpg";
    } else {
        encoded.data = encode_png(ctx, image);
    }
    return encoded;
}

std::string ImageExporter::export_image(const ImageItem& item, int page_number, int image_number) {
    fz_context* ctx = item.image.context();
    fz_image* image = item.image.get();
    if (image == nullptr) return {};
    std::string base = context_.files.resource_folder() + "/page" + std::to_string(page_number) + "_img" +
                       std::to_string(image_number);
    Encoded encoded = encode(ctx, image);
    if (encoded.data.empty()) {
        log_warning("page %d: image %d cannot be decoded and is left out", page_number, image_number);
        return {};
    }
    std::string path = base + "." + encoded.extension;
    context_.files.write_file(path, encoded.data.data(), encoded.data.size());
    return context_.files.relative_to_output(path);
}

}  // namespace foli
