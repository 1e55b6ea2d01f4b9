// The document-AI model package (docs/model-package.md): a folder, a ZIP
// file or a tar file holding manifest.json and the models it lists with
// their SHA-256 checksums. This build runs Tesseract models: OCR trained
// data and the orientation and script model. A package is read and checked
// whole when it is loaded; its models then stay in memory until it is
// released, shared by every conversion that started while it was loaded.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "folia/conversion/foli_conversion_api.h"

namespace foli::ocr {

// The manifest format this build reads, and the library version packages
// are checked against.
constexpr int kPackageFormatVersion = 1;
constexpr const char* kPackageFormat = "foliant-document-ai-models";

class ModelPackage {
public:
    // Reads and checks the package. Throws ConversionError with
    // FILE_ERROR (nothing at `path`), INVALID_MODEL_FORMAT (not a package,
    // a damaged manifest, a missing model, a checksum that does not match),
    // MODEL_FORMAT_UNSUPPORTED (a newer format version),
    // MODEL_SDK_MISMATCH (made for another library version) or
    // MODEL_FUNCTION_UNSUPPORTED (a required model this build cannot run).
    static std::shared_ptr<const ModelPackage> load(const std::string& path, const std::string& library_version);

    const std::string& name() const { return name_; }
    const std::string& path() const { return path_; }

    // The Tesseract trained data named `model` ("eng", "script/Latin",
    // "osd"), or null when the package does not hold it.
    const std::vector<char>* trained_data(const std::string& model) const;
    std::vector<std::string> models() const;

private:
    std::string name_;
    std::string path_;
    std::map<std::string, std::vector<char>> trained_data_;
};

// Compares dotted version numbers ("0.1.0" < "0.10"); missing parts count
// as zero. False when either is not a version.
bool version_less(const std::string& a, const std::string& b, bool& valid);

}  // namespace foli::ocr
