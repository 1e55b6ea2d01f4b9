#include "ocr/ocr_stage.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <new>

#include "core/errors.h"
#include "core/log.h"
#include "ocr/languages.h"
#include "ocr/page_image.h"
#include "ocr/tesseract_engine.h"

namespace foli::ocr {

struct OcrStage::Job {
    // Filled by the conversion thread.
    PixPtr image;               // the page rendered in gray
    float zoom = 1;             // render pixels per point
    bool whole_page = true;     // turn upright, deskew and read everything
    std::vector<Rect> regions;  // else only these, in render pixels
    // Filled by the worker.
    bool done = false;
    OcrPage read;
    _CSDKErrorCode error = FOLI_ERR_SUCCESS;
    std::string message;
};

namespace {

constexpr float kOcrDpi = 300;
// Pages beyond this size (A2 at 300 dpi, about) are read at less than 300 dpi.
constexpr double kMaxOcrPixels = 40e6;
// Orientation and script detection's confidence below which the page is
// left as it is.
constexpr float kMinOrientationConfidence = 2.0f;
constexpr auto kCancelPoll = std::chrono::milliseconds(50);

float ocr_zoom(const Rect& bounds) {
    double zoom = kOcrDpi / 72.0;
    double pixels = bounds.width() * bounds.height() * zoom * zoom;
    if (pixels > kMaxOcrPixels) zoom *= std::sqrt(kMaxOcrPixels / pixels);
    return static_cast<float>(zoom);
}

std::string joined_models(const std::vector<std::string>& models) {
    std::string key;
    for (const std::string& model : models) key += (key.empty() ? "" : "+") + model;
    return key;
}

// The engines one worker uses, taken from the shared pool on first use and
// given back when the worker ends.
class WorkerEngines {
public:
    explicit WorkerEngines(OcrModels& models) : models_(models) {}
    ~WorkerEngines() {
        for (auto& engine : engines_) models_.pool().give_back(std::move(engine));
    }
    WorkerEngines(const WorkerEngines&) = delete;
    WorkerEngines& operator=(const WorkerEngines&) = delete;

    Engine& get(const std::string& key, Engine::Kind kind) {
        for (auto& engine : engines_)
            if (engine->models() == key && engine->kind() == kind) return *engine;
        engines_.push_back(models_.pool().take(models_.data(), key, kind));
        return *engines_.back();
    }

private:
    OcrModels& models_;
    std::vector<std::unique_ptr<Engine>> engines_;
};

}  // namespace

OcrStage::OcrStage(const Document& document, const std::vector<int>& pages, const Options& options,
                   const ModelRequest& request, const Progress& progress, const std::string& resource_path)
    : document_(document),
      pages_(pages),
      options_(options),
      request_(request),
      writer_wants_images_(request.images),
      progress_(progress),
      settings_(current_ocr_settings(resource_path)) {
    request_.images = true;
}

OcrStage::~OcrStage() { stop_workers(); }

void OcrStage::stop_workers() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        stop_ = true;
        queue_.clear();
    }
    work_ready_.notify_all();
    for (std::thread& worker : workers_) worker.join();
    workers_.clear();
}

void OcrStage::start() {
    started_ = true;
    const TrainedData& data = settings_.models->data();
    for (const ModelChoice& choice : models_for_languages(options_.languages))
        fixed_models_.push_back(data.choose(choice));  // throws OCR_FAILURE naming what is missing
    script_detection_ = wants_script_detection(options_.languages);
    orientation_available_ = data.has("osd");
    if (!orientation_available_) {
        if (script_detection_) data.choose(ModelChoice{{"osd"}});  // fails, naming osd.traineddata
        log_warning("no osd.traineddata: pages are read without orientation detection");
    }
    std::string origins;
    for (const std::string& model : fixed_models_) origins += "; " + model + " from " + data.origin(model);
    log_info("OCR with %s%s on up to %d engine(s)%s",
             fixed_models_.empty() ? "" : joined_models(fixed_models_).c_str(),
             script_detection_ ? (fixed_models_.empty() ? "script detection" : " and script detection") : "",
             settings_.engine_count, origins.c_str());
    for (int i = 0; i < settings_.engine_count; ++i) workers_.emplace_back([this] { work(); });
}

OcrStage::Slot OcrStage::make_slot(const Page& page) {
    Slot slot;
    slot.page_index = page.index();
    slot.model = build_page_model(document_, page, request_);
    slot.need = decide_reading(slot.model, options_.ocr_option);
    if (slot.need.reading == Reading::None) return slot;

    auto job = std::make_shared<Job>();
    job->zoom = ocr_zoom(page.bounds());
    PixmapHandle render = page.render(job->zoom, true, request_.annotations);
    job->image = gray_pix_from_pixmap(document_.ctx(), render.get());
    job->whole_page = slot.need.reading == Reading::Page;
    if (!job->whole_page) {
        float width = static_cast<float>(pix_width(job->image.get()));
        float height = static_cast<float>(pix_height(job->image.get()));
        for (const Rect& region : slot.need.regions) {
            Rect pixels{region.x0 * job->zoom, region.y0 * job->zoom, region.x1 * job->zoom, region.y1 * job->zoom};
            pixels = pixels.intersected({0, 0, width, height});
            if (!pixels.empty()) job->regions.push_back(pixels);
        }
    }
    slot.job = job;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        queue_.push_back(job);
    }
    work_ready_.notify_one();
    return slot;
}

// Prepares the current page and up to engine_count pages after it, so that
// every worker has a page to read while this thread waits.
void OcrStage::fill_window(const Page& current) {
    auto in_window = [&] {
        for (const Slot& slot : window_)
            if (slot.page_index == current.index()) return true;
        return false;
    };
    while (!in_window() && next_ < pages_.size()) {
        int index = pages_[next_++];
        window_.push_back(index == current.index() ? make_slot(current) : make_slot(Page(document_, index)));
    }
    if (!in_window()) window_.push_back(make_slot(current));  // a page outside the list
    while (window_.front().page_index != current.index()) window_.pop_front();
    size_t ahead = static_cast<size_t>(settings_.engine_count);
    while (window_.size() <= ahead && next_ < pages_.size()) window_.push_back(make_slot(Page(document_, pages_[next_++])));
}

void OcrStage::wait_for(Job& job) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!work_done_.wait_for(lock, kCancelPoll, [&] { return job.done; })) {
        lock.unlock();
        bool cancel = progress_.cancel_requested();
        lock.lock();
        if (cancel) {
            stop_ = true;
            lock.unlock();
            work_ready_.notify_all();
            fail(FOLI_ERR_CANCEL, "cancelled");
        }
    }
}

PreparedPage OcrStage::prepare(const Page& page) {
    if (!started_) start();
    fill_window(page);
    Slot slot = std::move(window_.front());
    window_.pop_front();

    PreparedPage prepared;
    prepared.model = std::move(slot.model);
    if (slot.job) {
        wait_for(*slot.job);
        if (slot.job->error != FOLI_ERR_SUCCESS) fail(slot.job->error, slot.job->message);
        OcrPage read = std::move(slot.job->read);
        read.scan = slot.need.scan;
        bool keep_scan = options_.contain_page_background_image && writer_wants_images_;
        MergeResult merged = merge_recognised(prepared.model, read, slot.need, keep_scan);
        prepared.only_recognised_text = merged.only_recognised_text;
        prepared.scan_image_kept = slot.need.scan && keep_scan;
        log_info("page %d: %d recognised word(s) with %s (turned %d, deskewed %.2f degrees)", page.index() + 1,
                 merged.words_added, read.models.c_str(), read.rotation, read.skew);
        prepared.read = std::move(read);
    }
    if (!writer_wants_images_) prepared.model.images.clear();
    return prepared;
}

// ------------------------------------------------------------------ workers

namespace {

struct PageReading {
    const std::vector<std::string>& fixed_models;
    bool script_detection;
    bool orientation_available;
    bool layout_analysis;
    const TrainedData& data;
    const std::atomic<bool>& stop;
};

std::string models_for_page(const PageReading& how, const Orientation* orientation) {
    std::vector<std::string> models;
    if (how.script_detection) {
        ModelChoice choice = orientation != nullptr ? models_for_script(orientation->script) : ModelChoice{{"eng"}};
        models.push_back(how.data.choose(choice));
    }
    for (const std::string& model : how.fixed_models)
        if (std::find(models.begin(), models.end(), model) == models.end()) models.push_back(model);
    return joined_models(models);
}

// Reads one page: upright and deskewed when it is read whole.
void read_page(OcrStage::Job& job, WorkerEngines& engines, const PageReading& how) {
    OcrPage& read = job.read;
    read.pixels_per_point = job.zoom;
    Affine page_to_frame = Affine::scale(job.zoom, job.zoom);
    PixPtr frame = std::move(job.image);

    Orientation orientation;
    bool oriented = false;
    if (how.orientation_available && (job.whole_page || how.script_detection))
        oriented = detect_orientation(engines.get("osd", Engine::Kind::Orientation), frame.get(), orientation);
    if (job.whole_page) {
        if (oriented && orientation.rotation != 0 && orientation.confidence >= kMinOrientationConfidence) {
            Affine turn;
            frame = rotate_orthogonally(frame.get(), orientation.rotation, turn);
            page_to_frame = page_to_frame.then(turn);
            read.rotation = orientation.rotation;
        }
        if (float skew = find_skew(frame.get()); skew != 0) {
            Affine turn;
            frame = rotate_about_centre(frame.get(), skew, turn);
            page_to_frame = page_to_frame.then(turn);
            read.skew = skew;
        }
    }
    read.frame_to_page = page_to_frame.inverse();
    read.models = models_for_page(how, oriented ? &orientation : nullptr);

    RecognitionSettings settings;
    settings.layout_analysis = how.layout_analysis && job.whole_page;
    settings.dpi = static_cast<int>(std::lround(job.zoom * 72));
    bool stopped = false;
    read.blocks = recognise(engines.get(read.models, Engine::Kind::Recognition), frame.get(), settings, job.regions,
                            how.stop, stopped);
    if (stopped) fail(FOLI_ERR_CANCEL, "cancelled");
}

}  // namespace

void OcrStage::work() {
    keep_tesseract_on_this_thread();
    WorkerEngines engines(*settings_.models);
    PageReading how{fixed_models_, script_detection_, orientation_available_, options_.enable_ai_layout,
                    settings_.models->data(), stop_};
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            work_ready_.wait(lock, [&] { return stop_.load() || !queue_.empty(); });
            if (stop_) return;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        try {
            read_page(*job, engines, how);
        } catch (const ConversionError& error) {
            job->error = error.code();
            job->message = error.what();
        } catch (const std::bad_alloc&) {
            job->error = FOLI_ERR_OUT_OF_MEMORY;
            job->message = "out of memory in OCR";
        } catch (const std::exception& error) {
            job->error = FOLI_ERR_OCR_FAILURE;
            job->message = std::string("OCR failed: ") + error.what();
        }
        {
            std::lock_guard<std::mutex> guard(mutex_);
            job->done = true;
        }
        work_done_.notify_all();
    }
}

}  // namespace foli::ocr
