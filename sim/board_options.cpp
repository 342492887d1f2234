#include "board_options.h"

#include <charconv>

#include "devices/flash_options.h"

namespace zsim {

namespace {

bool parse_byte(std::string_view text, uint8_t &out) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty() || value > 0xFF)
        return false;
    out = static_cast<uint8_t>(value);
    return true;
}

} // namespace

bool parse_board_option(std::string_view name, std::string_view value, BoardOptions &options,
                        std::string &error) {
    if (name == "device-type") {
        if (parse_byte(value, options.device_type)) return true;
        error = "device-type needs a value from 0 to 255: " + std::string(value);
        return false;
    }
    if (name == "clock") {
        options.real_time = value == "real";
        if (value == "real" || value == "held") return true;
        error = "clock needs real or held: " + std::string(value);
        return false;
    }
    if (name == "flash-file") return parse_flash_option("image", value, options.flash, error);
    if (const auto chip = parse_chip_option(name, value, options.chip, error)) return *chip;
    if (is_link_option(name)) return parse_link_option(name, value, options.link, error);
    return parse_flash_option(name, value, options.flash, error);
}

bool parse_board_port_name(std::string_view text, BoardOptions &options, std::string &error) {
    const size_t comma = text.find(',');
    options.flash.image_path = std::string(text.substr(0, comma));
    if (comma == std::string_view::npos) return true;
    std::string_view rest = text.substr(comma + 1);
    while (true) {
        const size_t next = rest.find(',');
        const std::string_view option = rest.substr(0, next);
        const size_t eq = option.find('=');
        if (eq == 0 || option.empty()) {
            error = "board option needs a name: " + std::string(option);
            return false;
        }
        const std::string_view value =
            eq == std::string_view::npos ? std::string_view() : option.substr(eq + 1);
        if (!parse_board_option(option.substr(0, eq), value, options, error)) return false;
        if (next == std::string_view::npos) return true;
        rest = rest.substr(next + 1);
    }
}

} // namespace zsim
