// The resources of one OFD document: fonts (PublicRes.xml) and images
// (DocumentRes.xml), with the unit ids every object of the document takes
// from one counter. Images are written into the package when first used;
// fonts at the end, when every glyph the pages use is known, so that a
// rebuilt font holds exactly those glyphs.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "load/font_program.h"
#include "load/mupdf_drawing.h"
#include "load/mupdf_handle.h"
#include "writers/office/zip_package.h"

namespace foli::ofd {

// Every object of a document has an id of its own, counted from 1;
// Document.xml records the largest as MaxUnitID.
class UnitIds {
public:
    uint32_t next() { return ++last_; }
    uint32_t last() const { return last_; }

private:
    uint32_t last_ = 0;
};

using FontHandle = MuHandle<fz_font, fz_drop_font>;

struct FontResource {
    uint32_t id = 0;
    FontHandle font;
    FontDescription description;
    bool has_file = false;  // the program goes into the package: text names its glyphs by id
    GlyphUse used;
};

class Resources {
public:
    // `folder` is the document's folder in the package ("Doc_0").
    Resources(fz_context* ctx, office::ZipPackage& zip, UnitIds& ids, std::string folder);

    // The font's resource, made on first use.
    FontResource& font(fz_font* font);
    // A font readers find by its family name, with no program in the
    // package (recognised text), made on first use.
    FontResource& named_font(const std::string& family);

    // The MultiMedia id of an IMAGE item's picture, written on first use;
    // 0 when it cannot be decoded (left out with a warning).
    uint32_t image(const foli_draw_item& item, int page_number);
    // A picture of pixels (RGB or gray, with or without alpha); 0 on failure.
    uint32_t pixels(const fz_pixmap* pixmap, float dpi);

    // Writes the font files, PublicRes.xml and DocumentRes.xml.
    void finish();

private:
    uint32_t add_media(const std::string& data, const char* extension, const char* format);
    std::string image_key(const foli_draw_item& item) const;

    fz_context* ctx_;
    office::ZipPackage& zip_;
    UnitIds& ids_;
    std::string folder_;
    std::vector<std::unique_ptr<FontResource>> fonts_;
    std::map<fz_font*, FontResource*> font_index_;
    std::map<std::string, FontResource*> named_fonts_;

    struct Media {
        uint32_t id;
        std::string file;
        const char* format;
    };
    std::vector<Media> media_;
    std::map<std::string, uint32_t> media_by_key_;
};

// The family a reader is most likely to have for a font it must find by
// name ("Times New Roman" for Times and its clones, and so on).
std::string standard_family(const FontDescription& description);

}  // namespace foli::ofd
