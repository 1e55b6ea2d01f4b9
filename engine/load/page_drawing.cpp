#include "load/page_drawing.h"

#include "core/errors.h"

namespace foli {

PageDrawing::PageDrawing(const Document& document, const Page& page, bool with_annotations) : ctx_(document.ctx()) {
    check(foli_mu_record_page(ctx_, page.get(), with_annotations ? 1 : 0, &drawing_), "cannot record a page");
}

PageDrawing::~PageDrawing() { foli_mu_drop_drawing(ctx_, &drawing_); }

}  // namespace foli
