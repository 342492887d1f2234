#include "failure.h"

#include "morvel_devlib/morvel_zelp_error.h"

namespace py = pybind11;

namespace zelp7x_py {

namespace {

constexpr const char *error_doc =
    "A step on the board failed.\n\n"
    "Attributes: step (what was being done, e.g. 'load'), name (the device library's error "
    "name, e.g. 'timeout'), code (its number) and reason (why, in the system's words, e.g. "
    "'cannot open /dev/ttyACM7: No such file or directory'; None when the board gave none). "
    "str() gives 'STEP failed: NAME', as the tools print it, or for the flash calls the flash "
    "library's own message, followed by ' (REASON)' when there is a reason.";

// Owned by the module object once added to it; kept here for the translator.
PyObject *error_type = nullptr;

std::string text_of(const board_failure &f) {
    char line[256];
    morvel_zelp_error_step_failed(f.step.c_str(), f.status, line, sizeof line);
    std::string text = f.message.empty() ? std::string(line) : f.message;
    if (!f.reason.empty()) text += " (" + f.reason + ")";
    return text;
}

} // namespace

py::str system_text(std::string_view text) {
    PyObject *s =
        PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
    if (s == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(s);
}

void check(const char *step, int status, const std::string &reason) {
    if (status != 0) throw board_failure{step, status, {}, reason};
}

void register_failure(py::module_ &m) {
    error_type = PyErr_NewExceptionWithDoc("zelp7x.Error", error_doc, PyExc_Exception, nullptr);
    if (error_type == nullptr) throw py::error_already_set();
    m.add_object("Error", py::handle(error_type));
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const board_failure &f) {
            const char *name = morvel_zelp_error_name(f.status);
            py::object e =
                py::reinterpret_borrow<py::object>(error_type)(system_text(text_of(f)));
            e.attr("step") = f.step;
            e.attr("name") = name;
            e.attr("code") = f.status;
            e.attr("reason") =
                f.reason.empty() ? py::object(py::none()) : py::object(system_text(f.reason));
            PyErr_SetObject(error_type, e.ptr());
        }
    });
}

} // namespace zelp7x_py
