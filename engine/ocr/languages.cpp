#include "ocr/languages.h"

#include <algorithm>

namespace foli::ocr {
namespace {

ModelChoice one(std::initializer_list<const char*> names) {
    ModelChoice choice;
    for (const char* name : names) choice.candidates.emplace_back(name);
    return choice;
}

std::vector<ModelChoice> choices_for(OCRLanguage language) {
    switch (language) {
    case OCRLanguage::UNKNOWN:
    case OCRLanguage::ENGLISH: return {one({"eng"})};
    case OCRLanguage::CHINESE: return {one({"chi_sim"})};
    case OCRLanguage::CHINESE_TRA: return {one({"chi_tra"})};
    case OCRLanguage::KOREAN: return {one({"kor"})};
    case OCRLanguage::JAPANESE: return {one({"jpn"})};
    case OCRLanguage::LATIN: return {one({"script/Latin"})};
    case OCRLanguage::DEVANAGARI: return {one({"hin", "script/Devanagari"})};
    case OCRLanguage::CYRILLIC: return {one({"rus", "script/Cyrillic"})};
    case OCRLanguage::ARABIC: return {one({"ara"})};
    case OCRLanguage::TAMIL: return {one({"tam"})};
    case OCRLanguage::TELUGU: return {one({"tel"})};
    case OCRLanguage::KANNADA: return {one({"kan"})};
    case OCRLanguage::THAI: return {one({"tha"})};
    case OCRLanguage::GREEK: return {one({"ell"})};
    case OCRLanguage::ESLAV: return {one({"rus"}), one({"ukr"}), one({"bel"})};
    case OCRLanguage::AUTO: return {};
    }
    // A number no member carries reads as English, like UNKNOWN.
    return {one({"eng"})};
}

bool same_choice(const ModelChoice& a, const ModelChoice& b) { return a.candidates == b.candidates; }

}  // namespace

std::vector<ModelChoice> models_for_languages(const std::vector<OCRLanguage>& languages) {
    std::vector<ModelChoice> models;
    for (OCRLanguage language : languages)
        for (ModelChoice& choice : choices_for(language))
            if (std::none_of(models.begin(), models.end(), [&](const ModelChoice& m) { return same_choice(m, choice); }))
                models.push_back(std::move(choice));
    if (models.empty() && !wants_script_detection(languages)) models.push_back(one({"eng"}));
    return models;
}

bool wants_script_detection(const std::vector<OCRLanguage>& languages) {
    return std::find(languages.begin(), languages.end(), OCRLanguage::AUTO) != languages.end();
}

ModelChoice models_for_script(const std::string& script) {
    struct Entry {
        const char* script;
        const char* models[3];  // best first, unused places null
    };
    // Script names as the orientation and script model reports them.
    static const Entry table[] = {
        {"Latin", {"eng", "script/Latin"}},
        {"Han", {"chi_sim", "chi_tra", "script/HanS"}},
        {"Japanese", {"jpn", "script/Japanese"}},
        {"Katakana", {"jpn", "script/Japanese"}},
        {"Hiragana", {"jpn", "script/Japanese"}},
        {"Hangul", {"kor", "script/Hangul"}},
        {"Korean", {"kor", "script/Hangul"}},
        {"Cyrillic", {"rus", "script/Cyrillic"}},
        {"Arabic", {"ara", "script/Arabic"}},
        {"Devanagari", {"hin", "script/Devanagari"}},
        {"Greek", {"ell", "script/Greek"}},
        {"Thai", {"tha", "script/Thai"}},
        {"Tamil", {"tam", "script/Tamil"}},
        {"Telugu", {"tel", "script/Telugu"}},
        {"Kannada", {"kan", "script/Kannada"}},
        {"Hebrew", {"heb", "script/Hebrew"}},
    };
    for (const Entry& entry : table) {
        if (script != entry.script) continue;
        ModelChoice choice;
        for (const char* model : entry.models)
            if (model != nullptr) choice.candidates.emplace_back(model);
        return choice;
    }
    return one({"eng"});
}

}  // namespace foli::ocr
