// Runs a conversion's work on a thread with a large stack of its own.
//
// MuPDF descends recursively into what a file nests: forms in forms,
// patterns, soft masks, calculator functions, nested objects. This stack
// leaves a wide margin over what the library lets MuPDF descend into; the
// stack of
// the thread that called the library (8 MB or less for a Python thread) is
// not. While the work runs, the calling thread serves the work's callback
// requests (core/progress.h), so callbacks still run on the calling thread.
#pragma once

#include <cstddef>
#include <functional>

#include "core/progress.h"

namespace foli {

constexpr size_t kWorkerStackBytes = size_t{256} << 20;

// Runs `work` to its end on a worker thread while the calling thread serves
// `bridge` (null: nothing to serve). `work` must not throw. Should no thread
// be had, the work runs on the calling thread instead, with a warning.
void run_on_worker(const std::function<void()>& work, CallerBridge* bridge);

}  // namespace foli
