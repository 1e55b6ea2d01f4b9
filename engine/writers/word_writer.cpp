// Word (.docx) output, in the two page layouts of word/word_pages.h. The
// body is written page by page into a scratch file and copied into the
// package at the end, after which the parts that depend on the whole
// document (styles with its dominant font, numbering, fonts, links) follow.
// Pages of one size and orientation share a section with margins that hold
// the content of all of them; a page break separates pages within one.
#include <algorithm>
#include <cmath>
#include <memory>

#include "core/errors.h"
#include "writers/html_text.h"
#include "writers/office/runs.h"
#include "writers/office/units.h"
#include "writers/word/word_pages.h"
#include "writers/writer.h"

namespace foli {
namespace {

using word::Section;

constexpr float kMinMargin = 18.0f;  // a quarter inch

bool same_size(const Section& a, float width, float height) {
    return std::fabs(a.width - width) < 1.0f && std::fabs(a.height - height) < 1.0f;
}

// Margins that keep the page's content where it is.
Section flow_section(const PageLayout& layout) {
    // A page larger than Word takes keeps its content's margins on the
    // left and top; the text reflows in the narrower width.
    Section section;
    section.width = office::page_side(layout.page.width, 612);
    section.height = office::page_side(layout.page.height, 792);
    Rect box = word::content_box(layout);
    if (box.empty()) return section;
    auto margin = [](float value, float limit) { return std::clamp(value, kMinMargin, std::max(kMinMargin, limit)); };
    section.left = margin(box.x0, section.width / 3);
    section.right = margin(section.width - box.x1, section.width / 3);
    section.top = margin(box.y0, section.height / 4);
    section.bottom = margin(section.height - box.y1, section.height / 4);
    section.header = std::min(36.0f, section.top / 2);
    section.footer = std::min(36.0f, section.bottom / 2);
    return section;
}

// Links to a page of the document go to its bookmark when that page is in
// the same file; web and mail links are kept; others are dropped.
class SelectedPages : public word::LinkResolver {
public:
    SelectedPages(const std::vector<int>& pages, int page_count) : selected_(static_cast<size_t>(std::max(page_count, 0)), false) {
        for (int page : pages)
            if (page >= 0 && static_cast<size_t>(page) < selected_.size()) selected_[static_cast<size_t>(page)] = true;
    }

    // One document per page: only links within the page stay internal.
    void only_page(int index) {
        std::fill(selected_.begin(), selected_.end(), false);
        if (index >= 0 && static_cast<size_t>(index) < selected_.size()) selected_[static_cast<size_t>(index)] = true;
    }

    bool has_page(int index) const override {
        return index >= 0 && static_cast<size_t>(index) < selected_.size() && selected_[static_cast<size_t>(index)];
    }

    word::LinkTarget resolve(const std::string& uri, const PageModel& page) const override {
        word::LinkTarget target;
        for (const LinkItem& link : page.links) {
            if (link.uri != uri || link.target_page < 0) continue;
            size_t index = static_cast<size_t>(link.target_page);
            if (index < selected_.size() && selected_[index]) target.anchor = word::page_bookmark(link.target_page + 1);
            return target;
        }
        if (html::is_safe_link(uri)) target.external = uri;
        return target;
    }

private:
    std::vector<bool> selected_;
};

office::DocumentProperties properties_of(const DocumentInfo& info) {
    office::DocumentProperties properties;
    properties.title = info.title;
    properties.subject = info.subject;
    properties.author = info.author;
    properties.keywords = info.keywords;
    return properties;
}

// One .docx: its package, the page writer of its layout, and its sections.
class WordDocument {
public:
    WordDocument(WriterContext& context, const std::string& path, const word::LinkResolver& links, bool box)
        : package_(context.files, path, properties_of(context.info)),
          runs_(package_, links, context.options.font_name),
          flow_(package_, runs_, context.options),
          box_(package_, runs_, context.options),
          box_layout_(box) {}

    void add_page(PageSource& source) {
        const PageLayout& layout = source.layout();
        Section section = box_layout_ ? box_section(layout) : flow_section(layout);
        std::string xml;
        bool break_before = pages_ > 0;
        // Running heads that repeat those of the page before go into the
        // section's header and footer, in a section of their own from the
        // first page that repeats them; others stay in the body, so that
        // nothing the analysis took for a running head is lost.
        std::string key = box_layout_ ? std::string() : office::running_heads_key(layout);
        bool heads_in_header = !key.empty() && (key == section_key_ || key == previous_key_);
        bool heads_change = heads_in_header && key != section_key_;
        previous_key_ = key;
        if (pages_ > 0 && (!same_size(section_, section.width, section.height) || heads_change)) {
            // The paragraph that ends a section carries its properties; the
            // next section starts on a new page by itself.
            xml += "<w:p><w:pPr><w:spacing w:after=\"0\" w:line=\"20\" w:lineRule=\"exact\"/>" +
                   word::section_properties(section_) + "</w:pPr></w:p>";
            section_ = section;
            section_key_.clear();
            break_before = false;
        } else if (pages_ == 0) {
            section_ = section;
        } else {
            // The running heads stay those of the section's first pages.
            section_.left = std::min(section_.left, section.left);
            section_.right = std::min(section_.right, section.right);
            section_.top = std::min(section_.top, section.top);
            section_.bottom = std::min(section_.bottom, section.bottom);
        }
        if (box_layout_) {
            box_.write_page(xml, source, break_before);
        } else {
            if (heads_in_header && section_key_.empty()) {
                take_running_heads(source);
                section_key_ = key;
            }
            flow_.set_running_heads_in_body(!heads_in_header);
            flow_.write_page(xml, source, break_before);
        }
        package_.append_body(xml);
        ++pages_;
    }

    void finish() { package_.finish(word::section_properties(section_)); }

private:
    // The section's header and footer: the running heads of its first page
    // that has them, at their distance from the page's edge.
    void take_running_heads(PageSource& source) {
        const PageLayout& layout = source.layout();
        for (BlockKind kind : {BlockKind::PageHeader, BlockKind::PageFooter}) {
            bool footer = kind == BlockKind::PageFooter;
            std::string& part = footer ? section_.footer_part : section_.header_part;
            std::string paragraphs = flow_.running_head(source, kind);
            if (paragraphs.empty()) continue;
            part = package_.add_running_head(footer, paragraphs);
            Rect box;
            for (const Block& block : layout.blocks)
                if (block.kind == kind) box = box.united(block.box);
            if (footer)
                section_.footer = std::max(0.0f, layout.page.height - box.y1);
            else
                section_.header = std::max(0.0f, box.y0);
        }
    }

    // A page larger than Word takes is drawn smaller, as a whole.
    static Section box_section(const PageLayout& layout) {
        Section section;
        float scale = word::box_scale(layout.page);
        section.width = office::page_side(layout.page.width * scale, 612);
        section.height = office::page_side(layout.page.height * scale, 792);
        section.left = section.right = section.top = section.bottom = 0;
        return section;
    }

    word::WordPackage package_;
    word::RunWriter runs_;
    word::FlowWriter flow_;
    word::BoxWriter box_;
    bool box_layout_;
    Section section_;
    std::string section_key_;   // the running heads in the section's header and footer
    std::string previous_key_;  // those of the page before
    int pages_ = 0;
};

class WordWriter : public Writer {
public:
    explicit WordWriter(WriterContext& context)
        : context_(context),
          links_(context.pages, context.document.page_count()),
          box_(context.options.page_layout_mode == PageLayoutMode::BOX) {}

    LayoutRequest layout_request() const override {
        LayoutRequest request;
        request.model.images = context_.options.contain_image;
        request.model.annotations = context_.options.contain_annotation;
        request.model.vectors = true;
        request.model.links = context_.options.contain_annotation;
        request.analysis.detect_tables = true;
        request.analysis.include_images = context_.options.contain_image;
        request.analysis.upright = !box_;  // frames stand where the page shows them
        return request;
    }

    void begin() override {
        if (!context_.options.output_document_per_page)
            document_ = std::make_unique<WordDocument>(context_, context_.files.output_path(), links_, box_);
    }

    void write_page(PageSource& page) override {
        if (document_ != nullptr) {
            document_->add_page(page);
            return;
        }
        links_.only_page(page.index());
        WordDocument single(context_, context_.files.page_path(page.number(), ".docx"), links_, box_);
        single.add_page(page);
        single.finish();
    }

    void finish() override {
        if (document_ != nullptr) document_->finish();
    }

private:
    WriterContext& context_;
    SelectedPages links_;
    bool box_;
    std::unique_ptr<WordDocument> document_;
};

}  // namespace

std::unique_ptr<Writer> make_word_writer(WriterContext& context) {
    PageLayoutMode mode = context.options.page_layout_mode;
    if (mode != PageLayoutMode::FLOW && mode != PageLayoutMode::BOX) fail(FOLI_ERR_INVALID_ARG, "unknown page layout mode");
    return std::make_unique<WordWriter>(context);
}

}  // namespace foli
