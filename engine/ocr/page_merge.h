// Which pages need recognition under an OCROption, and how recognised text
// joins a page's own text in the page model.
//
// A page is a scan when images cover most of it and it has (almost) no
// text of its own; text is invalid when its characters do not map to
// Unicode (U+FFFD, private-use, control and non-characters: what a missing
// or broken ToUnicode gives). Recognised words then
//  - replace the page's invalid text they cover,
//  - are dropped where the page's own valid text already says it (so an
//    already searchable page keeps its text and gets no second copy),
//  - and elsewhere are added (on pages read whole: scans, or every page
//    for ALL), for text that exists only in pictures.
#pragma once

#include <vector>

#include "core/options.h"
#include "model/page_model.h"
#include "ocr/recognition.h"

namespace foli::ocr {

enum class Reading {
    None,     // the page keeps its text as it is
    Regions,  // only the areas of invalid text are read
    Page,     // the whole page is read
};

struct PageNeed {
    Reading reading = Reading::None;
    bool scan = false;
    std::vector<Rect> regions;  // page points, for Reading::Regions (and the invalid text of any page)
};

bool is_invalid_character(char32_t c);

// Whether two recognised words of a line follow each other without a
// space between them (ideographs and kana).
bool written_together(const std::string& before, const std::string& after);

// What `option` asks for on this page.
PageNeed decide_reading(const PageModel& page, OCROption option);

struct MergeResult {
    bool only_recognised_text = false;  // the page's text is all recognised
    int words_added = 0;
};

// Merges what was read into the page model, and leaves in `read` only the
// words the page kept (those the searchable PDF adds). Scan images stay
// unless `keep_scan_image` is false.
MergeResult merge_recognised(PageModel& page, OcrPage& read, const PageNeed& need, bool keep_scan_image);

}  // namespace foli::ocr
