#include "load/document.h"

#include "core/errors.h"

namespace foli {
namespace {

std::string metadata(fz_context* ctx, fz_document* doc, const char* key) {
    char buffer[1024];
    foli_mu_lookup_metadata(ctx, doc, key, buffer, sizeof buffer);
    return buffer;
}

void flatten_outline(const Document& document, const fz_outline* node, int level,
                     std::vector<OutlineEntry>& entries) {
    // The depth guard keeps a maliciously deep outline from exhausting the stack.
    for (; node != nullptr && level < 64; node = node->next) {
        OutlineEntry entry;
        entry.title = node->title ? node->title : "";
        entry.level = level;
        if (node->uri != nullptr) {
            entry.page = document.resolve_page(node->uri);
            if (entry.page < 0 && fz_is_external_link(document.ctx(), node->uri)) entry.uri = node->uri;
        }
        entries.push_back(std::move(entry));
        flatten_outline(document, node->down, level + 1, entries);
    }
}

}  // namespace

Document::Document(Context& context, const char* path, const char* password) : ctx_(context.get()) {
    fz_document* doc = nullptr;
    foli_mu_status status = foli_mu_open_pdf(ctx_, path, password, &doc);
    if (status != FOLI_MU_OK) fail(result_from_status(status), "cannot open the PDF file");
    doc_ = DocumentHandle(ctx_, doc);
    check(foli_mu_count_pages(ctx_, doc, &page_count_), "cannot count the pages");
    if (page_count_ <= 0) fail(FOLI_ERR_PDF_FORMAT, "the document has no pages");
}

DocumentInfo Document::info(const std::string& source_path) const {
    DocumentInfo info;
    info.source_path = source_path;
    info.page_count = page_count_;
    info.title = metadata(ctx_, get(), FZ_META_INFO_TITLE);
    info.author = metadata(ctx_, get(), FZ_META_INFO_AUTHOR);
    info.subject = metadata(ctx_, get(), FZ_META_INFO_SUBJECT);
    info.keywords = metadata(ctx_, get(), FZ_META_INFO_KEYWORDS);
    info.creator = metadata(ctx_, get(), FZ_META_INFO_CREATOR);
    info.producer = metadata(ctx_, get(), FZ_META_INFO_PRODUCER);
    info.created = metadata(ctx_, get(), FZ_META_INFO_CREATIONDATE);

    fz_outline* outline = nullptr;
    check(foli_mu_load_outline(ctx_, get(), &outline), "cannot load the outline");
    OutlineHandle owner(ctx_, outline);
    flatten_outline(*this, outline, 0, info.outline);
    return info;
}

int Document::resolve_page(const char* uri) const {
    int page = foli_mu_resolve_link_page(ctx_, get(), uri);
    return page >= 0 && page < page_count_ ? page : -1;
}

Page::Page(const Document& document, int index) : document_(document), index_(index) {
    fz_page* page = nullptr;
    fz_rect bounds;
    check(foli_mu_load_page(document.ctx(), document.get(), index, &page, &bounds), "cannot load a page");
    page_ = PageHandle(document.ctx(), page);
    bounds_ = {bounds.x0, bounds.y0, bounds.x1, bounds.y1};
}

PixmapHandle Page::render(float zoom, bool gray, bool with_annotations) const {
    fz_pixmap* pixmap = nullptr;
    check(foli_mu_render_page(document_.ctx(), get(), zoom, gray, with_annotations, &pixmap),
          "cannot render a page");
    return PixmapHandle(document_.ctx(), pixmap);
}

}  // namespace foli
