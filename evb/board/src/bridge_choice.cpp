// Which bridge a board open takes: the one a "serial=S" name names, or the one the board I/O
// layer's search takes, which is worth a word when it had a choice. Any other port name is the
// board I/O layer's to read.
#include <algorithm>
#include <cctype>
#include <string_view>
#include <vector>

#include "board_record.h"
#include "morvel_devlib/morvel_zelp_error.h"

namespace {

constexpr std::string_view serial_prefix = "serial=";
// Enough for any desk; more are taken on a second call.
constexpr int first_capacity = 16;

// The attached bridges in search order, into `out`; a library error code.
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

bool same_serial(std::string_view a, std::string_view b) {
    return std::ranges::equal(
        a, b, [](unsigned char x, unsigned char y) { return std::toupper(x) == std::toupper(y); });
}

std::string first_of_many(const std::vector<zelp_io_bridge_s> &bridges) {
    return std::string("using ") + bridges.front().port + ", the first of " +
           std::to_string(bridges.size()) + " supported bridges (--list shows them)";
}

zboard::port_choice by_serial(std::string_view name, const std::vector<zelp_io_bridge_s> &bridges) {
    // Board parameters may follow the serial number as they follow a port: serial=S,pipeline=N.
    const std::string_view rest = name.substr(serial_prefix.size());
    const size_t comma = rest.find(',');
    const std::string serial(rest.substr(0, comma));
    const std::string params(comma == std::string_view::npos ? "" : rest.substr(comma));
    std::vector<const zelp_io_bridge_s *> matches;
    for (const zelp_io_bridge_s &b : bridges)
        if (b.serial[0] != '\0' && same_serial(b.serial, serial)) matches.push_back(&b);
    if (matches.empty())
        return {MORVEL_ZELP_ERROR_ARG, std::nullopt,
                "no supported bridge has serial number " + serial + " (--list shows them)"};
    // Boards that share a serial number cannot be told apart by it; taking one of them could
    // flash the wrong board.
    if (matches.size() > 1)
        return {MORVEL_ZELP_ERROR_ARG, std::nullopt,
                std::to_string(matches.size()) + " supported bridges have serial number " + serial +
                    "; name the port with -s"};
    return {0, matches.front()->port + params, ""};
}

} // namespace

namespace zboard {

port_choice choose_port(const char *port) {
    const bool by_serial_number =
        port != nullptr && std::string_view(port).starts_with(serial_prefix);
    if (port != nullptr && !by_serial_number) return {0, std::string(port), ""};
    std::vector<zelp_io_bridge_s> bridges;
    const int s = attached_bridges(bridges);
    if (by_serial_number) {
        if (s != 0) return {s, std::nullopt, "cannot list the supported bridges"};
        return by_serial(port, bridges);
    }
    // The search decides either way; the listing only tells whether it had a choice.
    if (s == 0 && bridges.size() > 1) return {0, std::nullopt, first_of_many(bridges)};
    return {};
}

} // namespace zboard

extern "C" {

int morvel_zelp7x_board_bridges(morvel_zelp7x_board_bridge_f each, void *user) {
    if (each == nullptr) return MORVEL_ZELP_ERROR_ARG;
    std::vector<zelp_io_bridge_s> bridges;
    if (const int s = attached_bridges(bridges); s != 0) return s;
    for (const zelp_io_bridge_s &b : bridges) each(&b, user);
    return MORVEL_ZELP_ERROR_NONE;
}

int morvel_zelp7x_board_choose_port(const char *port, char *chosen, size_t chosen_size,
                                    morvel_zelp7x_board_message_f message, void *message_user,
                                    morvel_zelp7x_board_failure_s *failure) {
    zboard::fill_failure(failure, nullptr, 0, "");
    if (chosen == nullptr || chosen_size == 0) {
        zboard::fill_failure(failure, "io_init", MORVEL_ZELP_ERROR_ARG, "");
        return MORVEL_ZELP_ERROR_ARG;
    }
    chosen[0] = '\0';
    const zboard::port_choice c = zboard::choose_port(port);
    if (!c.note.empty() && message != nullptr) message(c.note.c_str(), message_user);
    if (c.status != 0) {
        zboard::fill_failure(failure, "io_init", c.status, c.note);
        return c.status;
    }
    const std::string name = c.port.value_or("");
    if (name.size() >= chosen_size) {
        zboard::fill_failure(failure, "io_init", MORVEL_ZELP_ERROR_ARG, "");
        return MORVEL_ZELP_ERROR_ARG;
    }
    name.copy(chosen, name.size());
    chosen[name.size()] = '\0';
    return MORVEL_ZELP_ERROR_NONE;
}

} // extern "C"
