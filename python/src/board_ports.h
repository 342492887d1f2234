// The boards a host could open, by port name.
#pragma once

#include <string>
#include <vector>

namespace zelp7x_py {

std::vector<std::string> board_ports();

} // namespace zelp7x_py
