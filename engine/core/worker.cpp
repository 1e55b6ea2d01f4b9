#include "core/worker.h"

#include <pthread.h>

#include <condition_variable>
#include <mutex>
#include <vector>

#include "core/log.h"

namespace foli {
namespace {

// Idle workers are kept for the next conversions: starting a thread and
// mapping its large stack for every small conversion costs more than the
// conversion itself.
constexpr size_t kMaxIdleWorkers = 4;

class Worker {
public:
    // Runs `work` on this worker and waits for it to end, serving `bridge`
    // meanwhile.
    void run(const std::function<void()>& work, CallerBridge* bridge) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            work_ = &work;
            bridge_ = bridge;
            done_ = false;
        }
        changed_.notify_all();
        if (bridge != nullptr) bridge->serve_until_closed();
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return done_; });
    }

    void retire() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            retired_ = true;
        }
        changed_.notify_all();
    }

    static void* main(void* self) {
        static_cast<Worker*>(self)->serve();
        delete static_cast<Worker*>(self);
        return nullptr;
    }

private:
    void serve() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return work_ != nullptr || retired_; });
            if (work_ == nullptr) return;
            const std::function<void()>* work = work_;
            CallerBridge* bridge = bridge_;
            lock.unlock();
            (*work)();
            if (bridge != nullptr) bridge->close();
            lock.lock();
            work_ = nullptr;
            done_ = true;
            changed_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    const std::function<void()>* work_ = nullptr;
    CallerBridge* bridge_ = nullptr;
    bool done_ = false;
    bool retired_ = false;
};

// The idle workers. Never destroyed: workers may still wait on it while
// the process exits. A forked child starts with an empty pool, since the
// parent's workers do not exist in it.
struct WorkerPool {
    std::mutex mutex;
    std::vector<Worker*> idle;
};

WorkerPool* g_pool = nullptr;
pthread_once_t g_pool_once = PTHREAD_ONCE_INIT;

void fresh_pool_in_child() { g_pool = new WorkerPool(); }

void make_pool() {
    g_pool = new WorkerPool();
    pthread_atfork(nullptr, nullptr, fresh_pool_in_child);
}

WorkerPool& pool() {
    pthread_once(&g_pool_once, make_pool);
    return *g_pool;
}

Worker* start_worker() {
    auto* worker = new Worker();
    pthread_attr_t attributes;
    bool started = pthread_attr_init(&attributes) == 0;
    pthread_t thread;
    started = started && pthread_attr_setstacksize(&attributes, kWorkerStackBytes) == 0 &&
              pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED) == 0 &&
              pthread_create(&thread, &attributes, &Worker::main, worker) == 0;
    pthread_attr_destroy(&attributes);
    if (started) return worker;
    delete worker;
    return nullptr;
}

Worker* take_worker() {
    WorkerPool& workers = pool();
    {
        std::lock_guard<std::mutex> lock(workers.mutex);
        if (!workers.idle.empty()) {
            Worker* worker = workers.idle.back();
            workers.idle.pop_back();
            return worker;
        }
    }
    return start_worker();
}

void give_back(Worker* worker) {
    WorkerPool& workers = pool();
    {
        std::lock_guard<std::mutex> lock(workers.mutex);
        if (workers.idle.size() < kMaxIdleWorkers) {
            workers.idle.push_back(worker);
            return;
        }
    }
    worker->retire();
}

}  // namespace

void run_on_worker(const std::function<void()>& work, CallerBridge* bridge) {
    Worker* worker = take_worker();
    if (worker == nullptr) {
        log_warning("cannot start a conversion thread; converting on the calling thread");
        work();
        return;
    }
    worker->run(work, bridge);
    give_back(worker);
}

}  // namespace foli
