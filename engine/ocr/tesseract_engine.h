// One Tesseract engine: a TessBaseAPI initialised once for a set of
// trained data ("eng+chi_sim") or for orientation and script detection
// ("osd"), then used for page after page by one thread at a time.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "ocr/page_image.h"
#include "ocr/recognition.h"
#include "ocr/trained_data.h"

namespace tesseract {
class TessBaseAPI;
}

namespace foli::ocr {

class Engine {
public:
    enum class Kind { Recognition, Orientation };

    // Throws OCR_FAILURE when Tesseract cannot load the trained data.
    Engine(const TrainedData& data, std::string models, Kind kind);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    const std::string& models() const { return models_; }
    Kind kind() const { return kind_; }
    tesseract::TessBaseAPI& api() { return *api_; }

private:
    std::unique_ptr<tesseract::TessBaseAPI> api_;
    std::string models_;
    Kind kind_;
};

struct Orientation {
    int rotation = 0;  // degrees clockwise that turn the image upright
    float confidence = 0;
    std::string script;  // "Latin", "Han", ...
    float script_confidence = 0;
};

// Orientation and script of the text in the image (an "osd" engine).
// False when the image holds too little text to tell.
bool detect_orientation(Engine& engine, Pix* pix, Orientation& result);

struct RecognitionSettings {
    bool layout_analysis = true;  // Tesseract's blocks and columns; off: one block of lines
    int dpi = 300;
};

// Reads the image (or only `regions` of it, in image pixels) and returns
// its blocks of lines of words. `stop` is watched between words; when it
// is set, recognition ends early and `stopped` says so.
std::vector<OcrBlock> recognise(Engine& engine, Pix* pix, const RecognitionSettings& settings,
                                const std::vector<Rect>& regions, const std::atomic<bool>& stop, bool& stopped);

// Keeps any OpenMP parallelism inside Tesseract on the calling thread:
// parallel OCR runs one engine per thread, so more threads per engine would
// only fight over the cores.
void keep_tesseract_on_this_thread();

}  // namespace foli::ocr
