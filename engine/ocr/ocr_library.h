// The library-wide OCR state behind LibraryManager's document-AI model
// functions: the loaded model package, how many engines a conversion may
// run at once, and the idle Tesseract engines kept for later conversions.
//
// A conversion takes a snapshot when it starts (OcrSettings) and keeps the
// models of that snapshot, with their engines, until it ends, whatever
// SetDocumentAIModel, ReleaseDocumentAIModel or Release do meanwhile on
// other threads; the mutex below guards only the exchange of pointers.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "folia/conversion/foli_conversion_api.h"
#include "ocr/tesseract_engine.h"
#include "ocr/trained_data.h"

namespace foli::ocr {

// Engines idle between pages and conversions, by the trained data they
// were made for.
class EnginePool {
public:
    // An idle engine for `models`, or a new one (which may throw).
    std::unique_ptr<Engine> take(const TrainedData& data, const std::string& models, Engine::Kind kind);
    void give_back(std::unique_ptr<Engine> engine);
    size_t idle_count();

private:
    std::mutex mutex_;
    std::vector<std::unique_ptr<Engine>> idle_;
};

// One source of trained data and the engines made from it.
class OcrModels {
public:
    OcrModels(std::shared_ptr<const ModelPackage> package, const std::string& resource_path)
        : data_(std::move(package), resource_path) {}

    const TrainedData& data() const { return data_; }
    EnginePool& pool() { return pool_; }

private:
    TrainedData data_;
    EnginePool pool_;
};

struct OcrSettings {
    std::shared_ptr<OcrModels> models;
    int engine_count = 1;
};

// What a conversion starting now works with, for the resource folder of
// its library state.
OcrSettings current_ocr_settings(const std::string& resource_path);

// SetDocumentAIModel: loads and checks a package, which replaces the loaded
// one on success; on failure the loaded one stays. Returns MISSING_ARG for
// a null path, FILE_ERROR when nothing is at the path, INVALID_ARG for a
// GPU index other than -1 (this build runs on the CPU only), else what
// ModelPackage::load reports.
_CSDKErrorCode load_model_package(const char* path, int gpu_id);
// ReleaseDocumentAIModel: unloads the package and frees the idle engines.
void release_models();
// SetDocumentAIModelCount: engines per conversion (at least one, at most
// kMaxEngines); the table model count has nothing to size in this build.
void set_engine_counts(int layout_count, int table_count);
constexpr int kMaxEngines = 32;

}  // namespace foli::ocr
