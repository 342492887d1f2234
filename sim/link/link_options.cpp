#include "link/link_options.h"

#include <array>
#include <charconv>
#include <cstdint>

namespace zsim {

namespace {

struct Option {
    std::string_view name;
    uint32_t LinkOptions::*field;
    uint32_t max;
    const char *meaning;
};

// A second of latency, or a gigabyte a second, is already far past any USB bridge.
constexpr std::array<Option, 4> options = {{
    {"latency", &LinkOptions::latency_us, 1000000, "microseconds from 0 to 1000000"},
    {"rate", &LinkOptions::rate, 1000000000, "bytes per second from 0 to 1000000000"},
    {"drop-answer", &LinkOptions::drop_answer, UINT32_MAX, "an answer's number from 1, or 0"},
    {"short-answer", &LinkOptions::short_answer, UINT32_MAX, "an answer's number from 1, or 0"},
}};

const Option *find_option(std::string_view name) {
    for (const Option &o : options)
        if (o.name == name) return &o;
    return nullptr;
}

} // namespace

bool is_link_option(std::string_view name) {
    return find_option(name) != nullptr;
}

bool parse_link_option(std::string_view name, std::string_view value, LinkOptions &link,
                       std::string &error) {
    const Option *o = find_option(name);
    if (o == nullptr) {
        error = "unknown link option: " + std::string(name);
        return false;
    }
    uint32_t n = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (value.empty() || ec != std::errc() || end != value.data() + value.size() || n > o->max) {
        error = std::string(o->name) + " needs " + o->meaning + ": " + std::string(value);
        return false;
    }
    link.*o->field = n;
    return true;
}

} // namespace zsim
