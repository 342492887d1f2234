#include "buffer_bytes.h"

#include <cerrno>

namespace py = pybind11;

namespace zelp7x_py {

// A buffer's memory is not one run of bytes from its pointer when it is strided; a memoryview's
// tobytes() lays it out in order whatever its strides.
std::vector<uint8_t> bytes_of(const py::object &data) {
    const py::bytes laid_out = py::memoryview(data).attr("tobytes")();
    const std::string_view view = laid_out;
    return {view.begin(), view.end()};
}

bool names_file(const py::object &data) {
    return py::isinstance<py::str>(data) || py::hasattr(data, "__fspath__");
}

std::string path_of(const py::object &data) {
    return py::str(py::module_::import("os").attr("fspath")(data));
}

void raise_os_error(const std::string &path, int error) {
    errno = error;
    PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
    throw py::error_already_set();
}

std::vector<uint8_t> bytes_or_file(const py::object &data) {
    if (!names_file(data)) return bytes_of(data);
    const std::string path = path_of(data);
    std::vector<uint8_t> bytes;
    mvpkg::input_read r;
    {
        // A FIFO may keep the read waiting for its writer; other threads go on meanwhile.
        const py::gil_scoped_release unlocked;
        r = mvpkg::read_input_file(path.c_str(), mvpkg::input_limit, bytes);
    }
    if (r.failed()) raise_os_error(path, r.error);
    return bytes;
}

} // namespace zelp7x_py
