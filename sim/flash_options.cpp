#include "sim/flash_options.h"

namespace zsim {

bool parse_flash_option(std::string_view name, std::string_view, FlashConfig &,
                        std::string &error) {
    error = "unknown flash option: " + std::string(name);
    return false;
}

} // namespace zsim
