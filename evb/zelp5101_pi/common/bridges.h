// The attached supported bridges as the board tools show them (--list) and choose among them
// (-s serial=S, or the first one the search takes), over the board library.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "zelp_usb_bridges.h"

// The attached bridges in search order, into `out`; a library error code.
int attached_bridges(std::vector<zelp_io_bridge_s> &out);

// One line of --list: "PORT vvvv:pppp KIND[ serial=S][ hid=PATH]".
std::string bridge_line(const zelp_io_bridge_s &bridge);

// --list: one line per bridge on standard output and exit status 0; none: "no supported bridge
// found" on standard error and status 1.
int list_bridges();

// Which port a board tool opens. `note` is for standard error, whatever the status.
struct bridge_choice {
    int status = 0; // a library error code
    std::string note;
};

// A port name "serial=S" becomes the port of the one bridge with USB serial number S; without a
// port name the search still decides, and the note names its choice when there are several
// bridges to take. Any other port name is left alone.
bridge_choice choose_bridge(std::optional<std::string> &port_name);
