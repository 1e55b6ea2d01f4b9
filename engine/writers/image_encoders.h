// Writes one rendered page in any of the image file formats.
#pragma once

#include <string_view>

#include "core/options.h"
#include "core/output_files.h"
#include "writers/image_codecs.h"

namespace foli {

// The file name extension of an image type, with its dot (".jpg").
// Throws INVALID_ARG for a value outside ImageType.
std::string_view image_extension(ImageType type);

// Whether files of `type` can hold an image of width x height pixels.
bool image_size_fits(ImageType type, long width, long height);

// Encodes `raster` as `type` into `out`. Throws IO_ERROR when the output
// could not be written, OUT_OF_MEMORY when memory ran out and UNKNOWN_ERROR
// when the codec gave up.
void encode_image(ImageType type, const foli_raster& raster, OutputStream& out);

}  // namespace foli
