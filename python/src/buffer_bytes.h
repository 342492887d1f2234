// The bytes of any bytes-like object, copied in C order, so that the caller's buffer may change
// (or be strided, or run backwards) while the board takes them.
#pragma once

#include <cstdint>
#include <vector>

#include <pybind11/pybind11.h>

namespace zelp7x_py {

std::vector<uint8_t> bytes_of(const pybind11::object &data);

} // namespace zelp7x_py
