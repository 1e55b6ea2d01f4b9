// The OCR stage of one conversion. Pages come in the pipeline's order;
// for each, the stage builds the page model, decides from the OCROption
// whether and what to read, renders the page for recognition and hands it
// to a worker. Up to engine_count workers (each with Tesseract engines of
// its own, reused page after page) read pages at once, while the
// conversion thread prepares the next pages; results are taken back in
// page order. Nothing starts until the first page is asked for, so a
// conversion whose writer never reads text pays nothing.
//
// MuPDF is used on the conversion thread only; the workers see Leptonica
// images. Cancel is polled through Progress on the conversion thread while
// it waits, and stops the workers (inside a page, too).
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/options.h"
#include "core/progress.h"
#include "load/document.h"
#include "model/page_builder.h"
#include "ocr/ocr_library.h"
#include "ocr/page_merge.h"
#include "ocr/recognition.h"

namespace foli::ocr {

struct PreparedPage {
    PageModel model;
    std::optional<OcrPage> read;       // the words recognition added, when it ran
    bool only_recognised_text = false;  // no text of the page's own is left
    bool scan_image_kept = false;       // a scan picture under recognised text stays in the model
};

class OcrStage {
public:
    OcrStage(const Document& document, const std::vector<int>& pages, const Options& options,
             const ModelRequest& request, const Progress& progress, const std::string& resource_path);
    ~OcrStage();
    OcrStage(const OcrStage&) = delete;
    OcrStage& operator=(const OcrStage&) = delete;

    // The page's model with its recognised text. Throws OCR_FAILURE when
    // trained data is missing or Tesseract fails, CANCEL when the caller
    // stops the conversion.
    PreparedPage prepare(const Page& page);

    struct Job;

private:
    struct Slot {
        int page_index = -1;
        PageModel model;
        PageNeed need;
        std::shared_ptr<Job> job;
    };

    void start();
    void fill_window(const Page& current);
    Slot make_slot(const Page& page);
    void wait_for(Job& job);
    void work();
    void stop_workers();

    const Document& document_;
    const std::vector<int>& pages_;
    const Options& options_;
    ModelRequest request_;  // the writer's, with images always on for scan detection
    bool writer_wants_images_;
    const Progress& progress_;
    OcrSettings settings_;

    bool started_ = false;
    bool script_detection_ = false;
    bool orientation_available_ = false;
    std::vector<std::string> fixed_models_;  // chosen for the language list
    size_t next_ = 0;                        // next position in pages_ to prepare
    std::deque<Slot> window_;

    std::mutex mutex_;
    std::condition_variable work_ready_;
    std::condition_variable work_done_;
    std::deque<std::shared_ptr<Job>> queue_;
    std::atomic<bool> stop_{false};
    std::vector<std::thread> workers_;
};

}  // namespace foli::ocr
