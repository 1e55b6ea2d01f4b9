// One page of an OFD document: its Content.xml, built from the page's
// drawing. Coordinates are millimetres from the page's top left corner.
//
// - Text becomes one TextObject per run of glyphs that sit where the
//   previous glyph's advance ends (a word or more), on the PDF's baseline,
//   with every glyph's advance in DeltaX (DeltaY for vertical text), the
//   font's size in Size and a CTM only where the text is rotated, skewed or
//   stretched. Glyph ids go along as CGTransform where the font's program
//   is in the package. Invisible text stays invisible (Fill="false").
// - Paths become PathObjects (AbbreviatedData), images ImageObjects over
//   MultiMedia resources; shadings and regions only a rendering can show
//   become images too.
// - Clips become each object's Clips; a rectangle that leaves the object
//   whole is left out, and an object its clips hide entirely is not
//   written (text then stays, invisible, for search).
// - Links become the page's Actions (CLICK in a Region: URI or Goto).
// - Recognised text (OCR) goes over everything else: one TextObject per
//   word on the line's baseline, its characters spread evenly over the
//   word's box, in a font readers find by name. It is invisible where the
//   scan picture stays under it, so the page looks as scanned and the
//   words can still be searched and selected, and shown where the picture
//   is left out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/geometry.h"
#include "load/document.h"
#include "load/page_drawing.h"
#include "ocr/recognition.h"
#include "writers/ofd/ofd_resources.h"

namespace foli::ofd {

struct PageLink {
    Rect box;                   // PDF points, page space
    std::string uri;            // external target, or empty
    uint32_t target_page = 0;   // page id of an internal target, or 0
};

struct PageOptions {
    bool images = true;           // contain_image
    bool invisible_text = false;  // transparent_text: all text invisible
    bool drop_scan_image = false; // leave out the picture that covers a scanned page
};

// The Content.xml of one page. `page` is rendered for the regions that
// need it; `recognised` is the text OCR added to it, or null.
std::string page_content(const Page& page, const PageDrawing& drawing, Resources& resources, UnitIds& ids,
                         const PageOptions& options, const std::vector<PageLink>& links,
                         const ocr::OcrPage* recognised = nullptr);

}  // namespace foli::ofd
