// The Windows HID records and calls. The HID headers declare C functions without saying so.
#pragma once

#include <windows.h>

extern "C" {
#include <hidsdi.h>
}
