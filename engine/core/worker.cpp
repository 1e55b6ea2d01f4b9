#include "core/worker.h"

#include <pthread.h>

#include "core/log.h"

namespace foli {
namespace {

struct WorkerStart {
    const std::function<void()>* work;
    CallerBridge* bridge;
};

void* worker_main(void* argument) {
    auto* start = static_cast<WorkerStart*>(argument);
    (*start->work)();
    if (start->bridge != nullptr) start->bridge->close();
    return nullptr;
}

bool start_worker(pthread_t* thread, WorkerStart* start) {
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) return false;
    bool started = pthread_attr_setstacksize(&attributes, kWorkerStackBytes) == 0 &&
                   pthread_create(thread, &attributes, worker_main, start) == 0;
    pthread_attr_destroy(&attributes);
    return started;
}

}  // namespace

void run_on_worker(const std::function<void()>& work, CallerBridge* bridge) {
    WorkerStart start{&work, bridge};
    pthread_t thread;
    if (!start_worker(&thread, &start)) {
        log_warning("cannot start a conversion thread; converting on the calling thread");
        work();
        return;
    }
    if (bridge != nullptr) bridge->serve_until_closed();
    pthread_join(thread, nullptr);
}

}  // namespace foli
