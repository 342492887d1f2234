// How reading an input file ended, as a host sees it.
#pragma once

#include "input_file.h"
#include "morvel_host/morvel_zelp7x_host.h"

namespace zhost {

// `r` in the public record's terms, into `out` (which may be null).
void report_input(const mvpkg::input_read &r, morvel_zelp7x_host_input_s *out);

} // namespace zhost
