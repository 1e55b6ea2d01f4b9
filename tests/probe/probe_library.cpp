// Probe build of libfoliconversionsdk: the same exported interface as the
// real library, but instead of converting anything it records exactly what
// the caller handed over and answers what the test told it to. Tests drive
// it through the plain C functions named probe_* (see probe_control.py,
// which mirrors ProbeCall field for field).
//
// During a conversion the probe can run a short script: call the record's
// progress function, poll its cancel function, or block on a gate that a
// test opens from another thread. The record's function fields are read
// afresh at every step, because the caller may change them meanwhile.
#include <dlfcn.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "folia/common/library_manager.h"
#include "folia/conversion/foli_conversion_api.h"

#define PROBE_API extern "C" __attribute__((visibility("default")))

namespace {

// Which exported function a recorded call went to.
enum ProbeFunction : int32_t {
    kWord = 0,
    kExcel,
    kPpt,
    kHtml,
    kImage,
    kMarkdown,
    kRtf,
    kTxt,
    kJson,
    kSearchablePdf,
    kOfd,
    kInitialize,
    kRelease,
    kReleaseDocumentAIModel,
    kSetLogger,
    kGetVersion,
    kGetPageCount,
    kSetDocumentAIModel,
    kSetDocumentAIModelCount,
};

enum ProbeActionKind : int32_t {
    kActionProgress = 1,
    kActionCancel = 2,
    kActionGate = 3,
};

constexpr int kTextCapacity = 1024;
constexpr int kMaxLanguages = 64;
constexpr int kMaxActions = 32;
constexpr int kMaxCalls = 256;

// Every field below is a 32-bit integer or a byte array whose size is a
// multiple of four, so the layout has no padding and the ctypes mirror is
// a plain field-by-field copy.
struct ProbeText {
    int32_t is_null;
    int32_t length;              // full length up to the terminating NUL
    char bytes[kTextCapacity];   // the first bytes of it, rest zero
};

struct ProbeActionRecord {
    int32_t kind;
    int32_t thread_id;
    int32_t function_present;  // the record's function field was set
    int32_t answer;            // cancel: the answer; gate: 1 opened, 0 timed out
    int32_t lock_held;         // interpreter lock state just before the step
};

struct ProbeCall {
    int32_t function;
    int32_t thread_id;
    int32_t lock_held;  // 1 held, 0 not held, -1 unknown (no interpreter found)
    int32_t result;     // what the probe answered, as a number
    ProbeText texts[3];
    int32_t bool_args[2];
    int32_t int_args[2];
    uint8_t option[sizeof(_CConvertOption)];
    int32_t languages_null;
    int32_t languages_copied;
    int32_t languages[kMaxLanguages];
    int32_t callback_null;
    uint8_t callback[sizeof(CConvertCallback)];
    int32_t action_count;
    ProbeActionRecord actions[kMaxActions];
};

static_assert(sizeof(_CConvertOption) % 4 == 0 && sizeof(CConvertCallback) % 4 == 0,
              "byte arrays keep the record free of padding");

struct ProbeAction {
    int32_t kind;
    int32_t first;
    int32_t second;
};

struct Answers {
    int conversion_result = 0;
    int page_count = 0;
    int ai_model_result = 0;
    bool write_version = true;
    char version[folia::common::kVersionBufferSize] = "probe";
    std::vector<ProbeAction> script;
    bool script_on_own_thread = false;
};

std::mutex g_mutex;  // guards everything below except the gate
Answers g_answers;
ProbeCall g_calls[kMaxCalls];
int g_call_count = 0;

// The gate: a counter of openings that blocked steps consume one by one.
std::mutex g_gate_mutex;
std::condition_variable g_gate_changed;
int g_gate_openings = 0;
int g_gate_waiting = 0;
int g_gate_timeout_ms = 20000;

int native_thread_id() { return static_cast<int>(syscall(SYS_gettid)); }

// Whether the calling thread holds the interpreter lock. The probe does not
// link against Python; it looks the check up in whatever process loaded it.
int interpreter_lock_held() {
    using Check = int (*)();
    static const Check check = reinterpret_cast<Check>(dlsym(RTLD_DEFAULT, "PyGILState_Check"));
    return check != nullptr ? check() : -1;
}

void copy_text(ProbeText& out, const char* text) {
    out = ProbeText{};
    out.is_null = text == nullptr;
    if (text == nullptr) return;
    const size_t length = std::strlen(text);
    out.length = static_cast<int32_t>(length);
    std::memcpy(out.bytes, text, std::min(length, static_cast<size_t>(kTextCapacity)));
}

// Claims the next slot of the log and fills in what every call has.
// Returns null once the log is full; the call is still counted.
ProbeCall* begin_call(ProbeFunction function, int result) {
    std::lock_guard<std::mutex> lock(g_mutex);
    const int index = g_call_count++;
    if (index >= kMaxCalls) return nullptr;
    ProbeCall& call = g_calls[index];
    call = ProbeCall{};
    call.function = function;
    call.thread_id = native_thread_id();
    call.lock_held = interpreter_lock_held();
    call.result = result;
    return &call;
}

// Records the texts and plain arguments of a LibraryManager call: the
// texts in argument order, then the bool or int arguments in argument order.
void record_arguments(ProbeFunction function, int result, const char* first_text, const char* second_text,
                      int first_value = 0, int second_value = 0) {
    ProbeCall* call = begin_call(function, result);
    if (call == nullptr) return;
    std::lock_guard<std::mutex> lock(g_mutex);
    copy_text(call->texts[0], first_text);
    copy_text(call->texts[1], second_text);
    copy_text(call->texts[2], nullptr);
    call->bool_args[0] = call->int_args[0] = first_value;
    call->bool_args[1] = call->int_args[1] = second_value;
}

void record_conversion(ProbeCall* call, const char* file_path, const char* password, const char* output_path,
                       const _CConvertOption& options, const CConvertCallback* callback) {
    if (call == nullptr) return;
    std::lock_guard<std::mutex> lock(g_mutex);
    copy_text(call->texts[0], file_path);
    copy_text(call->texts[1], password);
    copy_text(call->texts[2], output_path);
    std::memcpy(call->option, &options, sizeof options);
    call->languages_null = options.languages == nullptr;
    const int copied = options.languages == nullptr ? 0 : std::clamp(options.language_count, 0, kMaxLanguages);
    for (int i = 0; i < copied; ++i) call->languages[i] = options.languages[i];
    call->languages_copied = copied;
    call->callback_null = callback == nullptr;
    if (callback != nullptr) std::memcpy(call->callback, callback, sizeof *callback);
}

void record_action(ProbeCall* call, const ProbeActionRecord& action) {
    if (call == nullptr) return;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (call->action_count < kMaxActions) call->actions[call->action_count++] = action;
}

// Blocks until the test opens the gate once, or the timeout passes (so a
// broken caller fails the test instead of hanging it). True when opened.
bool pass_gate() {
    std::unique_lock<std::mutex> lock(g_gate_mutex);
    ++g_gate_waiting;
    g_gate_changed.notify_all();
    const bool opened = g_gate_changed.wait_for(lock, std::chrono::milliseconds(g_gate_timeout_ms),
                                                [] { return g_gate_openings > 0; });
    if (opened) --g_gate_openings;
    --g_gate_waiting;
    g_gate_changed.notify_all();
    return opened;
}

// Reads the function fields through volatile pointers: the caller may
// rewrite the record from a callback while the script runs.
template <typename Function>
Function read_field(Function const& field) {
    return *static_cast<Function const volatile*>(&field);
}

ProbeActionRecord run_action(const ProbeAction& action, CConvertCallback* callback) {
    ProbeActionRecord done{};
    done.kind = action.kind;
    done.thread_id = native_thread_id();
    done.lock_held = interpreter_lock_held();
    if (action.kind == kActionProgress) {
        auto progress = callback != nullptr ? read_field(callback->progress_func) : nullptr;
        done.function_present = progress != nullptr;
        if (progress != nullptr) progress(action.first, action.second);
    } else if (action.kind == kActionCancel) {
        auto cancel = callback != nullptr ? read_field(callback->cancel_func) : nullptr;
        done.function_present = cancel != nullptr;
        if (cancel != nullptr) done.answer = cancel() ? 1 : 0;
    } else if (action.kind == kActionGate) {
        done.answer = pass_gate() ? 1 : 0;
    }
    return done;
}

void run_script(const std::vector<ProbeAction>& script, CConvertCallback* callback, ProbeCall* call) {
    for (const ProbeAction& action : script) record_action(call, run_action(action, callback));
}

_CSDKErrorCode convert(ProbeFunction function, const char* file_path, const char* password,
                       const char* output_path, const _CConvertOption& options, CConvertCallback* callback) {
    std::vector<ProbeAction> script;
    bool own_thread = false;
    int result = 0;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        script = g_answers.script;
        own_thread = g_answers.script_on_own_thread;
        result = g_answers.conversion_result;
    }
    ProbeCall* call = begin_call(function, result);
    record_conversion(call, file_path, password, output_path, options, callback);
    if (own_thread) {
        std::thread worker(run_script, std::cref(script), callback, call);
        worker.join();
    } else {
        run_script(script, callback, call);
    }
    return static_cast<_CSDKErrorCode>(result);
}

}  // namespace

// ---- The library interface -------------------------------------------------

#define PROBE_CONVERSION(name, function)                                                         \
    _CSDKErrorCode name(const char* file_path, const char* password, const char* output_path,   \
                        _CConvertOption options, CConvertCallback* callback) {                  \
        return convert(function, file_path, password, output_path, options, callback);          \
    }

extern "C" {
PROBE_CONVERSION(FOLI_StartPDFToWord, kWord)
PROBE_CONVERSION(FOLI_StartPDFToExcel, kExcel)
PROBE_CONVERSION(FOLI_StartPDFToPpt, kPpt)
PROBE_CONVERSION(FOLI_StartPDFToHtml, kHtml)
PROBE_CONVERSION(FOLI_StartPDFToImage, kImage)
PROBE_CONVERSION(FOLI_StartPDFToMarkdown, kMarkdown)
PROBE_CONVERSION(FOLI_StartPDFToRtf, kRtf)
PROBE_CONVERSION(FOLI_StartPDFToTxt, kTxt)
PROBE_CONVERSION(FOLI_StartPDFToJson, kJson)
PROBE_CONVERSION(FOLI_StartPDFToSearchablePDF, kSearchablePdf)
PROBE_CONVERSION(FOLI_StartPDFToOfd, kOfd)
}

namespace folia::common {

void LibraryManager::Initialize(const char* resource_path) {
    record_arguments(kInitialize, 0, resource_path, nullptr);
}

void LibraryManager::Release() { record_arguments(kRelease, 0, nullptr, nullptr); }

void LibraryManager::ReleaseDocumentAIModel() { record_arguments(kReleaseDocumentAIModel, 0, nullptr, nullptr); }

void LibraryManager::SetLogger(bool enable_info, bool enable_warning) {
    record_arguments(kSetLogger, 0, nullptr, nullptr, enable_info, enable_warning);
}

void LibraryManager::GetVersion(char* version) {
    record_arguments(kGetVersion, 0, nullptr, nullptr);
    std::lock_guard<std::mutex> lock(g_mutex);
    if (version != nullptr && g_answers.write_version)
        std::memcpy(version, g_answers.version, sizeof g_answers.version);
}

int LibraryManager::GetPageCount(const char* file_path, const char* password) {
    int page_count = 0;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        page_count = g_answers.page_count;
    }
    record_arguments(kGetPageCount, page_count, file_path, password);
    return page_count;
}

folia::base::ErrorCode LibraryManager::SetDocumentAIModel(const char* file_path, int gpu_id) {
    int result = 0;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        result = g_answers.ai_model_result;
    }
    record_arguments(kSetDocumentAIModel, result, file_path, nullptr, gpu_id);
    return static_cast<folia::base::ErrorCode>(result);
}

void LibraryManager::SetDocumentAIModelCount(int layout_model_count, int table_model_count) {
    record_arguments(kSetDocumentAIModelCount, 0, nullptr, nullptr, layout_model_count, table_model_count);
}

}  // namespace folia::common

// ---- Control interface for the tests ---------------------------------------

PROBE_API int probe_record_size() { return static_cast<int>(sizeof(ProbeCall)); }

PROBE_API void probe_reset() {
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_answers = Answers{};
        g_call_count = 0;
    }
    std::lock_guard<std::mutex> lock(g_gate_mutex);
    g_gate_openings = 0;
    g_gate_timeout_ms = 20000;
}

PROBE_API int probe_call_count() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_call_count;
}

// Copies call `index` into `out`; -1 when no such call was recorded.
PROBE_API int probe_get_call(int index, ProbeCall* out) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (index < 0 || index >= std::min(g_call_count, kMaxCalls) || out == nullptr) return -1;
    *out = g_calls[index];
    return 0;
}

PROBE_API int probe_lock_check_available() { return interpreter_lock_held() >= 0; }

PROBE_API void probe_set_result(int result) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_answers.conversion_result = result;
}

PROBE_API void probe_set_page_count(int page_count) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_answers.page_count = page_count;
}

PROBE_API void probe_set_ai_model_result(int result) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_answers.ai_model_result = result;
}

// The text GetVersion writes, NUL added; -1 when it would not fit the
// caller's buffer. write = 0 makes GetVersion leave the buffer untouched.
PROBE_API int probe_set_version(const char* bytes, int length, int write) {
    if (length < 0 || length >= folia::common::kVersionBufferSize) return -1;
    std::lock_guard<std::mutex> lock(g_mutex);
    std::memset(g_answers.version, 0, sizeof g_answers.version);
    if (bytes != nullptr) std::memcpy(g_answers.version, bytes, static_cast<size_t>(length));
    g_answers.write_version = write != 0;
    return 0;
}

PROBE_API void probe_script_clear() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_answers.script.clear();
}

// Appends one step to the script every conversion runs; -1 when full or
// the kind is unknown.
PROBE_API int probe_script_add(int kind, int first, int second) {
    if (kind < kActionProgress || kind > kActionGate) return -1;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_answers.script.size() >= static_cast<size_t>(kMaxActions)) return -1;
    g_answers.script.push_back(ProbeAction{kind, first, second});
    return 0;
}

PROBE_API void probe_script_on_own_thread(int own_thread) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_answers.script_on_own_thread = own_thread != 0;
}

PROBE_API void probe_gate_open(int count) {
    std::lock_guard<std::mutex> lock(g_gate_mutex);
    g_gate_openings += std::max(count, 0);
    g_gate_changed.notify_all();
}

PROBE_API void probe_gate_set_timeout(int timeout_ms) {
    std::lock_guard<std::mutex> lock(g_gate_mutex);
    g_gate_timeout_ms = timeout_ms;
}

// Waits until `count` steps are blocked on the gate; 1 when they are, 0
// after `timeout_ms`. Called through ctypes, so Python threads run meanwhile.
PROBE_API int probe_gate_wait_for_waiters(int count, int timeout_ms) {
    std::unique_lock<std::mutex> lock(g_gate_mutex);
    return g_gate_changed.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                   [count] { return g_gate_waiting >= count; })
               ? 1
               : 0;
}
