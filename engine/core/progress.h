// Progress reports and cancel polls through the caller's callback record.
//
// A conversion runs on a worker thread of its own (core/worker.h), but the
// caller's callback functions may only be called on the thread that started
// the conversion: the Python module's bridge reaches Python only there. So
// every report and poll travels through a CallerBridge to the calling
// thread, which waits for the worker and serves them one at a time, and the
// answer travels back. The record's function fields are read by the calling
// thread at every call: the caller may set or clear them while the
// conversion runs.
//
// Progress is the one way the pipeline, the writers and the page-running
// machinery report progress and ask whether to stop. Any thread of the
// conversion may use it.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include "folia/conversion/foli_conversion_api.h"

namespace foli {

class CallerBridge {
public:
    // Remembers the calling thread: the one that made the bridge.
    explicit CallerBridge(const CConvertCallback* callback);
    CallerBridge(const CallerBridge&) = delete;
    CallerBridge& operator=(const CallerBridge&) = delete;

    // Any thread: runs the caller's function on the calling thread (at once
    // when called there) and returns its answer. After close(), the cancel
    // poll answers false and reports go nowhere.
    bool ask_cancel();
    void report_progress(int done, int total);

    // Calling thread: serves requests until close() is called.
    void serve_until_closed();
    // The worker's last act: wakes the calling thread for good.
    void close();

private:
    enum class Request { None, Cancel, Progress };

    bool on_calling_thread() const { return std::this_thread::get_id() == calling_thread_; }
    bool perform(Request request, int done, int total) const;
    bool relay(Request request, int done, int total);

    const CConvertCallback* callback_;
    std::thread::id calling_thread_;

    std::mutex one_request_at_a_time_;
    std::mutex mutex_;
    std::condition_variable changed_;
    Request pending_ = Request::None;
    int done_ = 0;
    int total_ = 0;
    bool answer_ = false;
    bool closed_ = false;
};

class Progress {
public:
    // A null bridge (no callback record) makes every poll answer false.
    Progress(CallerBridge* bridge, int total_pages) : bridge_(bridge), total_(total_pages) {}

    // True once the caller asked to stop; asked before every page, once
    // more after the last one, and from inside a page's interpretation
    // (see page_poll_due).
    bool cancel_requested() const { return bridge_ != nullptr && bridge_->ask_cancel(); }

    // Reports that `done` of the total pages are finished.
    void pages_done(int done) const {
        if (bridge_ != nullptr) bridge_->report_progress(done, total_);
    }

    // For the page-running machinery (foli_run_watch in load/mupdf_shim.h),
    // which asks it between a long page's drawing operations: a C callback
    // that polls cancel, `user` being the Progress.
    static int cancel_requested_hook(void* user) noexcept;

private:
    CallerBridge* bridge_;
    int total_;
};

}  // namespace foli
