#include "board_ports.h"

#include <cstring>
#include <vector>

#include "failure.h"
#include "morvel_board/morvel_zelp7x_board.h"

namespace py = pybind11;

namespace zelp7x_py {

namespace {

// The record's texts come from the system (a USB serial number is whatever the device says):
// bounded by their fields, and bytes that are no UTF-8 shown as replacement characters.
template <size_t N>
py::str text_of(const char (&field)[N]) {
    return system_text({field, strnlen(field, N)});
}

template <size_t N>
py::object text_or_none(const char (&field)[N]) {
    return field[0] != '\0' ? py::object(text_of(field)) : py::object(py::none());
}

} // namespace

py::list board_ports() {
    std::vector<zelp_io_bridge_s> bridges;
    int status = 0;
    {
        // The search reads the system's device lists only; no board is touched.
        py::gil_scoped_release unlocked;
        status = morvel_zelp7x_board_bridges(
            [](const zelp_io_bridge_s *b, void *user) {
                static_cast<std::vector<zelp_io_bridge_s> *>(user)->push_back(*b);
            },
            &bridges);
    }
    check("list", status);
    py::list out;
    for (const zelp_io_bridge_s &b : bridges) {
        py::dict d;
        d["port"] = text_of(b.port);
        d["vid"] = b.vid;
        d["pid"] = b.pid;
        d["kind"] = b.kind != nullptr ? py::str(b.kind) : py::str("");
        d["serial"] = text_or_none(b.serial);
        d["hid"] = text_or_none(b.hid);
        out.append(d);
    }
    return out;
}

} // namespace zelp7x_py
