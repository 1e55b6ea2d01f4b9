// An Office package (a ZIP archive of XML parts and media) written straight
// into an output stream. Parts are deflated as they are written, in small
// pieces, so a part of any size passes through in bounded memory: a long
// document's body is kept page by page in a scratch file and copied into
// its part at the end.
//
// The archive is written by zlib's minizip. MuPDF's own ZIP writer takes
// each entry as one buffer in memory, which would hold a whole document
// body at once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/output_files.h"

namespace foli::office {

enum class Compression { Deflate, Store };

class ZipPackage {
public:
    // Starts an archive at the current end of `out` (normally empty).
    // Throws IO_ERROR if the archive cannot be started.
    explicit ZipPackage(OutputStream& out);
    // An archive that was not closed is left unfinished; OutputFiles then
    // discards its file with the rest of a failed conversion.
    ~ZipPackage();
    ZipPackage(const ZipPackage&) = delete;
    ZipPackage& operator=(const ZipPackage&) = delete;

    // Adds a whole part ("word/document.xml"; no leading slash).
    void add(std::string_view name, std::string_view data, Compression compression = Compression::Deflate);

    // A part written in pieces: begin, any number of writes, end. One part
    // at a time.
    void begin(std::string_view name, Compression compression = Compression::Deflate);
    void write(std::string_view data);
    // Appends `length` bytes of `scratch` from `offset` to the open part.
    void write_from(OutputStream& scratch, uint64_t offset, uint64_t length);
    void end();

    // Writes the central directory. Every IO failure on the way throws
    // IO_ERROR, from the call that met it.
    void close();

    // Where the archive's bytes go (defined with minizip's callbacks).
    struct Sink;

private:
    void check(int result, const char* what);

    std::unique_ptr<Sink> sink_;
    void* zip_ = nullptr;  // minizip's zipFile
    bool part_open_ = false;
};

}  // namespace foli::office
