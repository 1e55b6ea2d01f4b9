// One .docx being written: its ZIP package, the body streamed page by page
// through a scratch file, the media written as they come, and what the
// parts written at the end need (relationships, fonts, lists).
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/output_files.h"
#include "writers/office/fonts.h"
#include "writers/office/list_numbering.h"
#include "writers/office/package_parts.h"
#include "writers/office/zip_package.h"

namespace foli::word {

// The page size and margins of a run of pages, in points.
struct Section {
    float width = 612, height = 792;
    float left = 72, top = 72, right = 72, bottom = 72;
    float header = 36, footer = 36;  // distance of the running heads from the page's edge
    std::string header_part, footer_part;  // relationship ids, or empty
};

// sectPr for a section (without the element's own header/footer parts).
std::string section_properties(const Section& section);

// One list as numbered in the document: a w:num of its own, so that each
// list restarts at its first printed number.
struct ListInstance {
    std::vector<office::ListNumbering> levels;  // as first seen, per nesting level
    std::vector<bool> seen;                     // which levels have items
};

class WordPackage {
public:
    WordPackage(OutputFiles& files, const std::string& path, office::DocumentProperties properties);

    // The page XML goes here; append_body writes it to the scratch file.
    void append_body(const std::string& xml);

    // Adds a picture part (media/imageN.ext) and returns its relationship
    // id; the same bytes added again share the first part.
    std::string add_image(const std::string& data, const char* extension);
    // The relationship id of an external link.
    std::string hyperlink(const std::string& uri);
    // A fresh id for wp:docPr (unique in the document).
    int next_drawing_id() { return ++drawing_ids_; }
    int next_bookmark_id() { return bookmark_ids_++; }

    // Adds a running head part (word/headerN.xml or footerN.xml) holding
    // `paragraphs` and returns its relationship id.
    std::string add_running_head(bool footer, const std::string& paragraphs);

    // A comment for word/comments.xml; returns its id.
    int add_comment(const std::string& author, const std::string& text);

    // Records a family used by some run, for the font table.
    void use_font(const office::OfficeFont& font);

    // Lists: a new w:num (1-based id), and what each level of it is.
    int new_list();
    void note_list_level(int num_id, int level, const office::ListNumbering& numbering);

    // The document's default font and size (the most used), for styles.xml.
    void count_text(const std::string& family, float size, size_t characters);

    // Writes document.xml with `final_section` as its last sectPr, and every
    // other part; then closes the package.
    void finish(const std::string& final_section_xml);

private:
    std::string styles_xml() const;
    std::string numbering_xml() const;
    std::string font_table_xml() const;
    static std::string settings_xml();

    OutputFiles& files_;
    OutputStream& out_;
    office::ZipPackage zip_;
    OutputStream& body_;  // scratch: the body's XML as the pages come
    office::DocumentProperties properties_;
    office::ContentTypes types_;
    office::Relationships document_relationships_;
    int image_count_ = 0;
    int running_heads_ = 0;
    std::map<std::pair<size_t, size_t>, std::string> images_by_hash_;  // (hash, size) -> relationship id
    int drawing_ids_ = 0;
    int bookmark_ids_ = 0;
    std::map<std::string, office::OfficeFont> fonts_;  // by family
    std::vector<ListInstance> lists_;
    std::string comments_;  // the w:comment elements
    int comment_count_ = 0;
    std::map<std::string, size_t> family_characters_;
    std::map<long, size_t> size_characters_;  // by half-points
};

}  // namespace foli::word
