#include "ocr/tesseract_engine.h"

#include <dlfcn.h>
#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "core/errors.h"
#include "core/log.h"

namespace foli::ocr {
namespace {

// Tesseract asks for "<data path><model>.traineddata"; this data path is
// only a prefix the reader below takes off again.
constexpr const char* kDataPath = "/foliant-trained-data/";
constexpr const char* kSuffix = ".traineddata";

// Tesseract's file reader is a plain function; the trained data it reads
// from is the one of the engine being initialised on this thread.
thread_local const TrainedData* t_reading = nullptr;

bool read_trained_data(const char* filename, std::vector<char>* data) {
    if (t_reading == nullptr || filename == nullptr) return false;
    std::string name = filename;
    size_t prefix = std::strlen(kDataPath), suffix = std::strlen(kSuffix);
    if (name.size() <= prefix + suffix || name.compare(0, prefix, kDataPath) != 0 ||
        name.compare(name.size() - suffix, suffix, kSuffix) != 0)
        return false;
    return t_reading->read(name.substr(prefix, name.size() - prefix - suffix), *data);
}

class ReadingFrom {
public:
    explicit ReadingFrom(const TrainedData& data) { t_reading = &data; }
    ~ReadingFrom() { t_reading = nullptr; }
};

// Tesseract's and Leptonica's own messages go nowhere: the library logs
// what matters itself. Tesseract's message file is a process-wide setting.
void quieten_once() {
    static std::once_flag once;
    std::call_once(once, [] {
        setMsgSeverity(L_SEVERITY_NONE);
        tesseract::TessBaseAPI api;
        api.SetVariable("debug_file", "/dev/null");
    });
}

bool cancel_when_stopped(void* stop, int) { return static_cast<const std::atomic<bool>*>(stop)->load(); }

Rect box_of(tesseract::ResultIterator& it, tesseract::PageIteratorLevel level) {
    int left = 0, top = 0, right = 0, bottom = 0;
    it.BoundingBox(level, &left, &top, &right, &bottom);
    return {static_cast<float>(left), static_cast<float>(top), static_cast<float>(right), static_cast<float>(bottom)};
}

bool has_visible_text(const char* text) {
    for (const char* c = text; *c != '\0'; ++c)
        if (*c != ' ' && *c != '\t' && *c != '\n' && *c != '\r') return true;
    return false;
}

void collect(tesseract::ResultIterator& it, std::vector<OcrBlock>& blocks) {
    using tesseract::RIL_BLOCK;
    using tesseract::RIL_TEXTLINE;
    using tesseract::RIL_WORD;
    if (it.Empty(RIL_WORD)) return;
    do {
        if (it.IsAtBeginningOf(RIL_BLOCK) || blocks.empty()) blocks.emplace_back();
        if (it.IsAtBeginningOf(RIL_TEXTLINE) || blocks.back().lines.empty()) {
            OcrLine line;
            line.box = box_of(it, RIL_TEXTLINE);
            blocks.back().lines.push_back(std::move(line));
        }
        std::unique_ptr<char[]> text(it.GetUTF8Text(RIL_WORD));
        if (!text || !has_visible_text(text.get())) continue;
        OcrWord word;
        word.text = text.get();
        word.box = box_of(it, RIL_WORD);
        word.confidence = it.Confidence(RIL_WORD);
        blocks.back().lines.back().words.push_back(std::move(word));
    } while (it.Next(RIL_WORD));
}

void drop_empty(std::vector<OcrBlock>& blocks) {
    for (OcrBlock& block : blocks) {
        auto& lines = block.lines;
        lines.erase(std::remove_if(lines.begin(), lines.end(), [](const OcrLine& l) { return l.words.empty(); }),
                    lines.end());
    }
    blocks.erase(std::remove_if(blocks.begin(), blocks.end(), [](const OcrBlock& b) { return b.lines.empty(); }),
                 blocks.end());
}

}  // namespace

Engine::Engine(const TrainedData& data, std::string models, Kind kind)
    : api_(std::make_unique<tesseract::TessBaseAPI>()), models_(std::move(models)), kind_(kind) {
    quieten_once();
    ReadingFrom reading(data);
    auto init = [&](tesseract::OcrEngineMode mode) {
        return api_->Init(kDataPath, 0, models_.c_str(), mode, nullptr, 0, nullptr, nullptr, false,
                          read_trained_data) == 0;
    };
    bool ready = kind == Kind::Orientation ? init(tesseract::OEM_TESSERACT_ONLY)
                                           : init(tesseract::OEM_LSTM_ONLY) || init(tesseract::OEM_DEFAULT);
    if (!ready) {
        log_warning("Tesseract cannot load the trained data %s (from %s)", models_.c_str(),
                    data.origin(models_.substr(0, models_.find('+'))).c_str());
        fail(FOLI_ERR_OCR_FAILURE, "cannot load OCR trained data " + models_);
    }
}

Engine::~Engine() {
    if (api_) api_->End();
}

bool detect_orientation(Engine& engine, Pix* pix, Orientation& result) {
    tesseract::TessBaseAPI& api = engine.api();
    api.SetPageSegMode(tesseract::PSM_OSD_ONLY);
    api.SetImage(pix);
    int degrees = 0;
    float confidence = 0, script_confidence = 0;
    const char* script = nullptr;
    bool found = api.DetectOrientationScript(&degrees, &confidence, &script, &script_confidence);
    api.Clear();
    if (!found) return false;
    // Tesseract reports how far the text is turned; turning the image
    // back the other way makes it upright.
    result.rotation = (360 - degrees) % 360;
    result.confidence = confidence;
    result.script = script != nullptr ? script : "";
    result.script_confidence = script_confidence;
    return true;
}

std::vector<OcrBlock> recognise(Engine& engine, Pix* pix, const RecognitionSettings& settings,
                                const std::vector<Rect>& regions, const std::atomic<bool>& stop, bool& stopped) {
    tesseract::TessBaseAPI& api = engine.api();
    api.SetPageSegMode(settings.layout_analysis ? tesseract::PSM_AUTO : tesseract::PSM_SINGLE_BLOCK);
    api.SetImage(pix);
    api.SetSourceResolution(settings.dpi);
    std::vector<OcrBlock> blocks;
    std::vector<Rect> areas = regions;
    if (areas.empty()) areas.push_back({0, 0, static_cast<float>(pix_width(pix)), static_cast<float>(pix_height(pix))});
    stopped = false;
    for (const Rect& area : areas) {
        int left = static_cast<int>(area.x0), top = static_cast<int>(area.y0);
        int width = static_cast<int>(area.x1) - left, height = static_cast<int>(area.y1) - top;
        if (width <= 0 || height <= 0) continue;
        api.SetRectangle(left, top, width, height);
        tesseract::ETEXT_DESC monitor;
        monitor.cancel = cancel_when_stopped;
        monitor.cancel_this = const_cast<std::atomic<bool>*>(&stop);
        int status = api.Recognize(&monitor);
        if (stop.load()) {
            stopped = true;
            break;
        }
        if (status != 0) continue;  // nothing to read in this area
        std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
        if (it) collect(*it, blocks);
    }
    api.Clear();
    drop_empty(blocks);
    return blocks;
}

void keep_tesseract_on_this_thread() {
    // OpenMP is there only when Tesseract was built with it; its maximum
    // of nested active parallel regions is a setting of each thread.
    using SetLevels = void (*)(int);
    static SetLevels set_levels = reinterpret_cast<SetLevels>(dlsym(RTLD_DEFAULT, "omp_set_max_active_levels"));
    if (set_levels != nullptr) set_levels(0);
}

}  // namespace foli::ocr
