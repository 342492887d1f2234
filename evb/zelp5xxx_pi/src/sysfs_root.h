// Where device discovery looks: the sysfs tree and the device directory. Tests point both at a
// fake tree.
#pragma once

#include <string>

namespace zio {

struct SysfsRoot {
    std::string sys = "/sys";
    std::string dev = "/dev";
};

const SysfsRoot &sysfs_root();
void set_sysfs_root(SysfsRoot root);

} // namespace zio
