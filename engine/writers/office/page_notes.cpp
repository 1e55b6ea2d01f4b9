#include "writers/office/page_notes.h"

#include <cmath>

#include "core/errors.h"
#include "core/log.h"

namespace foli::office {
namespace {

// Owns the shim's list of notes.
class NoteList {
public:
    NoteList(fz_context* ctx, fz_page* page) : ctx_(ctx) { status_ = foli_mu_load_notes(ctx, page, &notes_, &count_); }
    ~NoteList() { foli_mu_drop_notes(ctx_, notes_, count_); }
    NoteList(const NoteList&) = delete;
    NoteList& operator=(const NoteList&) = delete;

    foli_mu_status status() const { return status_; }
    int count() const { return count_; }
    const foli_note& operator[](int i) const { return notes_[i]; }

private:
    fz_context* ctx_;
    foli_note* notes_ = nullptr;
    int count_ = 0;
    foli_mu_status status_;
};

float gap(const Rect& a, const Rect& b) {
    float dx = std::fmax(0.0f, std::fmax(a.x0 - b.x1, b.x0 - a.x1));
    float dy = std::fmax(0.0f, std::fmax(a.y0 - b.y1, b.y0 - a.y1));
    return std::sqrt(dx * dx + dy * dy);
}

}  // namespace

std::vector<PageNote> page_notes(const Document& document, const Page& page) {
    NoteList list(document.ctx(), page.get());
    if (list.status() == FOLI_MU_MEMORY) fail(FOLI_ERR_OUT_OF_MEMORY, "out of memory reading annotations");
    std::vector<PageNote> notes;
    if (list.status() != FOLI_MU_OK) {
        log_warning("page %d: its annotations cannot be read", page.index() + 1);
        return notes;
    }
    for (int i = 0; i < list.count(); ++i) {
        const foli_note& note = list[i];
        notes.push_back({{note.box.x0, note.box.y0, note.box.x1, note.box.y1}, note.contents, note.author});
    }
    return notes;
}

std::vector<int> nearest_boxes(const std::vector<PageNote>& notes, const std::vector<Rect>& boxes) {
    std::vector<int> chosen;
    for (const PageNote& note : notes) {
        int best = -1;
        float best_overlap = 0, best_gap = 0;
        for (size_t i = 0; i < boxes.size(); ++i) {
            float overlap = note.box.intersected(boxes[i]).area();
            float distance = gap(note.box, boxes[i]);
            bool better = best < 0 || overlap > best_overlap || (overlap == best_overlap && distance < best_gap);
            if (better) {
                best = static_cast<int>(i);
                best_overlap = overlap;
                best_gap = distance;
            }
        }
        chosen.push_back(best);
    }
    return chosen;
}

}  // namespace foli::office
