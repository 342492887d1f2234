// The locks of the I/O state record, from the operating system: an unnamed mutex for the packet
// exchanges and a critical section for the interrupt waits. Declared without <windows.h>, which
// would otherwise reach every file that sees the state record.
#pragma once

#include <memory>

struct _RTL_CRITICAL_SECTION;

namespace zio {

// An unnamed mutex, not owned at first. Its owner may take it again without blocking itself.
class SerialLock {
  public:
    // Throws std::system_error with the system's code when the mutex cannot be made.
    SerialLock();
    ~SerialLock();
    SerialLock(const SerialLock &) = delete;
    SerialLock &operator=(const SerialLock &) = delete;

    void lock();
    bool try_lock();
    void unlock();

  private:
    void *handle_;
};

class WaitLock {
  public:
    WaitLock();
    ~WaitLock();
    WaitLock(const WaitLock &) = delete;
    WaitLock &operator=(const WaitLock &) = delete;

    void lock();
    bool try_lock();
    void unlock();

  private:
    std::unique_ptr<_RTL_CRITICAL_SECTION> section_;
};

} // namespace zio
