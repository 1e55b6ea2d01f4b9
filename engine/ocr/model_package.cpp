#include "ocr/model_package.h"

#include <cctype>
#include <cstdio>

#include "core/errors.h"
#include "core/log.h"
#include "load/mupdf_archive.h"
#include "load/mupdf_handle.h"
#include "ocr/json.h"

namespace foli::ocr {
namespace {

using json::Value;
using ArchiveHandle = MuHandle<fz_archive, fz_drop_archive>;

constexpr const char* kManifest = "manifest.json";
// A manifest is a few kilobytes; a bigger one is not a manifest.
constexpr size_t kMaxManifestBytes = 1 << 20;

[[noreturn]] void refuse(_CSDKErrorCode code, const std::string& why) { fail(code, "model package: " + why); }
[[noreturn]] void invalid(const std::string& why) { refuse(FOLI_ERR_INVALID_MODEL_FORMAT, why); }

// The model entries this build can run.
struct ModelEntry {
    std::string kind;  // "ocr" or "orientation"
    std::string name;  // trained data name: "eng", "script/Latin", "osd"
    std::string file;  // path inside the package
    std::string sha256;
};

const std::string& string_member(const Value& object, const char* key, const char* what) {
    const Value* value = object.find(key);
    if (value == nullptr || !value->is(Value::Type::String) || value->string.empty())
        invalid(std::string("the manifest has no ") + what);
    return value->string;
}

// A path inside the package: relative, '/'-separated, never leaving it.
bool safe_entry_path(const std::string& path) {
    if (path.empty() || path.front() == '/' || path.find('\\') != std::string::npos) return false;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = end + 1;
    }
    return true;
}

// A trained-data name as Tesseract takes it: letters, digits, '_' and '-',
// optionally under one "script/" folder.
bool valid_model_name(const std::string& name) {
    std::string base = name.rfind("script/", 0) == 0 ? name.substr(7) : name;
    if (base.empty() || base.size() > 64) return false;
    for (char c : base)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-') return false;
    return true;
}

bool valid_sha256(const std::string& text) {
    if (text.size() != 64) return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

std::string hex(const unsigned char* bytes, size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        text.push_back(digits[bytes[i] >> 4]);
        text.push_back(digits[bytes[i] & 15]);
    }
    return text;
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string sha256_of(const unsigned char* data, size_t size) {
    fz_sha256 state;
    fz_sha256_init(&state);
    // fz_sha256_update takes the length in one go; feed it in slices so
    // a length of any size is safe.
    const size_t slice = size_t(1) << 30;
    for (size_t done = 0; done < size; done += slice)
        fz_sha256_update(&state, data + done, size - done < slice ? size - done : slice);
    unsigned char digest[32];
    fz_sha256_final(&state, digest);
    return hex(digest, sizeof digest);
}

class PackageReader {
public:
    PackageReader(const std::string& path) : path_(path) {
        ctx_ = foli_mu_new_context();
        if (ctx_ == nullptr) fail(FOLI_ERR_OUT_OF_MEMORY, "cannot create a MuPDF context");
        foli_mu_set_message_callbacks(ctx_, foli_mupdf_warning, foli_mupdf_error, nullptr);
        fz_archive* archive = nullptr;
        foli_mu_status status = foli_mu_open_archive(ctx_, path.c_str(), &archive);
        if (status == FOLI_MU_FILE) refuse(FOLI_ERR_FILE, "nothing at " + path);
        if (status == FOLI_MU_MEMORY) fail(FOLI_ERR_OUT_OF_MEMORY, "out of memory reading a model package");
        if (status != FOLI_MU_OK) invalid(path + " is neither a folder nor an archive");
        archive_ = ArchiveHandle(ctx_, archive);
    }
    ~PackageReader() {
        archive_.reset();
        fz_drop_context(ctx_);
    }
    PackageReader(const PackageReader&) = delete;
    PackageReader& operator=(const PackageReader&) = delete;

    // The entry's bytes; false when the package has no such entry.
    bool read(const std::string& name, std::vector<char>& out, size_t limit = 0) {
        fz_buffer* buffer = nullptr;
        foli_mu_status status = foli_mu_read_archive_entry(ctx_, archive_.get(), name.c_str(), &buffer);
        if (status == FOLI_MU_FILE) return false;
        if (status == FOLI_MU_MEMORY) fail(FOLI_ERR_OUT_OF_MEMORY, "out of memory reading a model package");
        if (status != FOLI_MU_OK) invalid("cannot read " + name);
        BufferHandle owner(ctx_, buffer);
        unsigned char* data = nullptr;
        size_t size = fz_buffer_storage(ctx_, buffer, &data);
        if (limit != 0 && size > limit) invalid(name + " is too large");
        out.assign(reinterpret_cast<const char*>(data), reinterpret_cast<const char*>(data) + size);
        return true;
    }

private:
    std::string path_;
    fz_context* ctx_ = nullptr;
    ArchiveHandle archive_;
};

Value parse_manifest(PackageReader& reader) {
    std::vector<char> text;
    if (!reader.read(kManifest, text, kMaxManifestBytes)) invalid("no manifest.json");
    std::optional<Value> manifest = json::parse(std::string_view(text.data(), text.size()));
    if (!manifest || !manifest->is(Value::Type::Object)) invalid("manifest.json is not a JSON object");
    const Value* format = manifest->find("format");
    if (format == nullptr || !format->is(Value::Type::String) || format->string != kPackageFormat)
        invalid("manifest.json does not describe a document-AI model package");
    return std::move(*manifest);
}

// The format version decides how to read the rest, so it is checked first.
void check_format_version(const Value& manifest) {
    const Value* version = manifest.find("format_version");
    if (version == nullptr || !version->is(Value::Type::Number) || version->number < 1 ||
        version->number != static_cast<double>(static_cast<long>(version->number)))
        invalid("the manifest has no valid format_version");
    if (version->number > kPackageFormatVersion)
        refuse(FOLI_ERR_MODEL_FORMAT_UNSUPPORTED, "format version " + std::to_string(static_cast<long>(version->number)) +
                                                      " is newer than this library reads (" +
                                                      std::to_string(kPackageFormatVersion) + ")");
}

void check_library_version(const Value& manifest, const std::string& library_version) {
    const Value* range = manifest.find("library_version");
    if (range == nullptr || !range->is(Value::Type::Object)) invalid("the manifest has no library_version range");
    const std::string& minimum = string_member(*range, "minimum", "library_version.minimum");
    bool valid = true;
    bool too_old = version_less(library_version, minimum, valid);
    if (!valid) invalid("library_version.minimum is not a version");
    bool too_new = false;
    if (const Value* below = range->find("below")) {
        if (!below->is(Value::Type::String)) invalid("library_version.below is not a version");
        too_new = !version_less(library_version, below->string, valid);
        if (!valid) invalid("library_version.below is not a version");
    }
    if (too_old || too_new) {
        std::string wanted = ">= " + minimum;
        if (const Value* below = range->find("below")) wanted += ", < " + below->string;
        refuse(FOLI_ERR_MODEL_SDK_MISMATCH, "made for library versions " + wanted + ", this is " + library_version);
    }
}

bool is_required(const Value& model) {
    const Value* required = model.find("required");
    if (required == nullptr) return true;
    if (!required->is(Value::Type::Bool)) invalid("a model's 'required' is not true or false");
    return required->boolean;
}

// Every entry is checked for its form first; then whether this build runs
// it, so that a package of unknown model kinds is refused before anything
// is read.
std::vector<ModelEntry> model_entries(const Value& manifest) {
    const Value* models = manifest.find("models");
    if (models == nullptr || !models->is(Value::Type::Array) || models->array.empty())
        invalid("the manifest lists no models");
    std::vector<ModelEntry> runnable;
    std::vector<std::string> unsupported;
    for (const Value& model : models->array) {
        if (!model.is(Value::Type::Object)) invalid("a model entry is not an object");
        ModelEntry entry;
        entry.kind = string_member(model, "kind", "model kind");
        entry.file = string_member(model, "file", "model file");
        entry.sha256 = lower(string_member(model, "sha256", "model checksum"));
        if (!safe_entry_path(entry.file)) invalid("model file '" + entry.file + "' is not a path inside the package");
        if (!valid_sha256(entry.sha256)) invalid("the checksum of " + entry.file + " is not a SHA-256 digest");
        const Value* engine = model.find("engine");
        if (engine != nullptr && !engine->is(Value::Type::String)) invalid("a model's engine is not a name");
        bool tesseract = engine == nullptr || engine->string == "tesseract";
        bool runs_here = tesseract && (entry.kind == "ocr" || entry.kind == "orientation");
        if (!runs_here) {
            std::string what = entry.kind + (engine ? " (" + engine->string + ")" : std::string()) + " model " + entry.file;
            if (is_required(model))
                unsupported.push_back(what);
            else
                log_info("model package: skipping the optional %s, which this build cannot run", what.c_str());
            continue;
        }
        entry.name = entry.kind == "orientation" ? "osd" : string_member(model, "language", "model language");
        if (!valid_model_name(entry.name)) invalid("'" + entry.name + "' is not a trained data name");
        for (const ModelEntry& other : runnable)
            if (other.name == entry.name) invalid("the manifest lists " + entry.name + " twice");
        runnable.push_back(std::move(entry));
    }
    if (!unsupported.empty()) refuse(FOLI_ERR_MODEL_FUNCTION_UNSUPPORTED, "this build cannot run the " + unsupported.front());
    bool has_ocr = false;
    for (const ModelEntry& entry : runnable) has_ocr |= entry.kind == "ocr";
    if (!has_ocr) invalid("the package holds no OCR model");
    return runnable;
}

}  // namespace

bool version_less(const std::string& a, const std::string& b, bool& valid) {
    auto parts = [&](const std::string& text, std::vector<long>& out) {
        if (text.empty()) return false;
        size_t pos = 0;
        while (pos < text.size()) {
            size_t end = text.find('.', pos);
            if (end == std::string::npos) end = text.size();
            if (end == pos || end - pos > 9) return false;
            long value = 0;
            for (size_t i = pos; i < end; ++i) {
                if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
                value = value * 10 + (text[i] - '0');
            }
            out.push_back(value);
            pos = end + 1;
            if (end == text.size() - 1) return false;  // a trailing dot
        }
        return true;
    };
    std::vector<long> x, y;
    valid = parts(a, x) && parts(b, y);
    if (!valid) return false;
    size_t n = std::max(x.size(), y.size());
    x.resize(n, 0);
    y.resize(n, 0);
    return x < y;
}

std::shared_ptr<const ModelPackage> ModelPackage::load(const std::string& path, const std::string& library_version) {
    PackageReader reader(path);
    Value manifest = parse_manifest(reader);
    check_format_version(manifest);
    auto package = std::make_shared<ModelPackage>();
    package->path_ = path;
    package->name_ = string_member(manifest, "name", "name");
    check_library_version(manifest, library_version);
    for (const ModelEntry& entry : model_entries(manifest)) {
        std::vector<char> data;
        if (!reader.read(entry.file, data)) invalid("the package lacks " + entry.file);
        std::string digest = sha256_of(reinterpret_cast<const unsigned char*>(data.data()), data.size());
        if (digest != entry.sha256) invalid("the checksum of " + entry.file + " does not match (damaged file?)");
        package->trained_data_.emplace(entry.name, std::move(data));
    }
    return package;
}

const std::vector<char>* ModelPackage::trained_data(const std::string& model) const {
    auto found = trained_data_.find(model);
    return found == trained_data_.end() ? nullptr : &found->second;
}

std::vector<std::string> ModelPackage::models() const {
    std::vector<std::string> names;
    for (const auto& [name, data] : trained_data_) names.push_back(name);
    return names;
}

}  // namespace foli::ocr
