// One slide's shapes, built from a page: a picture behind everything, the
// rules and filled rectangles as rectangles, the images as pictures, the
// tables as tables, and each text block as one text box at its place, its
// lines kept apart by line breaks.
#pragma once

#include <string>

#include "analysis/layout.h"
#include "writers/office/runs.h"
#include "writers/ppt/ppt_package.h"

namespace foli::ppt {

// How page points map onto the slide: scaled, then shifted (a page of
// another size than the slides is fitted in and centred).
struct SlidePlacement {
    float scale = 1;
    float x = 0, y = 0;
};

class SlideBuilder {
public:
    SlideBuilder(PptPackage& package, const SlidePlacement& placement) : package_(package), placement_(placement) {}

    // A picture covering `box` (page points); `data` is PNG or JPEG.
    void picture(const std::string& data, const char* extension, const Rect& box, const char* name);
    // A rule or filled rectangle of the page model.
    void vector_box(const VectorItem& item);
    void table(const Table& table);
    // A text block; `title` makes it the slide's title.
    void text_block(const Block& block, bool title);

    const std::string& shapes() const { return shapes_; }
    const SlideRelationships& relationships() const { return relationships_; }

private:
    int next_id() { return ++shape_ids_; }
    // A box on the page as a:off and a:ext on the slide, `slack` wider.
    std::string place(const Rect& box, float slack) const;
    std::string transform(const Rect& box, float slack) const;
    void append_runs(std::string& out, const std::vector<office::StyledRun>& runs);
    void append_run(std::string& out, const office::StyledRun& run);

    PptPackage& package_;
    SlidePlacement placement_;
    SlideRelationships relationships_;
    std::string shapes_;
    int shape_ids_ = 1;  // 1 is the shape tree's own group
};

// The text of a block as it reads in the slide: a list item's marker in
// front, a contents entry's page number after it.
std::string block_slide_text(const Block& block);

}  // namespace foli::ppt
