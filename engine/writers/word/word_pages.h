// The two page layouts of the Word writer: FLOW, an editable document of
// headings, paragraphs, lists, tables and pictures; BOX, every page drawn
// as a picture of its graphics with the text set on it in positioned
// frames.
#pragma once

#include <string>

#include "core/options.h"
#include "writers/word/word_text.h"
#include "writers/writer.h"

namespace foli::word {

// The page's content area, in points: where its text and pictures lie.
Rect content_box(const PageLayout& layout);

// BOX: the scale that brings a page larger than Word takes (22 inches a
// side) within its limits; 1 for every other page.
float box_scale(const PageModel& page);

// A picture in the text line (FLOW) or behind the text at a fixed place
// on the page (BOX); sizes in points.
std::string inline_picture(WordPackage& package, const std::string& relationship, float width, float height);
std::string page_background_picture(WordPackage& package, const std::string& relationship, float width,
                                    float height);

// The bookmark a page starts with, so internal links can reach it.
std::string page_bookmark_xml(WordPackage& package, int page_number);

// The comment marks of a paragraph: where its comments' ranges start (after
// the paragraph's properties) and where they end, with the references.
std::string comment_starts(const std::vector<int>& comments);
std::string comment_ends(const std::vector<int>& comments);

// The page's notes as comments of the package, each given to the box it is
// nearest to: the comment ids for every box.
std::vector<std::vector<int>> page_comments(WordPackage& package, PageSource& source,
                                            const std::vector<Rect>& boxes);

class FlowWriter {
public:
    FlowWriter(WordPackage& package, RunWriter& runs, const Options& options);
    // `break_before`: the page starts a new page within its section.
    void write_page(std::string& out, PageSource& source, bool break_before);

    // Whether the page's running heads go into the body (they do not repeat
    // the pages' around them) rather than the section's header and footer.
    void set_running_heads_in_body(bool in_body) { heads_in_body_ = in_body; }

    // The page's running heads of one kind as header or footer paragraphs,
    // its page number as a field; "" when it has none.
    std::string running_head(PageSource& source, BlockKind kind);

private:
    struct ListLevel {
        int num_id = 0;
        std::string kind;  // of the numbering at this level
        long next = 1;     // the number the next item at this level would get
    };

    void begin_paragraph(std::string& out, std::string_view properties);
    void write_text_block(std::string& out, const Block& block, const PageLayout& layout, const Rect& area);
    void write_list_item(std::string& out, const Block& block, const PageLayout& layout);
    void write_code(std::string& out, const Block& block);
    void write_contents_entry(std::string& out, const Block& block, const PageLayout& layout, const Rect& area);
    void write_table(std::string& out, const Table& table, const PageLayout& layout, const Rect& area);
    void write_image(std::string& out, const Block& block, const PageLayout& layout, const Rect& area);
    void write_formula(std::string& out, PageSource& source, const Block& part, const Rect& area);
    void write_drawing(std::string& out, PageSource& source, const Rect& drawing, const Rect& area);
    void write_pending_marks(std::string& out);
    void end_list() { list_levels_.clear(); }
    void open_comments(std::string& out) { out += comment_starts(comments_); }
    void close_comments(std::string& out) {
        out += comment_ends(comments_);
        comments_.clear();
    }

    WordPackage& package_;
    RunWriter& runs_;
    const Options& options_;
    bool break_pending_ = false;
    std::string bookmark_pending_;
    std::vector<ListLevel> list_levels_;  // of the list now open, by nesting level
    std::vector<int> comments_;           // for the next paragraph
    bool heads_in_body_ = true;
};

class BoxWriter {
public:
    BoxWriter(WordPackage& package, RunWriter& runs, const Options& options);
    void write_page(std::string& out, PageSource& source, bool break_before);

private:
    std::string background(PageSource& source);

    WordPackage& package_;
    RunWriter& runs_;
    const Options& options_;
};

}  // namespace foli::word
