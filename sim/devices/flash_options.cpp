// name=value options for the simulated flash:
//   size=BYTES        power of two from 64K to 16M (suffix K or M, or 0x... hex); the ID's
//                     capacity byte follows it unless an id is given
//   id=VVTTCC         JEDEC vendor, type and capacity bytes in hex, e.g. id=c22016
//   image=PATH        keep the cells in PATH across runs (created erased when missing)
//   timing=polls|real busy time counted in status reads, or typical datasheet times
//   fault=absent|all-ones|stuck-busy|flip-bit=ADDR, or the fault name alone as an option
#include "devices/flash_options.h"

#include <array>
#include <bit>
#include <charconv>

namespace zsim {

namespace {

constexpr size_t min_size = 64u << 10;
constexpr size_t max_size = 16u << 20; // all that 3-byte addresses reach

bool parse_number(std::string_view text, unsigned long &value) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

bool parse_size(std::string_view text, FlashConfig &cfg, std::string &error) {
    unsigned long shift = 0;
    if (!text.empty() && (text.back() == 'K' || text.back() == 'k')) shift = 10;
    if (!text.empty() && (text.back() == 'M' || text.back() == 'm')) shift = 20;
    if (shift != 0) text.remove_suffix(1);
    unsigned long n = 0;
    if (!parse_number(text, n) || n > (max_size >> shift)) {
        error = "flash size must be a power of two from 64K to 16M";
        return false;
    }
    n <<= shift;
    if (n < min_size || (n & (n - 1)) != 0) {
        error = "flash size must be a power of two from 64K to 16M";
        return false;
    }
    cfg.size = n;
    // A real part reports its size in the ID's capacity byte, 2^code bytes.
    if (!cfg.id_given) cfg.jedec_id[2] = static_cast<uint8_t>(std::countr_zero(n));
    return true;
}

bool parse_id(std::string_view text, FlashConfig &cfg, std::string &error) {
    if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
    unsigned long id = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), id, 16);
    if (text.size() != 6 || ec != std::errc() || end != text.data() + text.size()) {
        error = "flash id must be six hex digits (vendor, type, capacity)";
        return false;
    }
    cfg.jedec_id = {static_cast<uint8_t>(id >> 16), static_cast<uint8_t>(id >> 8),
                    static_cast<uint8_t>(id)};
    cfg.id_given = true;
    return true;
}

bool parse_timing(std::string_view text, FlashConfig &cfg, std::string &error) {
    if (text != "polls" && text != "real") {
        error = "flash timing must be polls or real";
        return false;
    }
    cfg.real_time = text == "real";
    return true;
}

bool parse_image(std::string_view text, FlashConfig &cfg, std::string &error) {
    if (text.empty()) {
        error = "flash image needs a file name";
        return false;
    }
    cfg.image_path = std::string(text);
    return true;
}

bool parse_flip_bit(std::string_view text, FlashConfig &cfg, std::string &error) {
    unsigned long a = 0;
    if (!parse_number(text, a) || a >= max_size) {
        error = "flip-bit needs a flash byte address below 16M";
        return false;
    }
    cfg.flip_bit_at = static_cast<long>(a);
    return true;
}

// A fault named on its own takes no value; "1" is accepted for scripts that always give one.
bool set_flag(std::string_view text, bool &flag, const char *name, std::string &error) {
    if (!text.empty() && text != "1") {
        error = std::string(name) + " takes no value";
        return false;
    }
    flag = true;
    return true;
}

bool parse_fault(std::string_view text, FlashConfig &cfg, std::string &error) {
    if (text == "absent") return set_flag({}, cfg.absent, "absent", error);
    if (text == "all-ones") return set_flag({}, cfg.all_ones, "all-ones", error);
    if (text == "stuck-busy") return set_flag({}, cfg.stuck_busy, "stuck-busy", error);
    if (text.starts_with("flip-bit=")) return parse_flip_bit(text.substr(9), cfg, error);
    error = "unknown flash fault: " + std::string(text) +
            " (absent, all-ones, stuck-busy, flip-bit=ADDR)";
    return false;
}

using Parser = bool (*)(std::string_view, FlashConfig &, std::string &);

struct Option {
    std::string_view name;
    Parser parse;
};

constexpr std::array<Option, 9> options = {{
    {"size", parse_size},
    {"id", parse_id},
    {"image", parse_image},
    {"timing", parse_timing},
    {"fault", parse_fault},
    {"absent", [](std::string_view v, FlashConfig &c,
                  std::string &e) { return set_flag(v, c.absent, "absent", e); }},
    {"all-ones", [](std::string_view v, FlashConfig &c,
                    std::string &e) { return set_flag(v, c.all_ones, "all-ones", e); }},
    {"stuck-busy", [](std::string_view v, FlashConfig &c,
                      std::string &e) { return set_flag(v, c.stuck_busy, "stuck-busy", e); }},
    {"flip-bit", parse_flip_bit},
}};

} // namespace

bool parse_flash_option(std::string_view name, std::string_view value, FlashConfig &cfg,
                        std::string &error) {
    for (const Option &o : options)
        if (o.name == name) return o.parse(value, cfg, error);
    error = "unknown flash option: " + std::string(name);
    return false;
}

} // namespace zsim
