// Everything a conversion writes goes through one OutputFiles: each file is
// written under a temporary name in its destination folder and renamed into
// place only by commit(). Without a commit (failure, cancellation) the
// temporary files and any folder made for them are removed, so nothing
// half-written is left and an existing file is replaced only on success.
//
// Naming rule for conversions that write one file per page:
//   <folder>/<stem>_<page><ext>
// where <stem> is the output path's file name without its extension, <page>
// the 1-based page number in the source document, and <folder> a new folder
// <dir>/<stem> beside the output path when auto_create_folder is set, else
// the output path's own folder <dir>. Resources of a document (images of a
// Markdown or HTML file) go to <dir>/<stem>_files/.
//
// Temporary files are named ".foli-<host>-<pid>-XXXXXX.tmp" in the final
// file's folder, so any final name the file system accepts works; the first
// file a conversion writes into a folder removes from it the temporary
// files of processes of this machine that no longer run. An output path
// that is a symbolic link is written through to its target, atomically,
// and the link stays; an existing output that is not a regular file (a
// device, pipe or socket) is never replaced: IO_ERROR.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace foli {

class OutputStream {
public:
    OutputStream(std::string temp_path, std::string final_path, std::FILE* file);
    ~OutputStream();
    OutputStream(const OutputStream&) = delete;
    OutputStream& operator=(const OutputStream&) = delete;

    void write(const void* data, size_t size);
    void write(std::string_view text) { write(text.data(), text.size()); }
    OutputStream& operator<<(std::string_view text) {
        write(text);
        return *this;
    }
    // Flushes and closes; throws IO_ERROR if anything failed to reach the file.
    void close();

    // Bytes written so far.
    uint64_t size() const { return size_; }
    // Appends `length` bytes of this stream, from `offset`, to `target`,
    // reading them back from the file in small chunks.
    void copy_range(uint64_t offset, uint64_t length, OutputStream& target);
    // Hands `length` bytes of this stream, from `offset`, to `consume` in
    // small chunks.
    void read_range(uint64_t offset, uint64_t length, const std::function<void(std::string_view)>& consume);
    // Writes over bytes already written, from `offset` (a header whose
    // sizes are known only after its data); later writes append again.
    void overwrite(uint64_t offset, const void* data, size_t size);

    const std::string& final_path() const { return final_path_; }
    const std::string& temp_path() const { return temp_path_; }
    bool closed() const { return file_ == nullptr; }

private:
    std::string temp_path_;
    std::string final_path_;
    std::FILE* file_;
    uint64_t size_ = 0;
    bool failed_ = false;
};

class OutputFiles {
public:
    // Throws INVALID_ARG for an empty file name and IO_ERROR when the
    // output's folder does not exist or the path is a folder. No output
    // may replace `input_path` (the document being converted): creating
    // one that would throws INVALID_ARG.
    OutputFiles(std::string output_path, bool auto_create_folder, const std::string& input_path);
    ~OutputFiles();
    OutputFiles(const OutputFiles&) = delete;
    OutputFiles& operator=(const OutputFiles&) = delete;

    const std::string& output_path() const { return output_path_; }
    const std::string& directory() const { return directory_; }
    const std::string& stem() const { return stem_; }

    // Path of the file for one page under the naming rule above.
    std::string page_path(int page_number, std::string_view extension);
    // Folder for a document's resources, made on first use.
    const std::string& resource_folder();
    // File name of `path` relative to the output's folder, for links.
    std::string relative_to_output(const std::string& path) const;

    // Opens a stream that becomes `final_path` on commit.
    OutputStream& create(const std::string& final_path);
    // Opens a temporary file of the conversion's own, for a writer that
    // must finish a document before it knows its beginning. It is never
    // renamed into place and is removed when the conversion ends.
    OutputStream& create_scratch();
    void write_file(const std::string& final_path, const void* data, size_t size);

    // Closes every stream and renames every file into place.
    void commit();

private:
    std::string make_folder(const std::string& path);

    std::string output_path_;
    std::string directory_;
    std::string stem_;
    bool auto_create_folder_;
    std::string page_folder_;
    std::string resource_folder_;
    std::unique_ptr<OutputStream> open_temp(const std::string& final_path);
    void clean_folder_once(const std::string& directory);

    std::vector<std::unique_ptr<OutputStream>> streams_;
    std::vector<std::unique_ptr<OutputStream>> scratch_;
    std::vector<std::string> created_folders_;
    std::vector<std::string> cleaned_folders_;
    bool committed_ = false;
    dev_t input_device_ = 0;
    ino_t input_inode_ = 0;
};

}  // namespace foli
