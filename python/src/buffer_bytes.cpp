#include "buffer_bytes.h"

namespace py = pybind11;

namespace zelp7x_py {

// A buffer's memory is not one run of bytes from its pointer when it is strided; a memoryview's
// tobytes() lays it out in order whatever its strides.
std::vector<uint8_t> bytes_of(const py::object &data) {
    const py::bytes laid_out = py::memoryview(data).attr("tobytes")();
    const std::string_view view = laid_out;
    return {view.begin(), view.end()};
}

} // namespace zelp7x_py
