// The system's text for an error code, as one line.
#pragma once

#include <string>

namespace zio {

// FormatMessage's text for `code` without its line break and final full stop.
std::string system_text(unsigned long code);

} // namespace zio
