// A HID gadget's device node (/dev/hidgN, the gadget side of a USB HID function made through
// configfs) as the sink of the bridge's interrupt reports. Reports are written without waiting:
// one the host has not polled for yet stays queued in the gadget and later ones are lost, as on
// a bridge whose interrupt endpoint nobody reads.
#pragma once

#include <memory>
#include <string>

#include "link/interrupt_reports.h"

namespace zsim {

// Null with the reason in `error` when `path` cannot be opened for writing. A node that goes away
// later (the gadget unbound) is opened again for the next report.
std::unique_ptr<ReportSink> open_hid_gadget(const std::string &path, std::string &error);

} // namespace zsim
