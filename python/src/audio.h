// The chip's audio in Python: the tank's samples as a NumPy dtype, wrapped as zelp7x.Audio with
// their rate, and WAV files of them written with the device library's WAV header and samples.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

namespace zelp7x_py {

namespace py = pybind11;

// The tank's samples `bits` wide: int8 for an 8-bit tank (two's complement, as the chip keeps
// them), int16 otherwise.
py::dtype tank_sample_type(unsigned int bits);

// The samples as zelp7x.Audio at the chip's rate.
py::object audio_of(py::array samples);

// zelp7x.write_wav(path, audio): one channel of int16 or int8 samples at `audio.rate` (the chip's
// rate for an array without one).
void write_wav(const py::object &path, const py::array &audio);

} // namespace zelp7x_py
