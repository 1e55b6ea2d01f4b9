// analyze_page: the analysis stages in order. Tables are taken out first:
// ruled ones from the raw lines, so that no merge joins text across a
// rule; aligned ones after lines on one row are merged (aligned code is
// joined into whole lines instead). Then every line, table and image is
// put in reading order, and the runs of lines between tables and images
// become paragraphs, headings and list items.
#include "analysis/layout.h"

#include <algorithm>
#include <iterator>

#include "analysis/fragments.h"
#include "analysis/paragraphs.h"
#include "analysis/reading_order.h"
#include "analysis/tables.h"

namespace foli {
namespace {

// Images smaller than this (points, either side) are rules, bullets or
// spacers rather than pictures; so are images of one or two pixels.
constexpr float kMinImageSide = 4.0f;
constexpr int kMinImagePixels = 3;
// An image covering this share of a page that also holds text is the
// page's background.
constexpr float kBackgroundShare = 0.9f;

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

bool is_content_image(const ImageItem& image, const PageModel& page, bool page_has_text) {
    Rect box = image.box.intersected({0, 0, page.width, page.height});
    if (box.width() < kMinImageSide || box.height() < kMinImageSide) return false;
    if (image.pixel_width < kMinImagePixels || image.pixel_height < kMinImagePixels) return false;
    return !(page_has_text && box.area() >= kBackgroundShare * page.width * page.height);
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

class PageAnalysis {
public:
    PageAnalysis(const PageModel& page, const AnalysisOptions& options, DocumentStyle* style)
        : page_(page), options_(options), style_(style) {}

    std::vector<Block> run(float& body_size) {
        std::vector<Fragment> raw = collect_fragments(page_);
        const bool page_has_text = !raw.empty();
        body_size = dominant_font_size(raw);
        std::vector<bool> used(raw.size(), false);
        tables_ = find_ruled_tables(page_, raw, used);
        fragments_ = merge_row_fragments(take_unused(raw, used));
        used.assign(fragments_.size(), false);
        std::vector<std::vector<int>> code_rows;
        std::vector<Table> aligned = find_aligned_tables(fragments_, used, body_size, code_rows);
        std::move(aligned.begin(), aligned.end(), std::back_inserter(tables_));
        join_rows(fragments_, code_rows, used);
        collect_units(used, page_has_text);
        return blocks_in_order(body_size);
    }

private:
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
            if (is_content_image(page_.images[i], page_, page_has_text))
                add_unit(Unit::Kind::Image, static_cast<int>(i),
                         page_.images[i].box.intersected({0, 0, page_.width, page_.height}));
    }

    std::vector<Block> blocks_in_order(float body_size) {
        std::vector<Block> blocks;
        std::vector<Fragment> text_run;
        auto flush_text = [&] {
            build_text_blocks(text_run, body_size, blocks);
            text_run.clear();
        };
        for (int index : reading_order(boxes_, std::max(6.0f, body_size))) {
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
        number_headings(blocks, body_size, style_);
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
};

}  // namespace

std::string TableCell::text() const { return paragraph_text(lines); }

PageLayout analyze_page(PageModel page, const AnalysisOptions& options, DocumentStyle* style) {
    PageLayout layout;
    layout.blocks = PageAnalysis(page, options, style).run(layout.body_font_size);
    layout.page = std::move(page);
    return layout;
}

}  // namespace foli
