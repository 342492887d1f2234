#include <algorithm>
#include <cctype>
#include <string_view>

#include "bridges.h"
#include "morvel_devlib/morvel_zelp_error.h"

namespace {

constexpr std::string_view serial_prefix = "serial=";

bool same_serial(std::string_view a, std::string_view b) {
    return std::ranges::equal(
        a, b, [](unsigned char x, unsigned char y) { return std::toupper(x) == std::toupper(y); });
}

std::string first_of_many(const std::vector<zelp_io_bridge_s> &bridges) {
    return std::string("using ") + bridges.front().port + ", the first of " +
           std::to_string(bridges.size()) + " supported bridges (--list shows them)";
}

bridge_choice by_serial(std::optional<std::string> &port_name,
                        const std::vector<zelp_io_bridge_s> &bridges) {
    // Board parameters may follow the serial number as they follow a port: serial=S,pipeline=N.
    const std::string rest = port_name->substr(serial_prefix.size());
    const size_t comma = rest.find(',');
    const std::string serial = rest.substr(0, comma);
    const std::string params = comma == std::string::npos ? "" : rest.substr(comma);
    std::vector<const zelp_io_bridge_s *> matches;
    for (const zelp_io_bridge_s &b : bridges)
        if (b.serial[0] != '\0' && same_serial(b.serial, serial)) matches.push_back(&b);
    if (matches.empty())
        return {MORVEL_ZELP_ERROR_ARG,
                "no supported bridge has serial number " + serial + " (--list shows them)"};
    // Boards that share a serial number cannot be told apart by it; taking one of them could
    // flash the wrong board.
    if (matches.size() > 1)
        return {MORVEL_ZELP_ERROR_ARG, std::to_string(matches.size()) +
                                           " supported bridges have serial number " + serial +
                                           "; name the port with -s"};
    port_name = matches.front()->port + params;
    return {};
}

} // namespace

bridge_choice choose_bridge(std::optional<std::string> &port_name) {
    const bool by_serial_number = port_name && port_name->starts_with(serial_prefix);
    if (port_name && !by_serial_number) return {};
    std::vector<zelp_io_bridge_s> bridges;
    const int s = attached_bridges(bridges);
    if (by_serial_number) {
        if (s != 0) return {s, "cannot list the supported bridges"};
        return by_serial(port_name, bridges);
    }
    // The search decides either way; the listing only tells whether it had a choice.
    if (s == 0 && bridges.size() > 1) return {MORVEL_ZELP_ERROR_NONE, first_of_many(bridges)};
    return {};
}
