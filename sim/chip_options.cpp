#include "sim/chip_options.h"

#include <array>

namespace zsim {

namespace {

struct Flag {
    std::string_view name;
    bool ChipConfig::*field;
    bool fault; // may also be given as fault=NAME
};

constexpr std::array<Flag, 4> flags = {{
    {"secured", &ChipConfig::secured, false},
    {"mbout-stuck", &ChipConfig::mbout_stuck, true},
    {"boot-silent", &ChipConfig::boot_silent, true},
    {"boot-refuses", &ChipConfig::boot_refuses, true},
}};

const Flag *find(std::string_view name, bool as_fault) {
    for (const Flag &f : flags)
        if (f.name == name && (f.fault || !as_fault)) return &f;
    return nullptr;
}

} // namespace

std::optional<bool> parse_chip_option(std::string_view name, std::string_view value,
                                      ChipConfig &config, std::string &error) {
    const bool as_fault = name == "fault";
    const Flag *flag = find(as_fault ? value : name, as_fault);
    if (!flag) return std::nullopt;
    if (!as_fault && !value.empty() && value != "1") {
        error = std::string(flag->name) + " takes no value";
        return false;
    }
    config.*(flag->field) = true;
    return true;
}

} // namespace zsim
