#include "ocr/ocr_library.h"

#include <sys/stat.h>

#include <new>

#include "core/errors.h"
#include "core/log.h"

#ifndef FOLI_VERSION_TEXT
#error "FOLI_VERSION_TEXT must be defined by the build"
#endif

namespace foli::ocr {
namespace {

std::mutex g_mutex;
std::shared_ptr<const ModelPackage> g_package;
std::shared_ptr<OcrModels> g_models;  // made for g_package and the resource folder below
std::string g_models_resource_path;
int g_engine_count = 1;

}  // namespace

std::unique_ptr<Engine> EnginePool::take(const TrainedData& data, const std::string& models, Engine::Kind kind) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        for (auto it = idle_.begin(); it != idle_.end(); ++it)
            if ((*it)->models() == models && (*it)->kind() == kind) {
                std::unique_ptr<Engine> engine = std::move(*it);
                idle_.erase(it);
                return engine;
            }
    }
    log_info("starting a Tesseract engine for %s", models.c_str());
    return std::make_unique<Engine>(data, models, kind);
}

void EnginePool::give_back(std::unique_ptr<Engine> engine) {
    if (!engine) return;
    std::lock_guard<std::mutex> guard(mutex_);
    idle_.push_back(std::move(engine));
}

size_t EnginePool::idle_count() {
    std::lock_guard<std::mutex> guard(mutex_);
    return idle_.size();
}

OcrSettings current_ocr_settings(const std::string& resource_path) {
    std::lock_guard<std::mutex> guard(g_mutex);
    if (!g_models || g_models_resource_path != resource_path) {
        g_models = std::make_shared<OcrModels>(g_package, resource_path);
        g_models_resource_path = resource_path;
    }
    return {g_models, g_engine_count};
}

_CSDKErrorCode load_model_package(const char* path, int gpu_id) {
    if (path == nullptr) return FOLI_ERR_MISSING_ARG;
    struct stat info;
    if (stat(path, &info) != 0) {
        log_warning("document-AI model %s not loaded: there is nothing at that path", path);
        return FOLI_ERR_FILE;
    }
    if (gpu_id != -1) {
        log_warning("document-AI model %s not loaded: GPU %d asked for, but this build runs models on the CPU only "
                    "(pass gpu_id -1)", path, gpu_id);
        return FOLI_ERR_INVALID_ARG;
    }
    try {
        std::shared_ptr<const ModelPackage> package = ModelPackage::load(path, FOLI_VERSION_TEXT);
        std::shared_ptr<const ModelPackage> old_package;
        std::shared_ptr<OcrModels> old_models;
        {
            std::lock_guard<std::mutex> guard(g_mutex);
            old_package = std::exchange(g_package, package);
            old_models = std::move(g_models);  // the next conversion makes models for the new package
        }
        std::string held;
        for (const std::string& model : package->models()) held += (held.empty() ? "" : ", ") + model;
        log_info("document-AI model package '%s' loaded from %s: %s", package->name().c_str(), path, held.c_str());
        // The old package and its engines go when the last conversion using them ends.
        return FOLI_ERR_SUCCESS;
    } catch (const ConversionError& error) {
        log_warning("document-AI model %s not loaded: %s", path, error.what());
        return error.code();
    } catch (const std::bad_alloc&) {
        log_warning("document-AI model %s not loaded: out of memory", path);
        return FOLI_ERR_OUT_OF_MEMORY;
    } catch (const std::exception& error) {
        log_warning("document-AI model %s not loaded: %s", path, error.what());
        return FOLI_ERR_UNKNOWN;
    }
}

void release_models() {
    std::shared_ptr<const ModelPackage> old_package;
    std::shared_ptr<OcrModels> old_models;
    {
        std::lock_guard<std::mutex> guard(g_mutex);
        old_package = std::move(g_package);
        old_models = std::move(g_models);
    }
    // Both are freed here unless a running conversion still holds them.
}

void set_engine_counts(int layout_count, int table_count) {
    int engines = layout_count < 1 ? 1 : (layout_count > kMaxEngines ? kMaxEngines : layout_count);
    {
        std::lock_guard<std::mutex> guard(g_mutex);
        g_engine_count = engines;
    }
    if (engines != layout_count)
        log_warning("document-AI model count %d is outside 1..%d; using %d", layout_count, kMaxEngines, engines);
    log_info("conversions run up to %d OCR engines at once; table model count %d (no table model in this build)",
             engines, table_count);
}

}  // namespace foli::ocr
