#include <algorithm>

#include "analysis/upright.h"
#include "core/errors.h"
#include "writers/writer.h"

namespace foli {
namespace {

// Pages surveyed at most: enough to see running heads recur and the body
// size settle, few enough to keep the memory of the waiting models small.
constexpr size_t kSurveyPages = 12;

// Up to kSurveyPages distinct pages spread evenly over the selection, in
// the selection's order.
std::vector<int> sample_pages(const std::vector<int>& pages) {
    std::vector<int> sample;
    if (pages.size() <= kSurveyPages) {
        for (int page : pages)
            if (std::find(sample.begin(), sample.end(), page) == sample.end()) sample.push_back(page);
        return sample;
    }
    for (size_t k = 0; k < kSurveyPages; ++k) {
        int page = pages[k * (pages.size() - 1) / (kSurveyPages - 1)];
        if (std::find(sample.begin(), sample.end(), page) == sample.end()) sample.push_back(page);
    }
    return sample;
}

}  // namespace

DocumentAnalysis survey_document(const Document& document, const std::vector<int>& pages,
                                 const LayoutRequest& request, const DocumentInfo& info) {
    DocumentAnalysis analysis;
    if (!request.survey) return analysis;
    std::vector<const PageModel*> models;
    for (int index : sample_pages(pages)) {
        try {
            Page page(document, index);
            PageModel model = build_page_model(document, page, request.model);
            // Surveyed as the analysis will read it (the turn is done once).
            if (request.analysis.upright) turn_upright(model);
            auto [place, added] = analysis.surveyed.emplace(index, std::move(model));
            models.push_back(&place->second);
        } catch (const ConversionError& error) {
            // Cancellation ends the conversion here as anywhere; any other
            // failure waits for the page's turn, where it is reported as
            // it would be without the survey.
            if (error.code() == FOLI_ERR_CANCEL) throw;
        }
    }
    analysis.style = survey_document(models, info.outline);
    return analysis;
}

}  // namespace foli
