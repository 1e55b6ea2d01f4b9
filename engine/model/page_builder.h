// Builds the page model of one page from a single run of its contents.
#pragma once

#include "load/document.h"
#include "model/page_model.h"

namespace foli {

struct ModelRequest {
    bool annotations = true;  // include annotation appearances
    bool images = true;       // keep images with their pixels
    bool vectors = true;      // collect rules and filled rectangles
    bool links = true;
};

PageModel build_page_model(const Document& document, const Page& page, const ModelRequest& request);

}  // namespace foli
