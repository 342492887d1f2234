// What shapes one simulated board: the chip's device type, boot and faults, and the flash, given as
// name=value options on the simulator's command line or in a "sim:" port name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "chip/chip_options.h"
#include "devices/spi_flash.h"
#include "link/link_options.h"

namespace zsim {

struct BoardOptions {
    uint8_t device_type = 0x20;
    FlashConfig flash;
    ChipConfig chip;
    LinkOptions link;
    // The board's time runs with the monotonic clock (the daemon, the in-process port) rather
    // than standing still until a test advances it. Whoever makes the board picks the default; the
    // option "clock" overrides it.
    bool real_time = false;
};

// Applies one option: "device-type" (0 to 255, decimal or 0x-hex), "flash-file" (the flash
// option "image" under the name scripts use), "clock" (real, or held: the board's time moves only
// when a test advances it), a chip option, the link options "latency", "rate", "drop-answer" and
// "short-answer"; anything else goes to the flash options. An option given without a value gets
// an empty one. False with the reason in `error` for an option that cannot be used.
bool parse_board_option(std::string_view name, std::string_view value, BoardOptions &options,
                        std::string &error);

// "FILE[,name[=value]...]": the flash file, then options. An empty FILE keeps the flash in memory.
bool parse_board_port_name(std::string_view text, BoardOptions &options, std::string &error);

} // namespace zsim
