#include "writers/ofd/ofd_resources.h"

#include <cctype>
#include <cstdio>

#include "core/errors.h"
#include "core/log.h"
#include "writers/image_codecs.h"
#include "writers/ofd/ofd_xml.h"

namespace foli::ofd {
namespace {

// Images are decoded at most this large (a 300 dpi A4 scan has 8.7
// million pixels); larger ones are subsampled.
constexpr int64_t kMaxImagePixels = int64_t{1} << 24;

const char* format_name(FontFormat format) {
    switch (format) {
    case FontFormat::TrueType: return "TrueType";
    case FontFormat::OpenType: return "OpenType";
    case FontFormat::Cff: return "CFF";
    case FontFormat::Type1: return "Type 1";
    case FontFormat::Type3: return "Type 3";
    case FontFormat::Unknown: break;
    }
    return "unknown";
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool has(const std::string& text, const char* word) { return text.find(word) != std::string::npos; }

int append_to_string(void* user, const void* data, size_t size) noexcept {
    try {
        static_cast<std::string*>(user)->append(static_cast<const char*>(data), size);
        return 1;
    } catch (...) {
        return 0;
    }
}

std::string encode_png(const fz_pixmap* pixmap, float dpi) {
    if (pixmap == nullptr || pixmap->n < 1 || pixmap->n > 4 || pixmap->w <= 0 || pixmap->h <= 0) return {};
    foli_raster raster{pixmap->w, pixmap->h, pixmap->n, pixmap->stride, pixmap->samples, 0, dpi};
    std::string png;
    foli_codec_sink sink{append_to_string, &png};
    if (foli_encode_png(&raster, &sink) != FOLI_CODEC_OK) return {};
    return png;
}

std::string digest_of(fz_context* ctx, fz_image* image) {
    if (image == nullptr) return "-";
    fz_compressed_buffer* compressed = fz_compressed_image_buffer(ctx, image);
    char text[96];
    if (compressed == nullptr || compressed->buffer == nullptr) {
        std::snprintf(text, sizeof text, "@%p", static_cast<void*>(image));
        return text;
    }
    unsigned char* data = nullptr;
    size_t size = fz_buffer_storage(ctx, compressed->buffer, &data);
    fz_md5 md5;
    fz_md5_init(&md5);
    fz_md5_update(&md5, data, size);
    unsigned char digest[16];
    fz_md5_final(&md5, digest);
    std::string key;
    for (unsigned char byte : digest) {
        std::snprintf(text, sizeof text, "%02x", byte);
        key += text;
    }
    std::snprintf(text, sizeof text, ":%dx%d:%d:%d:%d", image->w, image->h, image->bpc, image->n,
                  image->imagemask);
    return key + text;
}

}  // namespace

std::string standard_family(const FontDescription& description) {
    std::string name = lower(description.name);
    if (has(name, "song") || has(name, "sim") || has(name, "ming") || has(name, "kai") || has(name, "hei") ||
        has(name, "fang") || has(name, "mincho") || has(name, "gothic") || has(name, "batang") ||
        has(name, "gulim") || has(name, "dotum"))
        return description.family.empty() ? "SimSun" : description.family;
    if (has(name, "symbol")) return "Symbol";
    if (has(name, "dingbat")) return "ZapfDingbats";
    if (description.monospace || has(name, "courier") || has(name, "mono") || has(name, "consol") ||
        has(name, "typewriter") || has(name, "cmtt"))
        return "Courier New";
    bool sans = has(name, "sans") || has(name, "arial") || has(name, "helvetica") || has(name, "verdana") ||
                has(name, "tahoma") || has(name, "calibri") || has(name, "gothic") || has(name, "grotesk");
    if (!sans && (description.serif || has(name, "times") || has(name, "roman") || has(name, "serif") ||
                  has(name, "georgia") || has(name, "garamond") || has(name, "cambria") || has(name, "book") ||
                  has(name, "cmr") || has(name, "minion")))
        return "Times New Roman";
    return "Arial";
}

Resources::Resources(fz_context* ctx, office::ZipPackage& zip, UnitIds& ids, std::string folder)
    : ctx_(ctx), zip_(zip), ids_(ids), folder_(std::move(folder)) {}

FontResource& Resources::font(fz_font* font) {
    auto found = font_index_.find(font);
    if (found != font_index_.end()) return *found->second;
    auto resource = std::make_unique<FontResource>();
    resource->id = ids_.next();
    resource->font = FontHandle(ctx_, fz_keep_font(ctx_, font));
    resource->description = describe_font(ctx_, font);
    resource->has_file = font_file_possible(ctx_, font);
    const FontDescription& description = resource->description;
    if (description.embedded && !resource->has_file && description.format != FontFormat::Type3)
        log_warning("font %s: its %s program cannot be carried over; readers will use %s", description.name.c_str(),
                    format_name(description.format), standard_family(description).c_str());
    FontResource& entry = *resource;
    font_index_.emplace(font, resource.get());
    fonts_.push_back(std::move(resource));
    return entry;
}

FontResource& Resources::named_font(const std::string& family) {
    auto found = named_fonts_.find(family);
    if (found != named_fonts_.end()) return *found->second;
    auto resource = std::make_unique<FontResource>();
    resource->id = ids_.next();
    resource->description.name = family;
    resource->description.family = family;
    FontResource& entry = *resource;
    named_fonts_.emplace(family, resource.get());
    fonts_.push_back(std::move(resource));
    return entry;
}

uint32_t Resources::add_media(const std::string& data, const char* extension, const char* format) {
    uint32_t id = ids_.next();
    std::string file = "image_" + std::to_string(id) + extension;
    // Pictures are compressed already.
    zip_.add(folder_ + "/Res/" + file, data, office::Compression::Store);
    media_.push_back({id, file, format});
    return id;
}

std::string Resources::image_key(const foli_draw_item& item) const {
    char paint[32];
    std::snprintf(paint, sizeof paint, "|%d|%06x|", item.stencil, item.stencil ? item.fill_rgb : 0u);
    return digest_of(ctx_, item.image) + paint + (item.soft_mask ? digest_of(ctx_, item.soft_mask) : "");
}

uint32_t Resources::image(const foli_draw_item& item, int page_number) {
    if (item.pixmap != nullptr) return pixels(item.pixmap, 144);
    if (item.image == nullptr) return 0;
    std::string key = image_key(item);
    auto found = media_by_key_.find(key);
    if (found != media_by_key_.end()) return found->second;

    uint32_t id = 0;
    fz_buffer* jpeg = item.stencil || item.soft_mask ? nullptr : foli_mu_image_jpeg(ctx_, item.image);
    if (jpeg != nullptr) {
        BufferHandle owner(ctx_, jpeg);
        unsigned char* data = nullptr;
        size_t size = fz_buffer_storage(ctx_, jpeg, &data);
        id = add_media(std::string(reinterpret_cast<const char*>(data), size), ".jpg", "JPEG");
    } else {
        fz_pixmap* pixmap = nullptr;
        foli_mu_status status = foli_mu_decode_image_item(ctx_, item.image, item.soft_mask, item.stencil,
                                                          item.fill_rgb, kMaxImagePixels, &pixmap);
        PixmapHandle owner(ctx_, pixmap);
        if (status == FOLI_MU_MEMORY) fail(FOLI_ERR_OUT_OF_MEMORY, "out of memory decoding an image");
        float dpi = item.image->xres > 0 ? static_cast<float>(item.image->xres) : 72.0f;
        std::string png = status == FOLI_MU_OK ? encode_png(pixmap, dpi) : std::string();
        if (png.empty()) {
            log_warning("page %d: an image cannot be decoded and is left out", page_number);
            return 0;
        }
        id = add_media(png, ".png", "PNG");
    }
    media_by_key_.emplace(std::move(key), id);
    return id;
}

uint32_t Resources::pixels(const fz_pixmap* pixmap, float dpi) {
    std::string png = encode_png(pixmap, dpi);
    return png.empty() ? 0 : add_media(png, ".png", "PNG");
}

void Resources::finish() {
    std::string public_res(kDeclaration);
    public_res += "<ofd:Res ";
    public_res += kNamespace;
    public_res += " BaseLoc=\"Res\">";
    if (!fonts_.empty()) {
        public_res += "<ofd:Fonts>";
        for (const auto& resource : fonts_) {
            const FontDescription& description = resource->description;
            std::string file;
            if (resource->has_file) {
                std::optional<FontFile> program = font_file(ctx_, resource->font.get(), resource->used);
                if (program) {
                    file = "font_" + std::to_string(resource->id) + std::string(program->extension);
                    zip_.add(folder_ + "/Res/" + file, program->data);
                } else {
                    log_warning("font %s: its program could not be rebuilt", description.name.c_str());
                }
            }
            std::string family = file.empty() ? standard_family(description) : description.family;
            public_res += "<ofd:Font";
            append_id_attribute(public_res, "ID", resource->id);
            append_attribute(public_res, "FontName", description.name.empty() ? family : description.name);
            append_attribute(public_res, "FamilyName", family.empty() ? description.name : family);
            if (description.bold) public_res += " Bold=\"true\"";
            if (description.italic) public_res += " Italic=\"true\"";
            if (description.serif) public_res += " Serif=\"true\"";
            if (description.monospace) public_res += " FixedWidth=\"true\"";
            if (file.empty()) {
                public_res += "/>";
            } else {
                public_res += "><ofd:FontFile>" + file + "</ofd:FontFile></ofd:Font>";
            }
        }
        public_res += "</ofd:Fonts>";
    }
    public_res += "</ofd:Res>\n";
    zip_.add(folder_ + "/PublicRes.xml", public_res);

    std::string document_res(kDeclaration);
    document_res += "<ofd:Res ";
    document_res += kNamespace;
    document_res += " BaseLoc=\"Res\">";
    if (!media_.empty()) {
        document_res += "<ofd:MultiMedias>";
        for (const Media& media : media_) {
            document_res += "<ofd:MultiMedia";
            append_id_attribute(document_res, "ID", media.id);
            document_res += " Type=\"Image\"";
            append_attribute(document_res, "Format", media.format);
            document_res += "><ofd:MediaFile>" + media.file + "</ofd:MediaFile></ofd:MultiMedia>";
        }
        document_res += "</ofd:MultiMedias>";
    }
    document_res += "</ofd:Res>\n";
    zip_.add(folder_ + "/DocumentRes.xml", document_res);
}

}  // namespace foli::ofd
