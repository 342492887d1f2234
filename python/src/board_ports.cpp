#include "board_ports.h"

namespace zelp7x_py {

// The board I/O library has no listing call yet: until it has, no board is listed, and a board
// is opened by its port name. The listing goes here, and Board.list() needs nothing else.
std::vector<std::string> board_ports() {
    return {};
}

} // namespace zelp7x_py
