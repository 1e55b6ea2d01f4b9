#include "ocr/trained_data.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

#include "core/errors.h"
#include "core/log.h"

namespace foli::ocr {
namespace {

bool is_file(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string joined(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::vector<std::string> search_folders(const std::string& resource_path) {
    std::vector<std::string> folders;
    if (!resource_path.empty()) {
        folders.push_back(joined(resource_path, "tessdata"));
        folders.push_back(resource_path);
    }
    if (const char* prefix = std::getenv("TESSDATA_PREFIX"); prefix != nullptr && *prefix != '\0') {
        folders.push_back(prefix);
        folders.push_back(joined(prefix, "tessdata"));
    }
    for (const char* folder : {"/usr/share/tesseract-ocr/5/tessdata", "/usr/share/tesseract-ocr/4.00/tessdata",
                               "/usr/share/tessdata", "/usr/local/share/tessdata"})
        folders.emplace_back(folder);
    return folders;
}

bool read_file(const std::string& path, std::vector<char>& out) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    out.clear();
    char chunk[1 << 16];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) out.insert(out.end(), chunk, chunk + got);
    bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

}  // namespace

std::string trained_data_file(const std::string& model) { return model + ".traineddata"; }

TrainedData::TrainedData(std::shared_ptr<const ModelPackage> package, const std::string& resource_path)
    : package_(std::move(package)), resource_path_(resource_path), folders_(search_folders(resource_path)) {}

std::string TrainedData::file_for(const std::string& model) const {
    for (const std::string& folder : folders_) {
        std::string path = joined(folder, trained_data_file(model));
        if (is_file(path)) return path;
    }
    return {};
}

bool TrainedData::has(const std::string& model) const {
    return (package_ && package_->trained_data(model) != nullptr) || !file_for(model).empty();
}

bool TrainedData::read(const std::string& model, std::vector<char>& out) const {
    if (package_) {
        if (const std::vector<char>* data = package_->trained_data(model)) {
            out = *data;
            return true;
        }
    }
    std::string path = file_for(model);
    return !path.empty() && read_file(path, out);
}

std::string TrainedData::origin(const std::string& model) const {
    if (package_ && package_->trained_data(model) != nullptr) return "model package " + package_->path();
    std::string path = file_for(model);
    return path.empty() ? std::string("nowhere") : path;
}

std::string TrainedData::choose(const ModelChoice& choice) const {
    for (const std::string& model : choice.candidates)
        if (has(model)) return model;
    std::string wanted = choice.candidates.empty() ? std::string("eng") : choice.candidates.front();
    std::string file = trained_data_file(wanted);
    std::string looked = package_ ? "the model package " + package_->path() : std::string("no model package");
    for (const std::string& folder : folders_) looked += ", " + folder;
    log_warning("OCR trained data %s not found (looked in %s)", file.c_str(), looked.c_str());
    fail(FOLI_ERR_OCR_FAILURE, "missing OCR trained data " + file);
}

}  // namespace foli::ocr
