// Process-wide state of the library: the resource folder and the base MuPDF
// context that every conversion clones its own context from.
//
// The state is reference counted. A conversion takes a reference when it
// starts and works on it to its end, so Initialize or Release on another
// thread never pulls anything from under a running conversion; no global
// lock is held while a conversion runs.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "load/mupdf_shim.h"

namespace foli {

class LibraryState {
public:
    // The current state, made with the built-in defaults on first use.
    static std::shared_ptr<LibraryState> acquire();
    // Replaces the current state; null selects the built-in defaults.
    static void initialize(const char* resource_path);
    // Drops the current state; the next acquire() starts afresh.
    static void release();

    explicit LibraryState(std::string resource_path);
    ~LibraryState();
    LibraryState(const LibraryState&) = delete;
    LibraryState& operator=(const LibraryState&) = delete;

    const std::string& resource_path() const { return resource_path_; }
    fz_context* base_context() const { return base_; }

private:
    static void lock(void* user, int index);
    static void unlock(void* user, int index);

    std::string resource_path_;
    std::mutex mutexes_[FZ_LOCK_MAX];
    fz_locks_context locks_{};
    fz_context* base_ = nullptr;
};

// A MuPDF context of one's own, cloned from the state's base context. It
// keeps the state alive for as long as it lives.
class Context {
public:
    explicit Context(std::shared_ptr<LibraryState> state);
    ~Context();
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    fz_context* get() const { return ctx_; }
    const LibraryState& state() const { return *state_; }

private:
    std::shared_ptr<LibraryState> state_;
    fz_context* ctx_ = nullptr;
};

}  // namespace foli
