// The "sim" port in a build without the simulated board (ZELP_WITH_SIM off): the name is still
// recognised, so it is not taken for a device under /dev, and refused with the reason.
#include "byte_port.h"
#include "io_state.h"

namespace zio {

std::unique_ptr<BytePort> open_sim_port(const std::string &, std::string &error) {
    error = "sim: this build has no simulated board (built with ZELP_WITH_SIM=OFF)";
    return nullptr;
}

zsim::Board *sim_board(morvel_evb_io_handle_t) {
    return nullptr;
}

} // namespace zio
