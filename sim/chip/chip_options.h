// Options that shape the simulated chip's boot and firmware behaviour, as given on a simulator
// command line or in a "sim:" port name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zsim {

struct ChipConfig {
    bool secured = false;        // boots in secured mode: boot ROM word 0 reads 0
    bool mbout_stuck = false;    // the firmware never clears mbout
    bool boot_silent = false;    // the boot loader announces itself but never answers
    bool boot_refuses = false;   // the boot loader refuses a correct package
    uint32_t match_every_ms = 0; // a match every this many ms of board time; 0: none
};

// Applies one option: "secured", or a fault "mbout-stuck", "boot-silent", "boot-refuses" named
// alone, with the value 1, or as the value of "fault"; or "match-every" with a number of
// milliseconds from 1 to 86400000 (a day). Empty when the name is not a chip option
// (so it may be one of the flash's); otherwise whether it could be used, with the reason in error.
std::optional<bool> parse_chip_option(std::string_view name, std::string_view value,
                                      ChipConfig &config, std::string &error);

} // namespace zsim
