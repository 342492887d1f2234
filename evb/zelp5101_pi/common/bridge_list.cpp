#include <cstdio>

#include "bridges.h"
#include "morvel_board/morvel_zelp7x_board.h"
#include "morvel_devlib/morvel_zelp_error.h"

namespace {

void collect(const zelp_io_bridge_s *bridge, void *user) {
    static_cast<std::vector<zelp_io_bridge_s> *>(user)->push_back(*bridge);
}

void note_line(const char *line, void *user) {
    *static_cast<std::string *>(user) = line;
}

} // namespace

int attached_bridges(std::vector<zelp_io_bridge_s> &out) {
    out.clear();
    return morvel_zelp7x_board_bridges(collect, &out);
}

bridge_choice choose_bridge(std::optional<std::string> &port_name) {
    // A serial number's bridge has a port of its own size, and the board parameters follow it.
    std::string chosen((port_name ? port_name->size() : 0) + ZELP_IO_BRIDGE_PORT_SIZE, '\0');
    bridge_choice choice;
    choice.status =
        morvel_zelp7x_board_choose_port(port_name ? port_name->c_str() : nullptr, chosen.data(),
                                        chosen.size(), note_line, &choice.note, nullptr);
    if (choice.status == 0 && port_name) port_name = chosen.c_str();
    return choice;
}

std::string bridge_line(const zelp_io_bridge_s &bridge) {
    char ids[16];
    std::snprintf(ids, sizeof ids, " %04x:%04x ", bridge.vid, bridge.pid);
    std::string line = bridge.port + std::string(ids) + bridge.kind;
    if (bridge.serial[0] != '\0') line.append(" serial=").append(bridge.serial);
    if (bridge.hid[0] != '\0') line.append(" hid=").append(bridge.hid);
    return line;
}

int list_bridges() {
    std::vector<zelp_io_bridge_s> bridges;
    if (const int s = attached_bridges(bridges); s != 0) {
        std::fprintf(stderr, "cannot list the supported bridges: %s\n", morvel_zelp_error_name(s));
        return 1;
    }
    if (bridges.empty()) {
        std::fprintf(stderr, "no supported bridge found\n");
        return 1;
    }
    for (const zelp_io_bridge_s &bridge : bridges) std::puts(bridge_line(bridge).c_str());
    return 0;
}
