// Signatures that inspect.signature() and help() read: pybind11 puts each function's typed
// signature on its docstring's first line, which Python's own tools do not take; this rewrites
// that line into the form the interpreter gives builtins (parameter names and defaults, the
// types being in the package's stubs), so the names given with py::arg stay the one place of
// each parameter's name.
#pragma once

#include <pybind11/pybind11.h>

namespace zelp7x_py {

// Rewrites the docstrings of the module's functions and of its classes' methods.
void add_text_signatures(pybind11::module_ &m);

} // namespace zelp7x_py
