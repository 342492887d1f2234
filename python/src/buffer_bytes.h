// The bytes a call is given: any bytes-like object, copied in C order so that the caller's buffer
// may change (or be strided, or run backwards) while the board takes them, or the contents of a
// file its path names, read within the tools' input bound.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <pybind11/pybind11.h>

#include "input_file.h"

namespace zelp7x_py {

std::vector<uint8_t> bytes_of(const pybind11::object &data);

// Whether `data` names a file: a str or an os.PathLike.
bool names_file(const pybind11::object &data);
// The path it names, as os.fspath gives it.
std::string path_of(const pybind11::object &data);
// Raises OSError with the system's error number `error` and the file's name, for a read or write
// that failed.
[[noreturn]] void raise_os_error(const std::string &path, int error);

// The file's contents when `data` names one (OSError when it cannot be read or passes the
// bound), else its bytes.
std::vector<uint8_t> bytes_or_file(const pybind11::object &data);

} // namespace zelp7x_py
