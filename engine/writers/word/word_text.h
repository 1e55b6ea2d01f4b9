// Runs of text as WordprocessingML: w:r elements with their fonts, size,
// weight, slant, colour and script properties, grouped into w:hyperlink
// elements where the PDF links them.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "writers/office/runs.h"
#include "writers/word/word_package.h"

namespace foli::word {

// Where a span's link goes in the document being written.
struct LinkTarget {
    std::string external;  // a URI, or
    std::string anchor;    // a bookmark in this document
};

class LinkResolver {
public:
    virtual ~LinkResolver() = default;
    // Empty target for links that are not written.
    virtual LinkTarget resolve(const std::string& uri, const PageModel& page) const = 0;
    // Whether the 0-based page is in the document being written.
    virtual bool has_page(int index) const = 0;
};

// "page5": the bookmark at the start of a page (1-based number).
std::string page_bookmark(int page_number);

class RunWriter {
public:
    // `font_override` non-empty: every run is set in that family.
    RunWriter(WordPackage& package, const LinkResolver& links, std::string font_override);

    struct Options {
        bool heading = false;   // the style is bold already: say so where a run is not
        bool in_frame = false;  // positioned text: no hyperlink styling beyond the PDF's own
        int page_field = 0;     // > 0: this number, standing alone, becomes a PAGE field
        float scale = 1.0f;     // of the font sizes: a page drawn smaller than the PDF's
        uint32_t background = 0xFFFFFF;  // what the text is set on (FLOW)
    };
    // Appends the runs, linked where they link.
    void append(std::string& out, const std::vector<office::StyledRun>& runs, const PageModel& page,
                const Options& options);
    // Appends one run.
    void append_run(std::string& out, const office::StyledRun& run, const Options& options, bool link);

    bool links_to_page(int index) const { return links_.has_page(index); }

    // Whether most of the runs' text is right-to-left.
    static bool mostly_right_to_left(const std::vector<office::StyledRun>& runs);

private:
    const office::OfficeFont& font_for(const office::RunStyle& style);

    WordPackage& package_;
    const LinkResolver& links_;
    std::string font_override_;
    std::map<std::pair<std::string, bool>, office::OfficeFont> fonts_;  // by PDF name and monospace
};

// Appends text as w:t, with tabs as w:tab and line breaks as w:br.
void append_text(std::string& out, const std::string& text);

}  // namespace foli::word
