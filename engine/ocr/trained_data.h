// Where Tesseract's trained data comes from: the loaded model package
// first, then the resource folder given to Initialize (as <folder>/tessdata
// or the folder itself), then the system's Tesseract data folders
// ($TESSDATA_PREFIX, then Debian's and the usual install folders).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ocr/languages.h"
#include "ocr/model_package.h"

namespace foli::ocr {

class TrainedData {
public:
    TrainedData(std::shared_ptr<const ModelPackage> package, const std::string& resource_path);

    // Whether trained data named `model` ("eng", "script/Latin", "osd") is there.
    bool has(const std::string& model) const;
    // Reads it whole; false when it is nowhere.
    bool read(const std::string& model, std::vector<char>& out) const;
    // Where it would be read from (a package or a file), for the log.
    std::string origin(const std::string& model) const;

    // The first candidate that is there. Throws OCR_FAILURE, with a log
    // line naming the file looked for, when none is.
    std::string choose(const ModelChoice& choice) const;

    const ModelPackage* package() const { return package_.get(); }
    const std::string& resource_path() const { return resource_path_; }

private:
    std::string file_for(const std::string& model) const;

    std::shared_ptr<const ModelPackage> package_;
    std::string resource_path_;
    std::vector<std::string> folders_;  // looked in, in order
};

// The file name of a model's trained data: "script/Latin.traineddata".
std::string trained_data_file(const std::string& model);

}  // namespace foli::ocr
