#include "writers/office/zip_package.h"

#include <memory>
#include <minizip/zip.h>

#include "core/errors.h"

namespace foli::office {

// minizip reaches the output through these callbacks. It writes forward,
// except that it goes back to a part's local header to fill in the sizes
// once the part is done; writes behind the end overwrite what is there.
// No exception crosses into minizip: a failure is noted and reported as a
// short write, and the call that met it throws once minizip has returned.
struct ZipPackage::Sink {
    OutputStream& out;
    uint64_t base;          // where the archive starts in `out`
    uint64_t position = 0;  // relative to base
    bool failed = false;
};

namespace {

constexpr int kDeflateLevel = 6;

voidpf sink_open(voidpf opaque, const void*, int) { return opaque; }

uLong sink_read(voidpf, voidpf, void*, uLong) { return 0; }

uLong sink_write(voidpf, voidpf stream, const void* data, uLong size) {
    auto* sink = static_cast<ZipPackage::Sink*>(stream);
    if (sink->failed) return 0;
    try {
        uint64_t end = sink->out.size() - sink->base;
        if (sink->position == end)
            sink->out.write(data, size);
        else
            sink->out.overwrite(sink->base + sink->position, data, size);
        sink->position += size;
        return size;
    } catch (...) {
        sink->failed = true;
        return 0;
    }
}

ZPOS64_T sink_tell(voidpf, voidpf stream) { return static_cast<ZipPackage::Sink*>(stream)->position; }

long sink_seek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto* sink = static_cast<ZipPackage::Sink*>(stream);
    uint64_t end = sink->out.size() - sink->base;
    uint64_t target = offset;
    if (origin == ZLIB_FILEFUNC_SEEK_CUR) target = sink->position + offset;
    if (origin == ZLIB_FILEFUNC_SEEK_END) target = end + offset;
    if (target > end) return -1;
    sink->position = target;
    return 0;
}

int sink_close(voidpf, voidpf) { return 0; }

int sink_error(voidpf, voidpf stream) { return static_cast<ZipPackage::Sink*>(stream)->failed ? 1 : 0; }

// Every part carries the same fixed date (the ZIP epoch), so that one
// document always converts to the same bytes.
zip_fileinfo fixed_file_info() {
    zip_fileinfo info{};
    info.tmz_date.tm_mday = 1;
    info.tmz_date.tm_year = 1980;
    return info;
}

}  // namespace

ZipPackage::ZipPackage(OutputStream& out) : sink_(std::make_unique<Sink>(Sink{out, out.size()})) {
    zlib_filefunc64_def functions{};
    functions.zopen64_file = sink_open;
    functions.zread_file = sink_read;
    functions.zwrite_file = sink_write;
    functions.ztell64_file = sink_tell;
    functions.zseek64_file = sink_seek;
    functions.zclose_file = sink_close;
    functions.zerror_file = sink_error;
    functions.opaque = sink_.get();
    zip_ = zipOpen2_64("package", APPEND_STATUS_CREATE, nullptr, &functions);
    if (zip_ == nullptr) fail(FOLI_ERR_IO, "cannot start the document package");
}

ZipPackage::~ZipPackage() {
    // An unfinished archive: minizip frees its state; what it writes on
    // the way no longer matters.
    if (zip_ != nullptr) {
        sink_->failed = true;
        if (part_open_) zipCloseFileInZip(zip_);
        zipClose(zip_, nullptr);
    }
}

void ZipPackage::check(int result, const char* what) {
    if (result != ZIP_OK || sink_->failed) fail(FOLI_ERR_IO, what);
}

void ZipPackage::begin(std::string_view name, Compression compression) {
    if (zip_ == nullptr || part_open_) fail(FOLI_ERR_UNKNOWN, "document package used out of order");
    std::string part_name(name);
    zip_fileinfo info = fixed_file_info();
    bool deflate = compression == Compression::Deflate;
    int result = zipOpenNewFileInZip64(zip_, part_name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                       deflate ? Z_DEFLATED : 0, deflate ? kDeflateLevel : 0, 0);
    part_open_ = result == ZIP_OK;
    check(result, "cannot start a part of the document package");
}

void ZipPackage::write(std::string_view data) {
    if (!part_open_) fail(FOLI_ERR_UNKNOWN, "document package used out of order");
    // minizip takes at most 4 GiB per call; a piece this size is never asked for.
    while (!data.empty()) {
        size_t piece = data.size() < (1u << 30) ? data.size() : (1u << 30);
        check(zipWriteInFileInZip(zip_, data.data(), static_cast<unsigned>(piece)),
              "cannot write the document package");
        data.remove_prefix(piece);
    }
}

void ZipPackage::write_from(OutputStream& scratch, uint64_t offset, uint64_t length) {
    scratch.read_range(offset, length, [&](std::string_view piece) { write(piece); });
}

void ZipPackage::end() {
    if (!part_open_) fail(FOLI_ERR_UNKNOWN, "document package used out of order");
    part_open_ = false;
    check(zipCloseFileInZip(zip_), "cannot finish a part of the document package");
}

void ZipPackage::add(std::string_view name, std::string_view data, Compression compression) {
    begin(name, compression);
    write(data);
    end();
}

void ZipPackage::close() {
    if (zip_ == nullptr) return;
    if (part_open_) end();
    void* zip = zip_;
    zip_ = nullptr;
    check(zipClose(zip, nullptr), "cannot finish the document package");
}

}  // namespace foli::office
