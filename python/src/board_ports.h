// The boards a host could open: the attached supported USB bridges, as the tools' --list shows
// them.
#pragma once

#include <pybind11/pybind11.h>

namespace zelp7x_py {

// One dict a bridge, in the order a board opened without a port takes them: port, vid, pid, kind,
// serial and hid (None when the bridge has none). Raises zelp7x.Error (step 'list').
pybind11::list board_ports();

} // namespace zelp7x_py
