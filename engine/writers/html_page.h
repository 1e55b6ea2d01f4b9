// The body of one page in HTML, in the two layouts the HTML writer offers:
// reflowable semantic markup, or every line and image at its place.
#pragma once

#include <string>

#include "analysis/layout.h"

namespace foli::html {

// How a page's content refers to things outside the page. The writer
// answers these, since only it knows where each file goes.
class PageReferences {
public:
    virtual ~PageReferences() = default;
    // src of image `index` of the page model, relative to the HTML file, or
    // "" when the image is left out.
    virtual std::string image_source(const PageModel& page, int index) = 0;
    // href of a link to a 0-based page, or "" when that page is not written.
    virtual std::string page_href(int page) const = 0;
};

struct PageStyle {
    bool background_images = true;  // keep images that cover the whole page
    bool font_override = false;     // the stylesheet sets one family for all text
};

// Appends <section class="page" id="page-N"> with headings, paragraphs,
// lists, tables and figures in reading order.
void write_flow_page(std::string& out, const PageLayout& layout, PageReferences& references, const PageStyle& style);

// Appends <div class="page" id="page-N"> of the page's size with each text
// line and image absolutely positioned, in points.
void write_box_page(std::string& out, const PageLayout& layout, PageReferences& references, const PageStyle& style);

// Shared by both layouts.
std::string page_anchor(int page_number);  // "page-3"
// The href for a span's link, or "" when it has none worth writing.
std::string span_href(const Span& span, const PageModel& page, const PageReferences& references);
// An image drawn over (nearly) the whole page, as scans and page
// backgrounds are.
bool is_page_background(const ImageItem& image, const PageModel& page);
// The font-family of the text that covers most of the page, or "" for a
// page without text.
std::string dominant_font_family(const PageModel& page);

}  // namespace foli::html
