#include "core/progress.h"

namespace foli {

CallerBridge::CallerBridge(const CConvertCallback* callback)
    : callback_(callback), calling_thread_(std::this_thread::get_id()) {}

bool CallerBridge::perform(Request request, int done, int total) const {
    if (callback_ == nullptr) return false;
    if (request == Request::Cancel) {
        bool (*cancel)(void) = callback_->cancel_func;
        return cancel != nullptr && cancel();
    }
    void (*progress)(int, int) = callback_->progress_func;
    if (progress != nullptr) progress(done, total);
    return false;
}

bool CallerBridge::relay(Request request, int done, int total) {
    if (callback_ == nullptr) return false;
    if (on_calling_thread()) return perform(request, done, total);
    // Requests from several threads of one conversion go one after another.
    std::lock_guard<std::mutex> turn(one_request_at_a_time_);
    std::unique_lock<std::mutex> lock(mutex_);
    if (closed_) return false;
    pending_ = request;
    done_ = done;
    total_ = total;
    changed_.notify_all();
    changed_.wait(lock, [this] { return pending_ == Request::None; });
    return answer_;
}

bool CallerBridge::ask_cancel() { return relay(Request::Cancel, 0, 0); }

void CallerBridge::report_progress(int done, int total) { relay(Request::Progress, done, total); }

void CallerBridge::serve_until_closed() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return pending_ != Request::None || closed_; });
        if (pending_ == Request::None) return;  // closed, nothing left to serve
        Request request = pending_;
        int done = done_, total = total_;
        lock.unlock();
        bool answer = true;  // a callback that throws stops the conversion
        try {
            answer = perform(request, done, total);
        } catch (...) {
        }
        lock.lock();
        answer_ = answer;
        pending_ = Request::None;
        changed_.notify_all();
    }
}

void CallerBridge::close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    changed_.notify_all();
}

int Progress::cancel_requested_hook(void* user) noexcept {
    return static_cast<const Progress*>(user)->cancel_requested() ? 1 : 0;
}

}  // namespace foli
