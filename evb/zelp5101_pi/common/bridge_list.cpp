#include <cstdio>

#include "bridges.h"
#include "morvel_devlib/morvel_zelp_error.h"

namespace {

// Enough for any desk; more are taken on a second call.
constexpr int first_capacity = 16;

} // namespace

int attached_bridges(std::vector<zelp_io_bridge_s> &out) {
    out.resize(first_capacity);
    int count = 0;
    int s = zelp_linux_io_list_bridges(out.data(), first_capacity, &count);
    if (s == 0 && count > first_capacity) {
        out.resize(static_cast<size_t>(count));
        const int capacity = count;
        s = zelp_linux_io_list_bridges(out.data(), capacity, &count);
        // One plugged in between the calls is left for the next run.
        if (count > capacity) count = capacity;
    }
    out.resize(s == 0 ? static_cast<size_t>(count) : 0);
    return s;
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
