// Options that shape the simulated flash, as given on a simulator command line or port name.
#pragma once

#include <string>
#include <string_view>

#include "devices/spi_flash.h"

namespace zsim {

// Applies one name=value option to cfg. Returns false for a name it does not know or a value it
// cannot use, with the reason in error.
bool parse_flash_option(std::string_view name, std::string_view value, FlashConfig &cfg,
                        std::string &error);

} // namespace zsim
