#include "win32/os_locks.h"

#include <windows.h>

#include <system_error>

namespace zio {

SerialLock::SerialLock() : handle_(CreateMutexA(nullptr, FALSE, nullptr)) {
    if (!handle_) throw std::system_error(static_cast<int>(GetLastError()), std::system_category());
}

SerialLock::~SerialLock() {
    CloseHandle(handle_);
}

void SerialLock::lock() {
    WaitForSingleObject(handle_, INFINITE);
}

// A mutex whose owner ended without releasing it is handed over abandoned, but handed over.
bool SerialLock::try_lock() {
    const DWORD r = WaitForSingleObject(handle_, 0);
    return r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
}

void SerialLock::unlock() {
    ReleaseMutex(handle_);
}

WaitLock::WaitLock() : section_(std::make_unique<CRITICAL_SECTION>()) {
    InitializeCriticalSection(section_.get());
}

WaitLock::~WaitLock() {
    DeleteCriticalSection(section_.get());
}

void WaitLock::lock() {
    EnterCriticalSection(section_.get());
}

bool WaitLock::try_lock() {
    return TryEnterCriticalSection(section_.get()) != 0;
}

void WaitLock::unlock() {
    LeaveCriticalSection(section_.get());
}

} // namespace zio
