// One .pptx being written: its ZIP package, a part per slide written as
// soon as the slide is done, the media written as they come (the same
// picture on many slides stored once), and the parts that list the slides,
// written at the end.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/output_files.h"
#include "writers/office/package_parts.h"
#include "writers/office/zip_package.h"

namespace foli::ppt {

// What a slide's XML refers to: its pictures and links.
class SlideRelationships {
public:
    SlideRelationships();  // the slide layout comes first
    std::string add_media(const std::string& target) { return relationships_.add(office::rel::kImage, target); }
    std::string hyperlink(const std::string& uri) {
        return relationships_.add_external_once(office::rel::kHyperlink, uri);
    }
    std::string xml() const { return relationships_.xml(); }

private:
    office::Relationships relationships_;
};

class PptPackage {
public:
    // Slides of `width` x `height` points (clamped to the sizes PowerPoint
    // takes; see slide_width()).
    PptPackage(OutputFiles& files, const std::string& path, office::DocumentProperties properties, float width,
               float height);

    float slide_width() const { return width_; }
    float slide_height() const { return height_; }

    // Stores a picture (once per content) and returns the slide's
    // relationship id for it.
    std::string add_image(SlideRelationships& slide, const std::string& data, const char* extension);

    // Writes the next slide: `shapes` is the XML inside its p:spTree after
    // the group's own properties.
    void add_slide(const std::string& shapes, const SlideRelationships& relationships);

    // Writes presentation.xml and every other part, then closes the package.
    void finish();

private:
    OutputStream& out_;
    office::ZipPackage zip_;
    office::DocumentProperties properties_;
    office::ContentTypes types_;
    float width_, height_;
    int slides_ = 0;
    int images_ = 0;
    std::map<std::pair<size_t, size_t>, std::string> media_by_hash_;  // (hash, size) -> media part
};

}  // namespace foli::ppt
