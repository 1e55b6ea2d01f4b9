#include "core/output_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/errors.h"
#include "core/log.h"

namespace foli {
namespace {

constexpr size_t kStreamBuffer = 1 << 16;

bool is_directory(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string join(const std::string& directory, std::string_view name) {
    if (directory.empty()) return std::string(name);
    std::string path = directory;
    if (path.back() != '/') path += '/';
    path += name;
    return path;
}

std::string directory_of(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string file_name_of(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string stem_of(const std::string& name) {
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// Temporary files are named ".foli-<host>-<pid>-XXXXXX.tmp": short, whatever
// the final name's length, and saying which process on which machine owns
// them, so that a later conversion into the same folder can remove the ones
// a killed process left behind.
constexpr const char* kTempPrefix = ".foli-";
constexpr const char* kTempSuffix = ".tmp";

// FNV-1a of the host name, in hex: the same on every run.
std::string host_tag() {
    char name[256] = {0};
    if (::gethostname(name, sizeof name - 1) != 0) name[0] = 0;
    uint32_t hash = 2166136261u;
    for (const char* c = name; *c != 0; ++c) hash = (hash ^ static_cast<unsigned char>(*c)) * 16777619u;
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", hash);
    return hex;
}

const std::string& temp_owner() {
    static const std::string owner = host_tag() + "-" + std::to_string(::getpid());
    return owner;
}

// The owning process of a temporary file name of this machine, or 0.
pid_t stale_owner(const std::string& name, const std::string& host) {
    std::string prefix = kTempPrefix + host + "-";
    size_t suffix = std::strlen(kTempSuffix);
    if (name.size() <= prefix.size() + suffix || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix, suffix, kTempSuffix) != 0)
        return 0;
    char* end = nullptr;
    long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
    if (end == nullptr || *end != '-' || pid <= 0 || pid > INT_MAX) return 0;
    return static_cast<pid_t>(pid);
}

bool process_gone(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

// Removes the temporary files that processes of this machine which no
// longer run left in `directory`.
void remove_stale_temp_files(const std::string& directory) {
    DIR* folder = ::opendir(directory.c_str());
    if (folder == nullptr) return;
    std::string host = host_tag();
    while (const struct dirent* entry = ::readdir(folder)) {
        pid_t owner = stale_owner(entry->d_name, host);
        if (owner == 0 || owner == ::getpid() || !process_gone(owner)) continue;
        std::string path = join(directory, entry->d_name);
        struct stat info;
        if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::unlink(path.c_str()) == 0)
            log_info("removed %s, left behind by process %d", path.c_str(), static_cast<int>(owner));
    }
    ::closedir(folder);
}

// Where writing `path` really goes: through every symbolic link, as open()
// would, to the final target (which need not exist yet).
std::string through_links(const std::string& path) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info;
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
        std::string target(static_cast<size_t>(PATH_MAX), '\0');
        ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
        if (length <= 0 || static_cast<size_t>(length) >= target.size()) fail(FOLI_ERR_IO, "cannot read an output link");
        target.resize(static_cast<size_t>(length));
        current = target[0] == '/' ? target : join(directory_of(current), target);
    }
    fail(FOLI_ERR_IO, "too many symbolic links in an output path");
}

}  // namespace

OutputStream::OutputStream(std::string temp_path, std::string final_path, std::FILE* file)
    : temp_path_(std::move(temp_path)), final_path_(std::move(final_path)), file_(file) {
    std::setvbuf(file_, nullptr, _IOFBF, kStreamBuffer);
}

OutputStream::~OutputStream() {
    if (file_ != nullptr) std::fclose(file_);
}

void OutputStream::write(const void* data, size_t size) {
    if (file_ == nullptr) fail(FOLI_ERR_IO, "write to a closed output");
    if (size != 0 && std::fwrite(data, 1, size, file_) != size) failed_ = true;
    if (failed_) fail(FOLI_ERR_IO, "cannot write the output file");
    size_ += size;
}

void OutputStream::copy_range(uint64_t offset, uint64_t length, OutputStream& target) {
    read_range(offset, length, [&](std::string_view chunk) { target.write(chunk); });
}

void OutputStream::read_range(uint64_t offset, uint64_t length,
                              const std::function<void(std::string_view)>& consume) {
    if (file_ == nullptr || offset + length > size_) fail(FOLI_ERR_IO, "read past the end of a scratch file");
    if (::fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) fail(FOLI_ERR_IO, "cannot seek a scratch file");
    std::unique_ptr<char[]> chunk(new char[kStreamBuffer]);
    while (length > 0) {
        size_t want = length < kStreamBuffer ? static_cast<size_t>(length) : kStreamBuffer;
        if (std::fread(chunk.get(), 1, want, file_) != want) fail(FOLI_ERR_IO, "cannot read a scratch file");
        consume(std::string_view(chunk.get(), want));
        length -= want;
    }
    // Later writes append again.
    if (::fseeko(file_, 0, SEEK_END) != 0) fail(FOLI_ERR_IO, "cannot seek a scratch file");
}

void OutputStream::overwrite(uint64_t offset, const void* data, size_t size) {
    if (file_ == nullptr || offset + size > size_) fail(FOLI_ERR_IO, "overwrite past the end of an output");
    bool ok = ::fseeko(file_, static_cast<off_t>(offset), SEEK_SET) == 0 &&
              (size == 0 || std::fwrite(data, 1, size, file_) == size) && ::fseeko(file_, 0, SEEK_END) == 0;
    if (!ok) {
        failed_ = true;
        fail(FOLI_ERR_IO, "cannot write the output file");
    }
}

void OutputStream::close() {
    if (file_ == nullptr) return;
    bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (!ok || failed_) fail(FOLI_ERR_IO, "cannot write the output file");
}

OutputFiles::OutputFiles(std::string output_path, bool auto_create_folder, const std::string& input_path)
    : output_path_(std::move(output_path)), auto_create_folder_(auto_create_folder) {
    struct stat input;
    if (stat(input_path.c_str(), &input) == 0) {
        input_device_ = input.st_dev;
        input_inode_ = input.st_ino;
    }
    std::string name = file_name_of(output_path_);
    if (name.empty() || name == "." || name == "..") fail(FOLI_ERR_INVALID_ARG, "the output path names no file");
    directory_ = directory_of(output_path_);
    stem_ = stem_of(name);
    if (!is_directory(directory_)) fail(FOLI_ERR_IO, "the output folder does not exist");
    if (is_directory(output_path_)) fail(FOLI_ERR_IO, "the output path is a folder");
}

OutputFiles::~OutputFiles() {
    for (auto& scratch : scratch_) ::unlink(scratch->temp_path().c_str());
    if (committed_) return;
    for (auto& stream : streams_) {
        try {
            stream->close();
        } catch (const ConversionError&) {
        }
        ::unlink(stream->temp_path().c_str());
    }
    for (auto it = created_folders_.rbegin(); it != created_folders_.rend(); ++it) ::rmdir(it->c_str());
}

std::string OutputFiles::make_folder(const std::string& path) {
    if (is_directory(path)) return path;
    if (::mkdir(path.c_str(), 0777) != 0) fail(FOLI_ERR_IO, "cannot create an output folder");
    created_folders_.push_back(path);
    return path;
}

std::string OutputFiles::page_path(int page_number, std::string_view extension) {
    if (page_folder_.empty())
        page_folder_ = auto_create_folder_ ? make_folder(join(directory_, stem_)) : directory_;
    std::string name = stem_ + "_" + std::to_string(page_number);
    name += extension;
    return join(page_folder_, name);
}

const std::string& OutputFiles::resource_folder() {
    if (resource_folder_.empty()) resource_folder_ = make_folder(join(directory_, stem_ + "_files"));
    return resource_folder_;
}

std::string OutputFiles::relative_to_output(const std::string& path) const {
    std::string prefix = directory_ == "/" ? "/" : directory_ + "/";
    if (path.compare(0, prefix.size(), prefix) == 0) return path.substr(prefix.size());
    return path;
}

void OutputFiles::clean_folder_once(const std::string& directory) {
    for (const std::string& done : cleaned_folders_)
        if (done == directory) return;
    cleaned_folders_.push_back(directory);
    remove_stale_temp_files(directory);
}

std::unique_ptr<OutputStream> OutputFiles::open_temp(const std::string& final_path) {
    std::string directory = directory_of(final_path);
    clean_folder_once(directory);
    std::string temp = join(directory, kTempPrefix + temp_owner() + "-XXXXXX" + kTempSuffix);
    int fd = ::mkstemps(temp.data(), static_cast<int>(std::strlen(kTempSuffix)));
    if (fd < 0) fail(FOLI_ERR_IO, "cannot create an output file");
    ::fchmod(fd, 0644);
    std::FILE* file = ::fdopen(fd, "w+b");
    if (file == nullptr) {
        ::close(fd);
        ::unlink(temp.c_str());
        fail(FOLI_ERR_IO, "cannot open an output file");
    }
    return std::make_unique<OutputStream>(temp, final_path, file);
}

OutputStream& OutputFiles::create(const std::string& path) {
    // An output that is a link is written through to its target, which is
    // replaced atomically; the link stays.
    std::string final_path = through_links(path);
    struct stat existing;
    bool exists = ::stat(final_path.c_str(), &existing) == 0;
    // Refused now rather than when commit() renames the file into place,
    // which would leave the files renamed before it behind.
    if (exists && S_ISDIR(existing.st_mode)) fail(FOLI_ERR_IO, "an output file's path is a folder");
    // A device, pipe or socket is never replaced by a file.
    if (exists && !S_ISREG(existing.st_mode)) fail(FOLI_ERR_IO, "an output's path is not a regular file");
    // Under any name (a link, another spelling of the path) the input is
    // never replaced by an output.
    if (exists && input_inode_ != 0 && existing.st_dev == input_device_ && existing.st_ino == input_inode_)
        fail(FOLI_ERR_INVALID_ARG, "an output would replace the input document");
    streams_.push_back(open_temp(final_path));
    return *streams_.back();
}

OutputStream& OutputFiles::create_scratch() {
    scratch_.push_back(open_temp(join(directory_, stem_ + ".scratch")));
    return *scratch_.back();
}

void OutputFiles::write_file(const std::string& final_path, const void* data, size_t size) {
    OutputStream& stream = create(final_path);
    stream.write(data, size);
    stream.close();
}

void OutputFiles::commit() {
    for (auto& stream : streams_) stream->close();
    for (auto& stream : streams_) {
        if (std::rename(stream->temp_path().c_str(), stream->final_path().c_str()) != 0)
            fail(FOLI_ERR_IO, "cannot move an output file into place");
        log_info("wrote %s", stream->final_path().c_str());
    }
    committed_ = true;
}

}  // namespace foli
