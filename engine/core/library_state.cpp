#include "core/library_state.h"

#include <mutex>
#include <utility>

#include "core/errors.h"
#include "core/log.h"

namespace foli {
namespace {

// Guards only the exchange of the pointer below, never a conversion.
std::mutex g_state_mutex;
std::shared_ptr<LibraryState> g_state;

}  // namespace

std::shared_ptr<LibraryState> LibraryState::acquire() {
    std::lock_guard<std::mutex> guard(g_state_mutex);
    if (!g_state) g_state = std::make_shared<LibraryState>(std::string());
    return g_state;
}

void LibraryState::initialize(const char* resource_path) {
    auto fresh = std::make_shared<LibraryState>(resource_path ? resource_path : "");
    std::shared_ptr<LibraryState> old;
    {
        std::lock_guard<std::mutex> guard(g_state_mutex);
        old = std::exchange(g_state, std::move(fresh));
    }
    log_info("initialized with resource folder '%s'", resource_path ? resource_path : "(built-in)");
    // `old` is destroyed here, outside the lock, once no conversion uses it.
}

void LibraryState::release() {
    std::shared_ptr<LibraryState> old;
    {
        std::lock_guard<std::mutex> guard(g_state_mutex);
        old = std::move(g_state);
    }
}

Context::Context(std::shared_ptr<LibraryState> state) : state_(std::move(state)) {
    ctx_ = foli_mu_new_context();
    if (ctx_ == nullptr) fail(FOLI_ERR_OUT_OF_MEMORY, "cannot create a MuPDF context");
    foli_mu_set_message_callbacks(ctx_, foli_mupdf_warning, foli_mupdf_error, nullptr);
}

Context::~Context() { fz_drop_context(ctx_); }

}  // namespace foli
