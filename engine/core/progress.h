// Progress reports and cancel polls through the caller's callback record.
// The record's function fields are read at every call: the caller may set
// or clear them while the conversion runs.
#pragma once

#include "folia/conversion/foli_conversion_api.h"

namespace foli {

class Progress {
public:
    Progress(const CConvertCallback* callback, int total_pages) : callback_(callback), total_(total_pages) {}

    // True once the caller asked to stop; asked before every page and once
    // more after the last one.
    bool cancel_requested() const {
        if (callback_ == nullptr) return false;
        bool (*cancel)(void) = callback_->cancel_func;
        return cancel != nullptr && cancel();
    }

    // Reports that `done` of the total pages are finished.
    void pages_done(int done) const {
        if (callback_ == nullptr) return;
        void (*progress)(int, int) = callback_->progress_func;
        if (progress != nullptr) progress(done, total_);
    }

private:
    const CConvertCallback* callback_;
    int total_;
};

}  // namespace foli
