#include "writers/office/drawings.h"

#include <algorithm>

#include "core/errors.h"
#include "core/log.h"

namespace foli::office {
namespace {

constexpr float kMinSide = 24.0f;      // points: smaller clusters are rules and bullets
constexpr int kMinPaths = 4;           // a drawing is made of several paths
constexpr float kJoinDistance = 8.0f;  // paths this close belong to one drawing
constexpr size_t kMaxPaths = 4000;     // beyond this, the clusters are not worth finding
constexpr float kMaxTextShare = 0.3f;  // of a drawing's area that text may cover (labels)
constexpr int kMaxWords = 60;          // a drawing with more words is text in a frame
constexpr float kLabelReach = 16.0f;   // axis labels and captions this close belong to the drawing
constexpr int kMaxLabelWords = 12;

// Owns the shim's list of boxes.
struct BoxList {
    fz_context* ctx;
    fz_rect* boxes = nullptr;
    int count = 0;
    ~BoxList() { fz_free(ctx, boxes); }
};

Rect grown(const Rect& box, float by) { return {box.x0 - by, box.y0 - by, box.x1 + by, box.y1 + by}; }

struct Cluster {
    Rect box;
    int paths = 0;
};

// Greedy clustering: each path joins every cluster it comes close to, and
// the clusters it joins merge.
std::vector<Cluster> cluster(const std::vector<Rect>& boxes) {
    std::vector<Cluster> clusters;
    for (const Rect& box : boxes) {
        Cluster joined{box, 1};
        Rect reach = grown(box, kJoinDistance);
        std::vector<Cluster> kept;
        for (Cluster& existing : clusters) {
            if (existing.box.intersects(reach)) {
                joined.box = joined.box.united(existing.box);
                joined.paths += existing.paths;
            } else {
                kept.push_back(existing);
            }
        }
        kept.push_back(joined);
        clusters.swap(kept);
    }
    // A merge can bring two clusters close that were apart.
    bool merged = true;
    while (merged) {
        merged = false;
        for (size_t i = 0; i < clusters.size() && !merged; ++i)
            for (size_t j = i + 1; j < clusters.size() && !merged; ++j)
                if (grown(clusters[i].box, kJoinDistance).intersects(clusters[j].box)) {
                    clusters[i].box = clusters[i].box.united(clusters[j].box);
                    clusters[i].paths += clusters[j].paths;
                    clusters.erase(clusters.begin() + static_cast<long>(j));
                    merged = true;
                }
    }
    return clusters;
}

int word_count(const std::vector<Line>& lines) {
    int words = 0;
    for (const Line& line : lines) {
        bool in_word = false;
        for (char c : line.text()) {
            bool space = c == ' ' || c == '\t';
            if (!space && !in_word) ++words;
            in_word = !space;
        }
    }
    return words;
}

// The drawing grown by the short texts just outside it: axis labels, a
// legend, tick values.
Rect with_labels(const Rect& drawing, const PageLayout& layout) {
    Rect grown_box = drawing;
    Rect reach = grown(drawing, kLabelReach);
    for (const Block& block : layout.blocks) {
        bool text = block.kind == BlockKind::Paragraph || block.kind == BlockKind::Heading;
        if (!text || word_count(block.lines) > kMaxLabelWords) continue;
        if (!block.box.intersects(reach) || block.box.width() > 1.2f * drawing.width()) continue;
        grown_box = grown_box.united(block.box);
    }
    return grown_box;
}

}  // namespace

std::vector<Rect> page_path_boxes(const Document& document, const Page& page, bool annotations) {
    BoxList list{document.ctx()};
    foli_mu_status status = foli_mu_path_boxes(document.ctx(), page.get(), annotations, &list.boxes, &list.count);
    if (status == FOLI_MU_MEMORY) fail(FOLI_ERR_OUT_OF_MEMORY, "out of memory finding drawings");
    std::vector<Rect> boxes;
    if (status != FOLI_MU_OK) {
        log_warning("page %d: its drawings cannot be found", page.index() + 1);
        return boxes;
    }
    for (int i = 0; i < list.count; ++i) boxes.push_back({list.boxes[i].x0, list.boxes[i].y0, list.boxes[i].x1, list.boxes[i].y1});
    return boxes;
}

bool inside_drawing(const Block& block, const Rect& drawing) {
    Rect box = block.kind == BlockKind::Table ? block.table.box.united(block.box) : block.box;
    return box.area() > 0 ? box.intersected(drawing).area() >= 0.7f * box.area()
                          : drawing.contains(box.center_x(), box.center_y());
}

std::vector<Rect> find_drawings(const std::vector<Rect>& path_boxes, const PageLayout& layout) {
    Rect page{0, 0, layout.page.width, layout.page.height};
    std::vector<Rect> tables;
    for (const Block& block : layout.blocks)
        if (block.kind == BlockKind::Table) tables.push_back(grown(block.table.box.united(block.box), 2.0f));

    std::vector<Rect> candidates;
    for (const Rect& raw : path_boxes) {
        Rect box = raw.intersected(page);
        if (box.width() < 0 || box.height() < 0) continue;
        if (box.area() >= 0.9f * page.area()) continue;  // the page's background
        bool in_table = std::any_of(tables.begin(), tables.end(), [&](const Rect& table) {
            return table.contains(box.x0, box.y0) && table.contains(box.x1, box.y1);
        });
        if (!in_table) candidates.push_back(box);
    }
    if (candidates.size() > kMaxPaths) return {};

    std::vector<Rect> drawings;
    for (const Cluster& found : cluster(candidates)) {
        const Rect& box = found.box;
        if (found.paths < kMinPaths || box.width() < kMinSide || box.height() < kMinSide) continue;
        if (box.area() >= 0.9f * page.area()) continue;
        float text_area = 0;
        int words = 0;
        for (const Block& block : layout.blocks) {
            if (block.kind == BlockKind::Table && block.table.box.intersects(box)) {
                words = kMaxWords + 1;  // a table framed by paths stays a table
                break;
            }
            if (!inside_drawing(block, box)) continue;
            for (const Line& line : block.lines) text_area += line.box.area();
            words += word_count(block.lines);
        }
        if (words > kMaxWords || text_area > kMaxTextShare * box.area()) continue;
        drawings.push_back(with_labels(box, layout));
    }
    std::sort(drawings.begin(), drawings.end(), [](const Rect& a, const Rect& b) { return a.y0 < b.y0; });
    return drawings;
}

}  // namespace foli::office
