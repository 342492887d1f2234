// A small but whole package for trying a load without a vendor's package: a firmware image with
// its version, the network's version, labels, configuration and parameters, posterior tables and
// the package's own version. Every value is a multiple of 4 bytes long, so the package also
// streams through a secured chip's boot loader.
#pragma once

#include <optional>
#include <string_view>

#include "package_writer.h"

namespace mvpkg {

// all: everything in one package; firmware: the firmware and its version alone (what a secured
// chip's boot loader takes); model: everything else, for a chip whose firmware runs.
enum class SamplePart { all, firmware, model };

std::optional<SamplePart> sample_part_named(std::string_view name);
Bytes sample_package(SamplePart part);

} // namespace mvpkg
