// Module entry point. The registration order matters: later steps name the
// types of earlier ones in their signatures.
#include <pybind11/pybind11.h>

void init_base_type(pybind11::module_& module);
void init_library_manager(pybind11::module_& module);
void init_foli_conversion(pybind11::module_& module);

PYBIND11_MODULE(FoliantConversion, module) {
    module.doc() = "\n        Foliant Conversion python3 SDK\n    ";
    init_base_type(module);
    init_library_manager(module);
    init_foli_conversion(module);
}
