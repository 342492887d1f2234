// The locks of the I/O state record, from the C++ library on this system.
#pragma once

#include <mutex>

namespace zio {

// Serialises whole packet exchanges; the thread holding it may take it again.
using SerialLock = std::recursive_mutex;
// Serialises interrupt waits.
using WaitLock = std::mutex;

} // namespace zio
