#include "core/errors.h"
#include "writers/writer.h"

namespace foli {

std::unique_ptr<Writer> make_json_writer(WriterContext&) { fail(FOLI_ERR_UNKNOWN, "not written yet"); }

}  // namespace foli
