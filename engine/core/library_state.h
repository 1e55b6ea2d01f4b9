// Process-wide state of the library: what Initialize was given.
//
// The state is reference counted. A conversion takes a reference when it
// starts and works on it to its end, so Initialize or Release on another
// thread never pulls anything from under a running conversion; no global
// lock is held while a conversion runs.
//
// Every conversion works in a MuPDF context of its own that shares nothing
// with other contexts. Contexts cloned from one base context would share
// its store and font caches, but also its allocation lock, which MuPDF
// takes for every allocation: with two conversions running, that one lock
// serialised them (two threads gained about 1.3x over one after the
// other). Independent contexts need no locks at all.
#pragma once

#include <memory>
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

    explicit LibraryState(std::string resource_path) : resource_path_(std::move(resource_path)) {}

    const std::string& resource_path() const { return resource_path_; }

private:
    std::string resource_path_;
};

// A MuPDF context of one's own, for one thread at a time. It keeps the
// library state it was made under alive for as long as it lives.
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
