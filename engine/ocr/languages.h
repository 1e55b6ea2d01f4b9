// Which Tesseract models read which OCRLanguage, and which model reads the
// script that orientation and script detection reports for a page.
#pragma once

#include <string>
#include <vector>

#include "core/options.h"

namespace foli::ocr {

// One language of the option record as Tesseract models: the model names
// that can read it, best first ("rus", then the Cyrillic-script model
// "script/Cyrillic"); a language that needs several models at once
// (ESLAV: rus, ukr and bel) lists one choice per model.
struct ModelChoice {
    std::vector<std::string> candidates;
};

// The models a language list asks for, each choice once, in order. An
// empty list and UNKNOWN mean English; AUTO asks for none here (the page's
// script decides, see models_for_script).
std::vector<ModelChoice> models_for_languages(const std::vector<OCRLanguage>& languages);

// Whether the list asks for script detection on every page.
bool wants_script_detection(const std::vector<OCRLanguage>& languages);

// The model choice for a script name as orientation and script detection
// reports it ("Latin", "Han", "Cyrillic", ...). Unknown scripts read as
// English.
ModelChoice models_for_script(const std::string& script);

}  // namespace foli::ocr
