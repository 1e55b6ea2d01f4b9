// analyze_page: the analysis stages in order. Running heads are taken out
// first (they stay out of the flow). Then tables:
// ruled ones from the raw lines, so that no merge joins text across a
// rule; aligned ones after lines on one row are merged (aligned code is
// joined into whole lines instead). Then every line, table and image is
// put in reading order, and the runs of lines between tables and images
// become paragraphs, headings and list items.
#include "analysis/layout.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "analysis/fragments.h"
#include "analysis/headings.h"
#include "analysis/paragraphs.h"
#include "analysis/reading_order.h"
#include "analysis/running_heads.h"
#include "analysis/tables.h"
#include "analysis/upright.h"

namespace foli {
namespace {

// Images smaller than this (points, either side) are rules, bullets or
// spacers rather than pictures; so are images of one or two pixels.
constexpr float kMinImageSide = 4.0f;
constexpr int kMinImagePixels = 3;
// An image covering this share of a page that also holds text is the
// page's background.
constexpr float kBackgroundShare = 0.9f;
// Characters in one size, and their share of the page's, that make it
// the page's own body size.
constexpr int kPageBodyChars = 150;
constexpr float kPageBodyShare = 0.6f;

struct Unit {
    enum class Kind { Text, Table, Image } kind;
    int index;  // into the fragments, tables or page images
};

std::vector<Fragment> take_unused(std::vector<Fragment>& fragments, const std::vector<bool>& used) {
    std::vector<Fragment> rest;
    rest.reserve(fragments.size());
    for (size_t i = 0; i < fragments.size(); ++i)
        if (!used[i]) rest.push_back(std::move(fragments[i]));
    return rest;
}

bool is_content_image(const ImageItem& image, const PageModel& page, bool page_has_text, bool keep_background) {
    Rect box = image.box.intersected({0, 0, page.width, page.height});
    if (box.width() < kMinImageSide || box.height() < kMinImageSide) return false;
    if (image.pixel_width < kMinImagePixels || image.pixel_height < kMinImagePixels) return false;
    return keep_background || !(page_has_text && box.area() >= kBackgroundShare * page.width * page.height);
}

// Text units in the order given, every other unit before the first text
// unit whose top lies below its own.
std::vector<int> given_order(const std::vector<Unit>& units, const std::vector<Rect>& boxes) {
    std::vector<int> order, others;
    for (size_t i = 0; i < units.size(); ++i)
        (units[i].kind == Unit::Kind::Text ? order : others).push_back(static_cast<int>(i));
    std::sort(order.begin(), order.end(), [&](int a, int b) { return units[a].index < units[b].index; });
    std::stable_sort(others.begin(), others.end(), [&](int a, int b) { return boxes[a].y0 < boxes[b].y0; });
    for (int other : others) {
        auto place = std::find_if(order.begin(), order.end(), [&](int unit) {
            return units[unit].kind == Unit::Kind::Text && boxes[unit].y0 > boxes[other].y0;
        });
        order.insert(place, other);
    }
    return order;
}

// With table detection off, a table found anyway reads as one paragraph
// per row, so that its text keeps the order of its rows.
void append_rows_as_paragraphs(Table& table, std::vector<Block>& blocks) {
    for (int row = 0; row < table.rows; ++row) {
        Block block;
        for (TableCell& cell : table.cells) {
            if (cell.row != row) continue;
            for (Line& line : cell.lines) {
                block.box = block.box.united(line.box);
                block.lines.push_back(std::move(line));
            }
        }
        if (!block.lines.empty()) blocks.push_back(std::move(block));
    }
}

// The page a block's text links to inside the document, or -1.
int link_target(const Block& block, const PageModel& page) {
    for (const Line& line : block.lines)
        for (const Span& span : line.spans) {
            if (span.link.empty()) continue;
            for (const LinkItem& link : page.links)
                if (link.uri == span.link && link.target_page >= 0) return link.target_page;
        }
    return -1;
}

class PageAnalysis {
public:
    PageAnalysis(const PageModel& page, const AnalysisOptions& options, DocumentStyle* style)
        : page_(page), options_(options), style_(style) {}

    std::vector<Block> run(float& page_body_size) {
        std::vector<Fragment> raw = collect_fragments(page_);
        const bool page_has_text = !raw.empty();
        page_body_size = dominant_font_size(raw);
        const float body_size = judged_body_size(raw, page_body_size);
        if (style_ != nullptr) learn_margins(raw, page_, *style_);
        // Ruled tables first: rows of a table that runs down to the bottom
        // margin repeat from page to page like a footer, and stay the table's.
        std::vector<bool> used(raw.size(), false);
        tables_ = find_ruled_tables(page_, raw, used);
        raw = take_running_heads(take_unused(raw, used), body_size);
        fragments_ = merge_row_fragments(std::move(raw));
        used.assign(fragments_.size(), false);
        std::vector<std::vector<int>> code_rows;
        std::vector<Table> aligned = find_aligned_tables(fragments_, used, page_body_size, code_rows);
        std::move(aligned.begin(), aligned.end(), std::back_inserter(tables_));
        join_rows(fragments_, code_rows, used);
        collect_units(used, page_has_text);
        std::vector<Block> blocks = std::move(headers_);
        std::vector<Block> body = blocks_in_order(page_body_size, body_size);
        std::move(body.begin(), body.end(), std::back_inserter(blocks));
        std::move(footers_.begin(), footers_.end(), std::back_inserter(blocks));
        return blocks;
    }

private:
    // The document's body size, unless this page sets a good deal of text
    // in a larger size: that is this page's body text, not its headings
    // (an appendix in a larger size than the index pages that dominate
    // the selection).
    float judged_body_size(const std::vector<Fragment>& raw, float page_body_size) const {
        if (style_ == nullptr || style_->body_size <= 0) return page_body_size;
        if (page_body_size <= style_->body_size + 0.5f) return style_->body_size;
        int chars = 0, all = 0;
        for (const Fragment& fragment : raw)
            for (const Span& span : fragment.line.spans) {
                int count = visible_chars(span.text);
                all += count;
                if (std::fabs(span.size - page_body_size) <= 0.25f) chars += count;
            }
        bool body = chars >= kPageBodyChars && chars >= kPageBodyShare * static_cast<float>(all);
        return body ? page_body_size : style_->body_size;
    }

    void add_unit(Unit::Kind kind, int index, const Rect& box) {
        units_.push_back({kind, index});
        boxes_.push_back(box);
    }

    void collect_units(const std::vector<bool>& used, bool page_has_text) {
        for (size_t i = 0; i < fragments_.size(); ++i)
            if (!used[i]) add_unit(Unit::Kind::Text, static_cast<int>(i), text_core(fragments_[i].box()));
        for (size_t i = 0; i < tables_.size(); ++i) add_unit(Unit::Kind::Table, static_cast<int>(i), tables_[i].box);
        if (!options_.include_images) return;
        for (size_t i = 0; i < page_.images.size(); ++i)
            if (is_content_image(page_.images[i], page_, page_has_text, options_.keep_page_background))
                add_unit(Unit::Kind::Image, static_cast<int>(i),
                         page_.images[i].box.intersected({0, 0, page_.width, page_.height}));
    }

    // Moves the running heads into page header and footer blocks, a block
    // per row, and returns the other fragments.
    std::vector<Fragment> take_running_heads(std::vector<Fragment> fragments, float body_size) {
        std::vector<MarginRole> roles = find_running_heads(fragments, page_, style_, body_size);
        std::vector<bool> margin(fragments.size(), false);
        for (size_t i = 0; i < fragments.size(); ++i) margin[i] = roles[i] != MarginRole::None;
        for (const std::vector<int>& row : group_rows(fragments, margin)) {
            Block block;
            block.kind = roles[row.front()] == MarginRole::Header ? BlockKind::PageHeader : BlockKind::PageFooter;
            for (int index : row) {
                block.box = block.box.united(fragments[index].box());
                block.lines.push_back(std::move(fragments[index].line));
            }
            (block.kind == BlockKind::PageHeader ? headers_ : footers_).push_back(std::move(block));
        }
        return take_unused(fragments, margin);
    }

    std::vector<Block> blocks_in_order(float page_body_size, float body_size) {
        std::vector<Block> blocks;
        std::vector<Fragment> text_run;
        auto flush_text = [&] {
            build_text_blocks(text_run, body_size, blocks);
            text_run.clear();
        };
        std::vector<int> order = options_.keep_text_order ? given_order(units_, boxes_)
                                                          : reading_order(boxes_, std::max(6.0f, page_body_size));
        for (int index : order) {
            const Unit& unit = units_[index];
            if (unit.kind == Unit::Kind::Text) {
                text_run.push_back(std::move(fragments_[unit.index]));
                continue;
            }
            flush_text();
            if (unit.kind == Unit::Kind::Table) {
                add_table(tables_[unit.index], blocks);
            } else {
                Block block;
                block.kind = BlockKind::Image;
                block.box = boxes_[index];
                block.image = unit.index;
                blocks.push_back(std::move(block));
            }
        }
        flush_text();
        assign_heading_levels(blocks, page_, body_size, style_);
        for (Block& block : blocks)
            if (block.kind == BlockKind::ContentsEntry) block.target_page = link_target(block, page_);
        return blocks;
    }

    void add_table(Table& table, std::vector<Block>& blocks) const {
        if (!options_.detect_tables) {
            append_rows_as_paragraphs(table, blocks);
            return;
        }
        Block block;
        block.kind = BlockKind::Table;
        block.box = table.box;
        block.table = std::move(table);
        blocks.push_back(std::move(block));
    }

    const PageModel& page_;
    const AnalysisOptions& options_;
    DocumentStyle* style_;
    std::vector<Fragment> fragments_;
    std::vector<Table> tables_;
    std::vector<Unit> units_;
    std::vector<Rect> boxes_;
    std::vector<Block> headers_, footers_;
};

}  // namespace

std::string TableCell::text() const { return paragraph_text(lines); }

PageLayout analyze_page(PageModel page, const AnalysisOptions& options, DocumentStyle* style) {
    if (options.upright) turn_upright(page);
    PageLayout layout;
    layout.blocks = PageAnalysis(page, options, style).run(layout.body_font_size);
    layout.page = std::move(page);
    return layout;
}

}  // namespace foli
