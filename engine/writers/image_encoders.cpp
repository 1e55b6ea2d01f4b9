// BMP and TGA are simple enough to write here directly; every other format
// goes through the codec libraries behind image_codecs.h, whose output is
// passed on to the OutputStream by a sink that never lets an exception into
// the C code.
#include "writers/image_encoders.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <vector>

#include "core/errors.h"

namespace foli {
namespace {

constexpr int kJpegQuality = 90;
constexpr int kWebpQuality = 90;
constexpr float kJp2Ratio = 10.0f;  // compression ratio of lossy JPEG 2000

// ------------------------------------------------------------ codec glue

struct StreamSink {
    OutputStream& stream;
    std::exception_ptr error;
};

int write_to_stream(void* user, const void* data, size_t size) noexcept {
    auto* sink = static_cast<StreamSink*>(user);
    try {
        sink->stream.write(data, size);
        return 1;
    } catch (...) {
        sink->error = std::current_exception();
        return 0;
    }
}

using CodecCall = foli_codec_status (*)(const foli_raster&, const foli_codec_sink&);

void run_codec(CodecCall codec, const foli_raster& raster, OutputStream& out) {
    StreamSink stream_sink{out, nullptr};
    foli_codec_sink sink{write_to_stream, &stream_sink};
    foli_codec_status status = codec(raster, sink);
    // The stream's own error says best why writing failed.
    if (stream_sink.error) std::rethrow_exception(stream_sink.error);
    switch (status) {
    case FOLI_CODEC_OK: return;
    case FOLI_CODEC_MEMORY: fail(FOLI_ERR_OUT_OF_MEMORY, "out of memory while encoding a page image");
    case FOLI_CODEC_WRITE: fail(FOLI_ERR_IO, "cannot write a page image");
    case FOLI_CODEC_FAILED: break;
    }
    fail(FOLI_ERR_UNKNOWN, "the image encoder failed");
}

// ------------------------------------------------------- little-endian

class ByteWriter {
public:
    void u8(unsigned value) { bytes_.push_back(static_cast<unsigned char>(value)); }
    void u16(unsigned value) {
        u8(value & 0xff);
        u8(value >> 8 & 0xff);
    }
    void u32(uint32_t value) {
        u16(value & 0xffff);
        u16(value >> 16);
    }
    void text(std::string_view value) { bytes_.insert(bytes_.end(), value.begin(), value.end()); }
    void write_to(OutputStream& out) const { out.write(bytes_.data(), bytes_.size()); }

private:
    std::vector<unsigned char> bytes_;
};

const unsigned char* row_of(const foli_raster& raster, int y) { return raster.samples + y * raster.stride; }

// ----------------------------------------------------------------- BMP

constexpr uint32_t kBmpHeaderSize = 14 + 40;

int bmp_bits(const foli_raster& raster) {
    if (raster.channels == 3) return 24;
    return raster.bilevel ? 1 : 8;
}

uint64_t bmp_row_size(long width, int bits) { return (static_cast<uint64_t>(width) * bits + 31) / 32 * 4; }

uint32_t bmp_palette_size(int bits) { return bits == 24 ? 0 : (1u << bits); }

uint64_t bmp_file_size(long width, long height, int bits) {
    return kBmpHeaderSize + 4ull * bmp_palette_size(bits) + bmp_row_size(width, bits) * static_cast<uint64_t>(height);
}

// Rows bottom-up, each padded to four bytes; gray and bilevel pages index
// a gray palette (black and white for bilevel).
void write_bmp(const foli_raster& raster, OutputStream& out) {
    int bits = bmp_bits(raster);
    uint32_t colors = bmp_palette_size(bits);
    uint32_t row_size = static_cast<uint32_t>(bmp_row_size(raster.width, bits));
    uint32_t pixel_offset = kBmpHeaderSize + 4 * colors;
    auto per_metre = static_cast<uint32_t>(raster.dpi / 0.0254f + 0.5f);

    ByteWriter header;
    header.text("BM");
    header.u32(static_cast<uint32_t>(bmp_file_size(raster.width, raster.height, bits)));
    header.u32(0);
    header.u32(pixel_offset);
    header.u32(40);
    header.u32(static_cast<uint32_t>(raster.width));
    header.u32(static_cast<uint32_t>(raster.height));  // positive: bottom-up
    header.u16(1);
    header.u16(static_cast<unsigned>(bits));
    header.u32(0);  // uncompressed
    header.u32(row_size * static_cast<uint32_t>(raster.height));
    header.u32(per_metre);
    header.u32(per_metre);
    header.u32(colors);
    header.u32(0);
    for (uint32_t i = 0; i < colors; ++i) {
        unsigned level = colors == 2 ? i * 255 : i;
        header.u8(level);
        header.u8(level);
        header.u8(level);
        header.u8(0);
    }
    header.write_to(out);

    std::vector<unsigned char> row(row_size, 0);
    for (int y = raster.height - 1; y >= 0; --y) {
        const unsigned char* in = row_of(raster, y);
        if (bits == 1) {
            foli_pack_bilevel_row(in, raster.width, 0, row.data());
        } else if (bits == 8) {
            std::copy(in, in + raster.width, row.begin());
        } else {
            for (int x = 0; x < raster.width; ++x, in += 3) {
                row[3 * x] = in[2];
                row[3 * x + 1] = in[1];
                row[3 * x + 2] = in[0];
            }
        }
        out.write(row.data(), row.size());
    }
}

// ----------------------------------------------------------------- TGA

constexpr int kTgaMaxPacket = 128;

// Run-length encodes one row of `bpp`-byte pixels: a run of two or more
// equal pixels becomes a repeat packet, anything else raw packets. Packets
// never cross rows.
void tga_encode_row(const unsigned char* row, int width, int bpp, std::vector<unsigned char>& out) {
    auto same = [&](int a, int b) { return std::equal(row + a * bpp, row + (a + 1) * bpp, row + b * bpp); };
    auto pixels = [&](int first, int count) { out.insert(out.end(), row + first * bpp, row + (first + count) * bpp); };
    int x = 0;
    while (x < width) {
        int run = 1;
        while (x + run < width && run < kTgaMaxPacket && same(x, x + run)) ++run;
        if (run >= 2) {
            out.push_back(static_cast<unsigned char>(0x80 | (run - 1)));
            pixels(x, 1);
            x += run;
            continue;
        }
        int first = x;
        int count = 0;
        while (x < width && count < kTgaMaxPacket && !(x + 1 < width && same(x, x + 1))) {
            ++x;
            ++count;
        }
        out.push_back(static_cast<unsigned char>(count - 1));
        pixels(first, count);
    }
}

// RLE-compressed true colour (BGR) or gray, rows top-down as flagged in the
// descriptor, with the version 2 footer.
void write_tga(const foli_raster& raster, OutputStream& out) {
    bool gray = raster.channels == 1;
    ByteWriter header;
    header.u8(0);                // no image id
    header.u8(0);                // no colour map
    header.u8(gray ? 11 : 10);   // RLE gray / RLE true colour
    for (int i = 0; i < 5; ++i) header.u8(0);
    header.u16(0);
    header.u16(0);
    header.u16(static_cast<unsigned>(raster.width));
    header.u16(static_cast<unsigned>(raster.height));
    header.u8(gray ? 8 : 24);
    header.u8(0x20);             // top-left origin, no alpha
    header.write_to(out);

    std::vector<unsigned char> bgr(gray ? 0 : static_cast<size_t>(raster.width) * 3);
    std::vector<unsigned char> packed;
    for (int y = 0; y < raster.height; ++y) {
        const unsigned char* in = row_of(raster, y);
        if (!gray) {
            for (int x = 0; x < raster.width; ++x) {
                bgr[3 * x] = in[3 * x + 2];
                bgr[3 * x + 1] = in[3 * x + 1];
                bgr[3 * x + 2] = in[3 * x];
            }
            in = bgr.data();
        }
        packed.clear();
        tga_encode_row(in, raster.width, raster.channels, packed);
        out.write(packed.data(), packed.size());
    }

    ByteWriter footer;
    footer.u32(0);  // no extension area
    footer.u32(0);  // no developer area
    footer.text("TRUEVISION-XFILE.");
    footer.u8(0);
    footer.write_to(out);
}

// -------------------------------------------------------- codec wrappers

foli_codec_status jpeg_codec(const foli_raster& raster, const foli_codec_sink& sink) {
    return foli_encode_jpeg(&raster, kJpegQuality, &sink);
}
foli_codec_status png_codec(const foli_raster& raster, const foli_codec_sink& sink) {
    return foli_encode_png(&raster, &sink);
}
foli_codec_status tiff_codec(const foli_raster& raster, const foli_codec_sink& sink) {
    return foli_encode_tiff(&raster, &sink);
}
foli_codec_status gif_codec(const foli_raster& raster, const foli_codec_sink& sink) {
    return foli_encode_gif(&raster, &sink);
}
foli_codec_status webp_codec(const foli_raster& raster, const foli_codec_sink& sink) {
    return foli_encode_webp(&raster, kWebpQuality, &sink);
}
foli_codec_status jp2_codec(const foli_raster& raster, const foli_codec_sink& sink) {
    return foli_encode_jp2(&raster, kJp2Ratio, &sink);
}

}  // namespace

std::string_view image_extension(ImageType type) {
    switch (type) {
    case ImageType::JPG: return ".jpg";
    case ImageType::JPEG: return ".jpeg";
    case ImageType::JPEG2000: return ".jp2";
    case ImageType::PNG: return ".png";
    case ImageType::BMP: return ".bmp";
    case ImageType::TIFF: return ".tiff";
    case ImageType::TGA: return ".tga";
    case ImageType::GIF: return ".gif";
    case ImageType::WEBP: return ".webp";
    }
    fail(FOLI_ERR_INVALID_ARG, "unknown image type");
}

bool image_size_fits(ImageType type, long width, long height) {
    long side = width > height ? width : height;
    switch (type) {
    case ImageType::JPG:
    case ImageType::JPEG: return side <= 65500;  // libjpeg's own limit, a little under 16 bits
    case ImageType::WEBP: return side <= 16383;
    case ImageType::GIF:
    case ImageType::TGA: return side <= 65535;
    case ImageType::BMP: return side <= INT32_MAX && bmp_file_size(width, height, 24) <= UINT32_MAX;
    case ImageType::PNG:
    case ImageType::TIFF:
    case ImageType::JPEG2000: return side <= INT32_MAX;
    }
    return false;
}

void encode_image(ImageType type, const foli_raster& raster, OutputStream& out) {
    switch (type) {
    case ImageType::JPG:
    case ImageType::JPEG: return run_codec(jpeg_codec, raster, out);
    case ImageType::JPEG2000: return run_codec(jp2_codec, raster, out);
    case ImageType::PNG: return run_codec(png_codec, raster, out);
    case ImageType::TIFF: return run_codec(tiff_codec, raster, out);
    case ImageType::GIF: return run_codec(gif_codec, raster, out);
    case ImageType::WEBP: return run_codec(webp_codec, raster, out);
    case ImageType::BMP: return write_bmp(raster, out);
    case ImageType::TGA: return write_tga(raster, out);
    }
    fail(FOLI_ERR_INVALID_ARG, "unknown image type");
}

}  // namespace foli
