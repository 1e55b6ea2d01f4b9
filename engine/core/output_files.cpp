#include "core/output_files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::unique_ptr<OutputStream> OutputFiles::open_temp(const std::string& final_path) {
    std::string temp = join(directory_of(final_path), "." + file_name_of(final_path) + ".XXXXXX");
    int fd = ::mkstemp(temp.data());
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

OutputStream& OutputFiles::create(const std::string& final_path) {
    // Refused now rather than when commit() renames the file into place,
    // which would leave the files renamed before it behind.
    if (is_directory(final_path)) fail(FOLI_ERR_IO, "an output file's path is a folder");
    // Under any name (a link, another spelling of the path) the input is
    // never replaced by an output.
    struct stat existing;
    if (input_inode_ != 0 && stat(final_path.c_str(), &existing) == 0 && existing.st_dev == input_device_ &&
        existing.st_ino == input_inode_)
        fail(FOLI_ERR_INVALID_ARG, "an output would replace the input document");
    streams_.push_back(open_temp(final_path));
    return *streams_.back();
}

OutputStream& OutputFiles::create_scratch() {
    scratch_.push_back(open_temp(join(directory_, "." + stem_ + ".scratch")));
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
