// An open PDF document and its pages, over the MuPDF shim.
#pragma once

#include <string>
#include <vector>

#include "core/geometry.h"
#include "core/library_state.h"
#include "load/document_info.h"
#include "load/mupdf_handle.h"

namespace foli {

class Document {
public:
    // Opens and authenticates; throws ConversionError with FILE_ERROR,
    // PDF_FORMAT_ERROR, PDF_PASSWORD_ERROR or PDF_SECURITY_ERROR.
    Document(Context& context, const char* path, const char* password);

    fz_context* ctx() const { return ctx_; }
    fz_document* get() const { return doc_.get(); }
    int page_count() const { return page_count_; }

    DocumentInfo info(const std::string& source_path) const;
    // 0-based page a link or outline URI points at, or -1.
    int resolve_page(const char* uri) const;

private:
    fz_context* ctx_;
    DocumentHandle doc_;
    int page_count_ = 0;
};

class Page {
public:
    // Throws ConversionError with PDF_PAGE_ERROR when the page cannot load.
    Page(const Document& document, int index);

    int index() const { return index_; }
    const Rect& bounds() const { return bounds_; }
    fz_page* get() const { return page_.get(); }

    // Renders the page at `zoom` (1.0 = 72 dpi) as RGB or gray, no alpha.
    PixmapHandle render(float zoom, bool gray, bool with_annotations) const;

private:
    const Document& document_;
    int index_;
    PageHandle page_;
    Rect bounds_;

    friend struct PageModelBuilder;
};

}  // namespace foli
