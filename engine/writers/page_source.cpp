#include "ocr/ocr_stage.h"
#include "writers/writer.h"

namespace foli {

PageSource::PageSource(const Document& document, int index, const LayoutRequest& request,
                       DocumentAnalysis* analysis, ocr::OcrStage* ocr)
    : document_(document), page_(document, index), request_(request), analysis_(analysis), ocr_(ocr) {}

PageSource::~PageSource() = default;

PageModel PageSource::take_model() {
    if (analysis_ != nullptr) {
        auto found = analysis_->surveyed.find(page_.index());
        if (found != analysis_->surveyed.end()) {
            PageModel model = std::move(found->second);
            analysis_->surveyed.erase(found);
            return model;
        }
    }
    return build_page_model(document_, page_, request_.model);
}

void PageSource::prepare_recognition() {
    if (prepared_) return;
    // The OCR stage builds the page's model itself (with its images, to
    // tell scans); a model the survey made of this page is not needed.
    if (analysis_ != nullptr) analysis_->surveyed.erase(page_.index());
    prepared_ = std::make_unique<ocr::PreparedPage>(ocr_->prepare(page_));
}

const PageLayout& PageSource::layout() {
    if (layout_) return *layout_;
    DocumentStyle* style = analysis_ ? &analysis_->style : nullptr;
    if (ocr_ == nullptr) {
        layout_ = analyze_page(take_model(), request_.analysis, style);
        return *layout_;
    }
    prepare_recognition();
    AnalysisOptions analysis = request_.analysis;
    // Recognition reads a page in its own order (Tesseract's blocks, or
    // plain lines), upright even when the scan is not.
    analysis.keep_text_order = prepared_->only_recognised_text;
    analysis.keep_page_background = prepared_->scan_image_kept;
    layout_ = analyze_page(std::move(prepared_->model), analysis, style);
    return *layout_;
}

const ocr::OcrPage* PageSource::recognised() {
    if (ocr_ == nullptr) return nullptr;
    prepare_recognition();
    return prepared_->read ? &*prepared_->read : nullptr;
}

}  // namespace foli
