#include "core/log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace foli {
namespace {

std::atomic<bool> g_info{false};
std::atomic<bool> g_warning{false};

void write_line(const char* level, const char* format, va_list args) {
    // One fprintf per line keeps lines from different threads whole.
    char message[1024];
    std::vsnprintf(message, sizeof message, format, args);
    std::fprintf(stderr, "[foliconversion] %s: %s\n", level, message);
}

}  // namespace

void set_logging(bool info, bool warning) {
    g_info.store(info, std::memory_order_relaxed);
    g_warning.store(warning, std::memory_order_relaxed);
}

void log_info(const char* format, ...) {
    if (!g_info.load(std::memory_order_relaxed)) return;
    va_list args;
    va_start(args, format);
    write_line("info", format, args);
    va_end(args);
}

void log_warning(const char* format, ...) {
    if (!g_warning.load(std::memory_order_relaxed)) return;
    va_list args;
    va_start(args, format);
    write_line("warning", format, args);
    va_end(args);
}

extern "C" void foli_mupdf_warning(void*, const char* message) { log_warning("mupdf: %s", message); }

// MuPDF reports every exception it throws through this callback, including
// the ones we catch and turn into result numbers, so they count as info.
extern "C" void foli_mupdf_error(void*, const char* message) { log_info("mupdf error: %s", message); }

}  // namespace foli
