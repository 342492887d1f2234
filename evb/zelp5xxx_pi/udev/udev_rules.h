// The udev rules that let a desk user reach the supported bridges and keep ModemManager off them.
#pragma once

#include <string>

// The text of 60-zelp7x.rules, one block per vendor and product ID of the supported-bridge
// table, in the table's order.
std::string zelp_udev_rules();
