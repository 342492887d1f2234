#include "chip/chip_options.h"

#include <array>
#include <charconv>

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

// A day at most keeps the schedule's arithmetic far from any overflow; 0 would never end a
// catch-up.
constexpr uint32_t max_match_every_ms = 86400000;

bool parse_match_every(std::string_view value, ChipConfig &config, std::string &error) {
    uint32_t ms = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), ms);
    if (ec != std::errc() || end != value.data() + value.size() || value.empty() || ms == 0 ||
        ms > max_match_every_ms) {
        error =
            "match-every needs a number of milliseconds from 1 to 86400000: " + std::string(value);
        return false;
    }
    config.match_every_ms = ms;
    return true;
}

} // namespace

std::optional<bool> parse_chip_option(std::string_view name, std::string_view value,
                                      ChipConfig &config, std::string &error) {
    if (name == "match-every") return parse_match_every(value, config, error);
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
