// The library's own log: one line per message on standard error, with a
// prefix, switched by LibraryManager::SetLogger. MuPDF's messages are
// routed here and never reach the terminal on their own.
#pragma once

namespace foli {

void set_logging(bool info, bool warning);
void log_info(const char* format, ...) __attribute__((format(printf, 1, 2)));
void log_warning(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Callbacks handed to every MuPDF context.
extern "C" void foli_mupdf_warning(void* user, const char* message);
extern "C" void foli_mupdf_error(void* user, const char* message);

}  // namespace foli
